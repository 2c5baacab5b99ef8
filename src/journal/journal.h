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
#include <QMap>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QIODevice;

namespace journal {

struct TillIdentity;

namespace sql {
class Database;
}

inline constexpr int categoryCount = 6;

// Money the cashier takes (payments, change, discounts, 抹零, floats, counts)
// is kept exact, in 分: 1 元 = 100 分. Never a binary fraction.
using Fen = qint64;

// A caption amount (a double, as the windows show it) in 分, rounded half
// away from zero: 40.5 -> 4050, 3.3 -> 330.
Fen toFen(double yuan);

// What became of an order.
enum class OrderStatus {
    Unpaid = 0,  // 未结账: cleared with "一键归零" (or the program ended) without 结账
    Paid = 1,    // 已结账: taken with 结账
    Voided = 2,  // 已作废: voided in 营业记录, with a reason; never deleted
};

// One payment method's share of an order ("现金", "微信", "支付宝", "银行卡" or
// a name the owner added). For cash, `amount` is what stays in the drawer:
// the cash handed over less the change.
struct PaymentPart {
    QString method;
    Fen amount = 0;
};

// How an order was paid with 结账.
struct Payment {
    Fen total = 0;          // 合计: the main window's grand total
    Fen discount = 0;       // 折扣, as an amount
    QString discountLabel;  // how it was given: "9折", "8.8折", "减5元"; empty for none
    Fen rounding = 0;       // 抹零, as an amount
    Fen due = 0;            // 应收 = total - discount - rounding, never below 0
    QList<PaymentPart> parts;  // the methods in the order they were taken; they sum to `due`
    Fen cashGiven = 0;      // 实收现金: what the customer handed over in cash
    Fen change = 0;         // 找零: cashGiven less the cash part
};

// What became of a paid order's receipt (结账单), or of its bill reprinted
// from 营业记录: marks that only ever add up (Order::receipt).
enum ReceiptMark {
    ReceiptSent = 1,        // sent to the printer at 结账
    ReceiptFailed = 2,      // that print failed
    ReceiptReprinted = 4,   // printed again from 营业记录
};

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
    // The order's identity, made when it ends (a UUID): recording the same
    // order twice (a rescue file merged again) keeps one copy.
    QString uid;
    // 单号: "yyyyMMdd-NNNN", the day's running number; unique in the journal
    // and never restarting. Empty on orders recorded by 1.2.0.
    QString receiptNumber;
    OrderStatus status = OrderStatus::Unpaid;
    std::optional<Payment> payment;  // set when status is Paid
    QString voidReason;              // set when status is Voided
    QDateTime voidedAt;
    qint64 cashUpId = 0;             // the 交班 that counted it; 0 while none has
    QDateTime endedAt;              // local date and time the order ended
    std::optional<int> billNumber;  // the last "清单" built for it, if any
    bool printed = false;           // "打印" pressed for its bill
    bool copied = false;            // "复制" pressed for its bill
    int receipt = 0;                // ReceiptMark bits
    std::array<QString, categoryCount> categoryNames;
    std::array<double, categoryCount> categoryTotals{};
    double grandTotal = 0;
    QList<OrderLine> lines;
    QString billText;               // the bill as last built, empty if none
    // The open order it closes: when the order is recorded, the open order
    // with this uid is removed in the same transaction. Empty: none.
    QString closesOpenUid;

    // Nothing to keep: no line and a grand total of 0.
    bool isEmpty() const { return lines.isEmpty() && grandTotal == 0; }
};

