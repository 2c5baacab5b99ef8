#pragma once
// Program start and end, and the one instance of every window. Windows reach
// each other through form1(), form2() and orderSheet(); each is created the
// first time it is asked for and lives until the program ends.

#include "shop/uploader.h"

#include <memory>

class Form1;
class QTimer;
class Form2;
class OrderSheet;
namespace till {
class OpenOrders;
}
namespace journal {
struct TillIdentity;
}

class Program {
public:
    Program();
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    static Program &current();

    Form1 &form1();
    Form2 &form2();
    OrderSheet &sheet(int category);  // 1 to 6: Form3 to Form8
    bool sheetExists(int category) const;
    bool form2Exists() const;
    till::OpenOrders &openOrders();  // the orders put aside (挂单)

    // Loads and shows the welcome window.
    void start();
    // Ends the program at once: every window goes, nothing is saved.
    void end();
    bool hasEnded() const { return m_ended; }
    // Records the order still on the main window and ends the journal's
    // thread, waiting a moment for what is still to be written; orders it
    // could not write go to the rescue file, which is told to the owner or,
    // with no window left to show it from, logged.
    void recordOpenOrder(bool tellOwner);

    // The shop's link as last heard (not joined when the till has no shop).
    const shop::LinkState &shopLink() const { return m_link; }

private:
    void startShopLink(const journal::TillIdentity &till);
    void tellLink(const shop::LinkState &state);
    void stopShopLink();
    void watchLinkAway();

    struct Windows;
    std::unique_ptr<Windows> m_windows;
    bool m_ended = false;
    std::unique_ptr<shop::Uploader> m_uploader;
    shop::LinkState m_link;
    QTimer *m_linkWatch = nullptr;  // looks every half minute how long the link has been away
    bool m_toldAway = false;  // the owner was told that the link is away
};

Form1 &form1();
Form2 &form2();
OrderSheet &orderSheet(int category);

// Creates the windows, shows the welcome window and runs until it is closed.
// Needs a QApplication. Returns the exit code.
int startProgram();
