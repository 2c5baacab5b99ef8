#pragma once
// "交班…": the figures since the last 交班, the 备用金, the cash counted (as
// a total or note by note) and the difference; "交班并打印" records it in
// the journal, numbered and timed, and prints it on the roll. Orders put
// aside (挂单) are shown apart, counted in nothing; with any, "交班并打印"
// asks first.

#include "journal/journal.h"
#include "payment/shop_settings.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace payment {

class CashUpWindow : public QDialog {
    Q_OBJECT

public:
    // `figures`: as cashUpFigures() made them, timed; `firstCashUp`: no 交班
    // before, so the 备用金 is typed here.
    CashUpWindow(const journal::CashUp &figures, bool firstCashUp, const ShopSettings &shop,
                 QWidget *parent = nullptr);

    // The 交班 as the window now stands; false (and `why`) for a field that
    // cannot be read, or a drawer not counted yet.
    bool cashUp(journal::CashUp &out, QString *why) const;
    // The counted cash has been typed, or counted note by note.
    bool counted() const;
    void confirm();  // "交班并打印"

    // The orders put aside now, as the journal lists them.
    void showOpenOrders(const QList<journal::OpenOrder> &open);

private:
    void refresh();
    void countsChanged();
    // Everything but the count, as the fields stand.
    bool figuresNow(journal::CashUp &out, QString *why) const;
    static bool readAmount(QLineEdit *field, const QString &what, journal::Fen &into, QString *why);

    journal::CashUp m_figures;
    ShopSettings m_shop;
    QPlainTextEdit *m_shown = nullptr;
    QLineEdit *m_float = nullptr;
    QLineEdit *m_counted = nullptr;
    QList<QSpinBox *> m_counts;
    QLineEdit *m_floatLeft = nullptr;
    QLabel *m_difference = nullptr;
    QLabel *m_open = nullptr;
    QList<journal::OpenOrder> m_openOrders;
    QPushButton *m_confirm = nullptr;
    bool m_countedByNotes = false;
    bool m_floatLeftTyped = false;
    bool m_recording = false;
};

// Reads what is needed from the journal (off the GUI thread) and opens the
// window over `parent`; a 交班 with nothing since the last one is told.
void openCashUp(QWidget *parent);

}  // namespace payment