// An order put aside (挂单) under a name, waiting to be brought back. The
// journal keeps it whole; its `state` is the till's own description of the
// order (JSON), opaque here.
struct OpenOrder {
    QString uid;        // its identity (a UUID), made when first put aside
    QString name;       // "3号桌", "外卖 王": unique among the open orders
    QDateTime heldAt;   // when it was (last) put aside
    Fen total = 0;      // its grand total then
    int dishCount = 0;  // portions ordered (the sum of its quantities)
    QByteArray state;   // the till's JSON
    // The order on the windows it was put aside from: that order's record
    // (CurrentOrder) goes in the same write. Empty: none. Not kept.
    QString closesCurrent;
    // Kept as it stands while still on the windows (what the kitchen was
    // sent), not put aside: in a shop, this till goes on holding it. Not kept.
    bool onWindows = false;
};

// The order on the windows, kept as it changes (each hand-off, 清单, 下单,
// 结账) so that a crash or a power cut brings it back. It goes in the same
// write as what ends it: the order recorded with its uid, or the open order
// it was put aside as (OpenOrder::closesCurrent).
struct CurrentOrder {
    QString uid;        // the order's identity on the windows, its uid when it ends
    QDateTime savedAt;
    Fen total = 0;      // its grand total
    QByteArray state;   // the till's JSON
};

// One change handed to the journal, kept in the order it was handed: an
// order to record, an open order to keep (put aside or replaced) or to drop,
// or a mark on an order recorded (its receipt printed again, or failed).
// Changes that wait for a write, or for the next start in the rescue file,
// are these.
struct Change {
    // KeepCurrent and DropCurrent keep the order on the windows: never
    // rescued, since that order ends (recorded or put aside) before the
    // program does, and its record goes with it.
    enum class Kind { Record, KeepOpen, DropOpen, KeepCurrent, DropCurrent, Mark };
    Kind kind = Kind::Record;
    // Tells the change apart: the order's uid for Record, else made when the
    // change is handed over. A rescued change is merged once by it.
    QString id;
    Order order;     // Record; for Mark its uid and the marks (receipt) it adds
    OpenOrder open;  // KeepOpen; for DropOpen only its uid
    CurrentOrder current;  // KeepCurrent; for DropCurrent only its uid

    static Change record(const Order &order);
    static Change keepCurrent(const CurrentOrder &current);
    static Change dropCurrent(const QString &uid);
    static Change keep(const OpenOrder &open);
    static Change drop(const QString &uid);
    static Change mark(const QString &orderUid, int receiptMarks);

private:
    // A change of `kind` with an identity of its own, made as it is handed.
    static Change handed(Kind kind);
};

// The name an open order is kept under when `name` is taken by another:
// "3号桌（2）", "3号桌（3）"… the first that `taken` does not refuse.
QString freeOpenName(const QString &name, const std::function<bool(const QString &)> &taken);

// A 交班: everything since the previous one, counted against the drawer.
// Recorded once, numbered and timed, never edited afterwards.
struct CashUp {
    qint64 id = 0;                  // its number, set when recorded
    QDateTime at;                   // when it was recorded
    QDateTime since;                // the previous 交班's time; invalid for the first
    int paidCount = 0;
    int unpaidCount = 0;
    int voidedCount = 0;
    Fen paidTotal = 0;              // the takings: the paid orders' 应收
    Fen unpaidTotal = 0;            // the unpaid orders' grand totals, counted apart
    Fen voidedTotal = 0;            // the voided orders' 合计
    QList<PaymentPart> byMethod;    // the takings by method, in the methods' order
    Fen discounts = 0;
    Fen roundings = 0;
    Fen openingFloat = 0;           // 备用金: left in the drawer at the previous 交班
    Fen cashTaken = 0;              // cash handed over by the customers
    Fen changeGiven = 0;
    Fen expectedCash = 0;           // openingFloat + cashTaken - changeGiven
    Fen countedCash = 0;
    Fen difference = 0;             // countedCash - expectedCash: > 0 长款, < 0 短款
    QList<QPair<Fen, int>> counts;  // notes and coins counted (value in 分, how many); empty: typed as a total
    Fen floatLeft = 0;              // left in the drawer: the next shift's 备用金
};

