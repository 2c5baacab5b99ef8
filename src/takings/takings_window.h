#pragma once
// The takings window "营业记录": one day of the sales journal (today unless
// the owner picks another day). It shows the number of orders and the day's
// takings, how they were paid (by method, less 折扣 and 抹零), the unpaid and
// the voided orders, each category's and each dish's sales, the list of the
// day's orders and the selected one's bill; it prints that bill again,
// prints the day's summary, voids the selected order, exports a range of days
// as CSV and backs the journal up.
//
// Every figure comes from one reading of the journal: the summary is made
// from the very orders the list shows. The orders put aside (挂单) and not
// yet brought back are listed apart, whatever the day: they are in no figure. The journal is read on its own thread
// (JournalService), where the figures and the text of every listed row are
// made too: the window shows "正在读取…" meanwhile and never waits, and
// showing a day of thousands of orders costs it only the rows in view.
// Orders the journal could not write yet are not among them; a notice says
// how many there are. "本机 / 全店" puts the whole shop's day (shop_day_view.h)
// in place of this till's.

#include "journal/journal.h"

#include <QWidget>

class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class QTableWidget;

namespace journal {
class JournalService;
}

namespace takings {

class ShopDayView;
class TextRowsModel;
struct Reading;

// The text "重新打印" prints and the window shows for `order`: its bill,
// headed "已作废" and the reason when the order was voided.
QString reprintText(const journal::Order &order);

class TakingsWindow : public QWidget {
    Q_OBJECT

public:
    explicit TakingsWindow(journal::JournalService &service, QWidget *parent = nullptr);

    // Starts reading `day`; the figures follow when the journal answers
    // (dayShown). A journal that cannot be read leaves no figures and says
    // why in a message box.
    void showDay(const QDate &day);
    QDate day() const;
    bool isReading() const;

    // What the window shows, as last read.
    const journal::DaySummary &summary() const { return m_summary; }
    const QList<journal::Order> &orders() const { return m_orders; }
    const QList<journal::OpenOrder> &openOrders() const { return m_openOrders; }
    int selectedOrder() const;  // index into orders(), -1 for none
    void selectOrder(int index);

    void reprintSelected();  // "重新打印"
    void printDaySummary();  // "打印日结"
    void voidSelected();     // "作废…": asks for the reason, then voids
    void exportOrders();     // "导出…": asks for the days, what to export and the file
    void backUp();           // "备份…": asks for the file

    // The steps after the questions, each through the journal's thread.
    void voidOrder(qint64 id, const QString &reason);
    void exportDays(const QDate &from, const QDate &to, journal::CsvKind kind, const QString &file);
    void backUpTo(const QString &file);

signals:
    void dayShown(bool read);  // after each reading: false when the journal could not be read
    void done(bool ok);        // after a void, an export or a backup

private:
    void buildControls();
    // The rows come made from the journal's thread: the window only hands
    // them to its lists, however long the day. Each gives back the rows it
    // showed before.
    QList<QStringList> showFigures(QList<QStringList> dishRows);
    QList<QStringList> showOrders(QList<QStringList> rows, int select);
    void showOpenOrders(const std::optional<QList<journal::OpenOrder>> &open, const QString &why);
    void showSelectedBill();
    void shown(Reading reading);
    void reportOutcome(bool ok, const QString &why, const QString &success);

    journal::JournalService &m_service;
    journal::DaySummary m_summary;
    QList<journal::Order> m_orders;
    QList<journal::OpenOrder> m_openOrders;
    int m_reading = 0;     // the readings started; an answer to an earlier one is dropped
    int m_answered = 0;
    // An order just voided: "已作废" is said once the day shows it so.
    qint64 m_voidToTell = 0;

    QDateEdit *m_dayPicker = nullptr;
    QLabel *m_readingNotice = nullptr;  // "正在读取…"
    QLabel *m_pendingNotice = nullptr;  // orders not yet written, if any
    QLabel *m_orderCount = nullptr;
    QLabel *m_takings = nullptr;
    QTableWidget *m_paymentTotals = nullptr;
    QTableWidget *m_categoryTotals = nullptr;
    TextRowsModel *m_dishRows = nullptr;
    QTableView *m_dishTotals = nullptr;
    TextRowsModel *m_orderRows = nullptr;
    QTableView *m_orderList = nullptr;
    QLabel *m_openSummary = nullptr;     // 挂单: how many, what sum, apart
    QTableWidget *m_openList = nullptr;
    QPlainTextEdit *m_billText = nullptr;
    QPushButton *m_reprint = nullptr;
    QPushButton *m_void = nullptr;
    QRadioButton *m_ownTill = nullptr;    // "本机": this till's day, as read from its journal
    QRadioButton *m_wholeShop = nullptr;  // "全店": every till's, from the shop's database
    ShopDayView *m_shopDay = nullptr;
};

// The program's takings window over `parent` (the main window), reading the
// program's journal: made on first use, kept until `parent` goes, and showing
// today each time it opens.
TakingsWindow &openTakingsWindow(QWidget *parent);

}  // namespace takings
