#pragma once
// The takings window "营业记录": one day of the sales journal (today unless
// the owner picks another day). It shows the number of orders, the day's
// takings, each category's total and each dish's quantities and amount
// (largest first), the list of the day's orders and the bill of the one
// selected; it prints that bill again, prints the day's summary, and exports
// a range of days as CSV.
//
// Every figure comes from one reading of the journal: the summary is made
// from the very orders the list shows, so the takings are the sum of the
// listed orders' totals. Orders the journal could not write yet are not
// among them; a notice says how many there are.

#include "journal/journal.h"

#include <QWidget>

class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace takings {

class TakingsWindow : public QWidget {
    Q_OBJECT

public:
    explicit TakingsWindow(journal::Journal &journal, QWidget *parent = nullptr);

    // Reads `day` from the journal and shows it. When the journal cannot be
    // read the window shows no figures, says why in a message box and
    // returns false.
    bool showDay(const QDate &day);
    QDate day() const;

    // What the window shows, as read.
    const journal::DaySummary &summary() const { return m_summary; }
    const QList<journal::Order> &orders() const { return m_orders; }
    int selectedOrder() const;  // index into orders(), -1 for none
    void selectOrder(int index);

    void reprintSelected();  // "重新打印"
    void printDaySummary();  // "打印日结"
    void exportOrders();     // "导出…": asks for the days and the file

private:
    void buildControls();
    void showFigures();
    void showOrders();
    void showSelectedBill();

    journal::Journal &m_journal;
    journal::DaySummary m_summary;
    QList<journal::Order> m_orders;

    QDateEdit *m_dayPicker = nullptr;
    QLabel *m_pendingNotice = nullptr;  // orders not yet written, if any
    QLabel *m_orderCount = nullptr;
    QLabel *m_takings = nullptr;
    QTableWidget *m_categoryTotals = nullptr;
    QTableWidget *m_dishTotals = nullptr;
    QTableWidget *m_orderList = nullptr;
    QPlainTextEdit *m_billText = nullptr;
    QPushButton *m_reprint = nullptr;
};

// The program's takings window over `parent` (the main window), reading the
// program's journal: made on first use, kept until `parent` goes, and showing
// today each time it opens.
TakingsWindow &openTakingsWindow(QWidget *parent);

}  // namespace takings