// The day's figures are exact sums in 分: each caption amount is taken to the
// 分 first (toFen), so 300 orders of 3.3 make 990, not 989.999999999995.
// They reconcile: takings = the sum of byMethod = paidTotal - discounts -
// roundings; the categories sum to paidTotal + unpaidTotal.

struct CategorySummary {
    int category = 0;  // 1 to 6
    QString name;      // the latest name the day's orders used it under
    Fen total = 0;     // what its lines sold, voided orders left out, before 折扣 and 抹零
};

struct DishSummary {
    int category = 0;
    QString categoryName;
    QString dish;
    double smallQuantity = 0;
    QString smallHeading;
    double largeQuantity = 0;
    QString largeHeading;
    Fen amount = 0;
};

// A voided order as the day's summary lists it.
struct VoidSummary {
    QString receiptNumber;          // 单号; empty on orders of 1.2.0
    std::optional<int> billNumber;
    QDateTime endedAt;
    Fen amount = 0;                 // its 合计
    QString reason;
};

struct DaySummary {
    QDate day;
    int orderCount = 0;                // every order of the day: paid, unpaid and voided
    Fen takings = 0;                   // 营业额: the paid orders' 应收
    QList<PaymentPart> byMethod;       // the takings by method: 现金, 微信, 支付宝, 银行卡, then others by name
    int paidCount = 0;
    Fen paidTotal = 0;                 // the paid orders' 合计
    Fen discounts = 0;                 // 折扣 given on them
    Fen roundings = 0;                 // 抹零 given on them
    int unpaidCount = 0;               // 未结账: counted apart, not in the takings
    Fen unpaidTotal = 0;
    int voidedCount = 0;               // 已作废: out of every other figure
    Fen voidedTotal = 0;
    QList<VoidSummary> voids;          // oldest first
    QList<CategorySummary> categories; // always six, in category order
    QList<DishSummary> dishes;         // largest amount first
    // The day's 交班, oldest first: number, time, cash expected, counted and
    // the difference (their other figures left at 0). summarize() leaves it
    // empty; Journal::summaryOf() reads it.
    QList<CashUp> cashUps;
};

// The summary of the given orders (normally one day's) as data.
DaySummary summarize(const QDate &day, const QList<Order> &orders);

// The summary as plain text, lines short enough for an 80 mm receipt roll,
// under `header` (the shop's lines), each 交班 with its difference.
QString summaryText(const DaySummary &summary, const QStringList &header = {});

// The two CSV files for a spreadsheet. Both are UTF-8 with a byte order mark,
// RFC 4180 quoting, CRLF line ends and a heading row; money in 元 with two
// decimals at most, so that every money column sums right; a text cell that
// begins with "=", "+", "-" or "@" gets a leading apostrophe (never read as
// a formula).
enum class CsvKind {
    Orders,  // one row per order: 单号, date, time, 合计, 折扣, 抹零, 应收, one column
             // per method that occurs, 找零, status
    Lines,   // one row per order line, with its order's 单号, date, time and status
};

