#pragma once
// The sales journal: every order the main window held between two
// "一键归零", kept in a small database in the user's data folder, one
// transaction per order. It is a record, never a model: no window reads its
// captions back from it. Readers get whole orders, a day's summary (as data
// and as plain text) and a CSV export of a range of days.
//
// No widgets here: messages for the owner are returned as Chinese text and
// shown by the caller.

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class QIODevice;

namespace journal {

inline constexpr int categoryCount = 6;

// One dish of one category as the sheet's "关闭" handed it to the main window.
struct OrderLine {
    int category = 0;       // 1 to 6
    QString categoryName;   // the category button's caption at the time
    QString dish;
    double smallQuantity = 0;
    QString smallHeading;   // the sheet's heading over the small quantities
    double largeQuantity = 0;
    QString largeHeading;
    double lineTotal = 0;
};

// What the main window held when "一键归零" cleared it (or the program ended).
struct Order {
    qint64 id = 0;                  // set once recorded; 0 before
    QDateTime endedAt;              // local date and time the order ended
    std::optional<int> billNumber;  // the last "清单" built for it, if any
    bool printed = false;           // "打印" pressed for its bill
    bool copied = false;            // "复制" pressed for its bill
    std::array<QString, categoryCount> categoryNames;
    std::array<double, categoryCount> categoryTotals{};
    double grandTotal = 0;
    QList<OrderLine> lines;
    QString billText;               // the bill as last built, empty if none

    // Nothing to keep: no line and a grand total of 0.
    bool isEmpty() const { return lines.isEmpty() && grandTotal == 0; }
};

struct CategorySummary {
    int category = 0;  // 1 to 6
    QString name;      // the name on the day's latest order
    double total = 0;
};

struct DishSummary {
    int category = 0;
    QString categoryName;
    QString dish;
    double smallQuantity = 0;
    QString smallHeading;
    double largeQuantity = 0;
    QString largeHeading;
    double amount = 0;
};

struct DaySummary {
    QDate day;
    int orderCount = 0;
    double takings = 0;                   // the sum of the orders' grand totals
    QList<CategorySummary> categories;    // always six, in category order
    QList<DishSummary> dishes;            // largest amount first
};

// The summary of the given orders (normally one day's) as data.
DaySummary summarize(const QDate &day, const QList<Order> &orders);

// The summary as plain text, lines short enough for an 80 mm receipt roll.
QString summaryText(const DaySummary &summary);

// The orders as CSV for a spreadsheet: UTF-8 with a byte order mark, RFC 4180
// quoting, CRLF line ends, a heading row, then one row per order line.
// Returns false when the device refused a write.
bool writeCsv(QIODevice &device, const QList<Order> &orders);

// The folder the program keeps its journal in (the user's local data folder).
QString defaultFolder();

// A journal database in `folder`.
class Journal {
public:
    enum class Mode {
        Recording,  // the program: creates the database, checks it, sets a damaged one aside
        Reading,    // the command line: reads only, never creates, moves or repairs anything
    };

    explicit Journal(const QString &folder = defaultFolder(), Mode mode = Mode::Recording);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    QString folder() const;
    QString databasePath() const;

    // Opens the database if it is not open yet. In Recording mode a file
    // that cannot be opened or fails its integrity check is renamed (kept)
    // and a new one started; the returned notice says so, in Chinese. The
    // notice is returned once. Returns false if no database could be opened;
    // error() says why.
    bool open();
    QString takeNotice();

    // Records `order` (empty orders are skipped and count as success), after
    // any orders still pending from earlier failures, each in its own
    // transaction. On failure the order stays pending and error() says why
    // in Chinese; the next record() or flush() writes it. Sets the order's
    // id in the pending copy only; the caller's copy is not changed.
    bool record(const Order &order);
    bool flush();  // writes the pending orders only
    // Records many orders in one transaction, all or none (orders brought in
    // from elsewhere). false: error() says why.
    bool recordAll(const QList<Order> &orders);
    int pendingCount() const;
    QString error() const;

    // The orders that ended on the days `from` to `to` (inclusive), oldest
    // first. nullopt when the database could not be read (error() says why);
    // a database that does not exist yet reads as no orders.
    std::optional<QList<Order>> orders(const QDate &from, const QDate &to);
    std::optional<QList<Order>> ordersOf(const QDate &day) { return orders(day, day); }
    std::optional<DaySummary> summaryOf(const QDate &day);

    // Writes the CSV of the days `from` to `to` to `file`, wholly or not at
    // all (an existing file is kept on failure). false: error() says why.
    bool exportCsv(const QDate &from, const QDate &to, const QString &file);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The program's own journal in defaultFolder(), opened on first use; lives
// until the program ends.
Journal &programJournal();

}  // namespace journal