// `orders` as CSV of `kind`. Returns false when the device refused a write.
bool writeCsv(QIODevice &device, const QList<Order> &orders, CsvKind kind = CsvKind::Orders);

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
    int pendingCount() const;            // changes waiting: orders and open orders alike
    QList<Order> pendingOrders() const;  // as they would be written, identities given
    QList<Change> pendingChanges() const;

    // Puts `open` aside, or replaces the one with its uid, in one transaction.
    // Refused (false, error() says why in Chinese) when another open order has its name.
    // A write that fails keeps it pending like an order (written later, in
    // the order handed, under a name made free if it is taken by then).
    bool keepOpen(const OpenOrder &open);
    // Removes the open order `uid` (brought back and ended elsewhere); no such order is success.
    bool dropOpen(const QString &uid);
    // Every open order, oldest first, as the changes still pending leave
    // them. nullopt: error() says why; no database yet reads as none.
    std::optional<QList<OpenOrder>> openOrders();

    // Hands `change` over and writes it after whatever waits, each in its
    // own transaction; never refused: a name taken is made free. false: it
    // waits, error() says why.
    bool apply(const Change &change);
    // Changes rescued at an earlier end, written in one transaction, each
    // once however often the same rescue is merged. When they cannot be
    // written now they wait before everything else pending and go first.
    // false: error() says why.
    bool mergeRescued(const QList<Change> &changes);
    QString error() const;

    // The orders that were on the windows when the program last stopped
    // without ending them (a crash, a power cut), as the changes still
    // pending leave them: normally none or one. nullopt: error() says why.
    std::optional<QList<CurrentOrder>> currentOrders();

    // The orders that ended on the days `from` to `to` (inclusive), oldest
    // first. nullopt when the database could not be read (error() says why);
    // a database that does not exist yet reads as no orders.
    std::optional<QList<Order>> orders(const QDate &from, const QDate &to);
    std::optional<QList<Order>> ordersOf(const QDate &day) { return orders(day, day); }
    std::optional<DaySummary> summaryOf(const QDate &day);

    // Voids the recorded order `id` with `reason`. Refused (false, error()
    // says why in Chinese) when the order is already counted in a 交班, is
    // already voided or does not exist.
    bool voidOrder(qint64 id, const QString &reason, const QDateTime &at);

    // The orders not yet counted in a 交班 (any day), oldest first.
    std::optional<QList<Order>> ordersSinceLastCashUp();
    // The latest 交班, or an empty optional inside the result when there is none.
    std::optional<std::optional<CashUp>> lastCashUp();
    // The 交班 recorded on `day`, oldest first, as DaySummary::cashUps has them.
    std::optional<QList<CashUp>> cashUpsOf(const QDate &day);
    // Records `cashUp` and marks every order it counts (those of
    // ordersSinceLastCashUp() up to `cashUp.at`) in one transaction; sets
    // cashUp.id. false: error() says why.
    bool recordCashUp(CashUp &cashUp);
    // The highest 单号 recorded for `day`, or empty: the till numbers on from it.
    std::optional<QString> lastReceiptNumber(const QDate &day);

    // This till's identity in a shop; not set when it joined none.
    TillIdentity tillIdentity();
    // Hands the shop an edit of the menu (captions by "window/control"),
    // made on top of the shop's menu version `base` by the user running
    // the program. Nothing without a shop. false: error() says why.
    bool shareMenu(const QMap<QString, QString> &entries, qint64 base);
    // Keeps `till` as this till's identity. On the first join every order
    // and 交班 the journal holds goes into the outbox, in one transaction, so
    // the shop learns this till's past too. false: error() says why.
    bool joinShop(const TillIdentity &till);

    // A consistent copy of the whole journal in `file` (SQLite's online
    // backup), safe while the program records. false: error() says why.
    bool backupTo(const QString &file);
    // How many orders the journal holds (0 when there is none yet).
    int orderCount();

    // Writes the CSV of `kind` of the days `from` to `to` to `file`, wholly or
    // not at all (an existing file is kept on failure). false: error() says why.
    bool exportCsv(const QDate &from, const QDate &to, const QString &file,
                   CsvKind kind = CsvKind::Orders);

private:
    struct Private;
    std::unique_ptr<Private> d;
    // The open database when it has the table of the order on the windows.
    sql::Database *currentTables();
};

// Puts the backup `file` in place of the journal in `folder`: the file is
// checked first (a journal of this program, of a version it knows, intact),
// then the journal and its log files are replaced together; the old ones
// are kept under a dated name. Only while the program does not run.
struct Restored {
    bool ok = false;
    int orders = 0;        // in the journal restored
    QString kept;          // the name the old journal is kept under; empty when there was none
    QString error;         // why not, in Chinese
};
Restored restoreJournal(const QString &folder, const QString &file);

// The program's own journal in defaultFolder(), opened on first use; lives
// until the program ends.
Journal &programJournal();

}  // namespace journal
