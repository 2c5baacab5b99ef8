// Reading the journal: orders by day, the open orders, a day's summary, the
// last 单号, and the CSV export.
#include "journal/journal.h"
#include "journal/journal_private.h"

#include "common/save_file.h"
#include "journal/report.h"
#include "journal/sqlite_db.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace journal {

// An order's end as stored ("yyyy-MM-dd HH:mm:ss.zzz"), read by position:
// QDateTime::fromString takes most of the time of reading a day.
QDateTime endedAtFrom(QStringView text)
{
    auto field = [text](qsizetype at, qsizetype size) { return text.mid(at, size).toInt(); };
    if (text.size() != 23)
        return QDateTime::fromString(text.toString(), timeFormat);
    return QDateTime(QDate(field(0, 4), field(5, 2), field(8, 2)),
                     QTime(field(11, 2), field(14, 2), field(17, 2), field(20, 3)));
}

// ---------------------------------------------------------------- reading

bool Journal::Private::readError()
{
    error = why(QStringLiteral("读取"));
    return false;
}

// Calls `visit` with each order asked for (the days values[0] to values[1],
// or those no 交班 has counted yet), oldest first. The
// orders, their lines and their payments are read side by side in the same
// order, so that no more than one order is held at a time.
bool Journal::Private::forEach(Which which, const QStringList &values, bool forExport,
                               const std::function<bool(Order &, const QString &)> &visit)
{
    // The queries read the same state of the file: an order the program
    // records between them must not come without its lines. The transaction
    // ends after the statements (declared later, finalized first).
    struct ReadTogether {
        sql::Database &db;
        const bool inside = db.inTransaction();  // a writer's: it reads its own state
        const bool begun = inside || db.exec("BEGIN");
        ~ReadTogether()
        {
            if (begun && !inside)
                db.exec("COMMIT");
        }
    } together{db};
    if (!together.begun)
        return readError();
    // Orders of 1.2.0 (no identity) came before payments and cash-ups: no
    // 交班 counts them.
    // A journal of 1.2.0 (read by the command line before the program
    // upgraded it) has none of the payment's columns: they read as none.
    const bool old = version < 2;
    if (old && which == Which::NotCashedUp)
        return true;
    const QByteArray where = which == Which::Days ? "o.day BETWEEN ?1 AND ?2"
                                                  : "o.cash_up_id IS NULL AND o.uid IS NOT NULL";
    const QByteArray order = " ORDER BY o.day, o.ended_at, o.id";
    const QByteArray orderQuery =
        QByteArray("SELECT o.id, o.ended_at, o.bill_number, o.printed, o.copied,"
                   " o.name1, o.name2, o.name3, o.name4, o.name5, o.name6,"
                   " o.total1, o.total2, o.total3, o.total4, o.total5, o.total6, o.grand_total, ") +
        (forExport ? "''" : "o.bill_text") +
        (old ? ", NULL, NULL, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL"
             : ", o.uid, o.receipt_number, o.status, o.total_fen, o.discount_fen, o.discount_label,"
               " o.rounding_fen, o.due_fen, o.cash_given_fen, o.change_fen, o.void_reason,"
               " o.voided_at, o.cash_up_id") +
        (version >= 6 ? ", o.receipt" : ", 0") +
        " FROM orders o WHERE " + where + order;
    sql::Statement orders(db, orderQuery.constData());
    sql::Statement lines(db, QByteArray("SELECT l.order_id, l.category, l.category_name, l.dish,"
                                        " l.small_quantity, l.small_heading, l.large_quantity,"
                                        " l.large_heading, l.line_total"
                                        " FROM order_lines l JOIN orders o ON o.id = l.order_id"
                                        " WHERE " + where + order + ", l.position")
                                 .constData());
    sql::Statement parts(db, old ? "SELECT 0, '', 0 WHERE ?1 = ?2 AND 0"
                                 : QByteArray("SELECT p.order_id, p.method, p.amount_fen"
                                              " FROM payment_parts p JOIN orders o ON o.id = p.order_id"
                                              " WHERE " + where + order + ", p.position")
                                       .constData());
    if (!orders.isValid() || !lines.isValid() || !parts.isValid())
        return readError();
    for (sql::Statement *s : {&orders, &lines, &parts})
        for (qsizetype i = 0; i < values.size(); ++i)
            s->bind(int(i + 1), values[i]);
    bool lineWaiting = lines.next();
    bool partWaiting = parts.next();
    while (orders.next()) {
        Order order;
        order.id = orders.integer(0);
        const QString endedAt = orders.text(1);
        if (!forExport)
            order.endedAt = endedAtFrom(endedAt);
        if (!orders.isNull(2))
            order.billNumber = int(orders.integer(2));
        order.printed = orders.integer(3) != 0;
        order.copied = orders.integer(4) != 0;
        for (int c = 0; c < categoryCount; ++c) {
            order.categoryNames[c] = orders.text(5 + c);
            order.categoryTotals[c] = orders.real(11 + c);
        }
        order.grandTotal = orders.real(17);
        order.billText = orders.text(18);
        order.uid = orders.text(19);
        order.receiptNumber = orders.text(20);
        order.status = OrderStatus(std::clamp(int(orders.integer(21)), 0, 2));
        if (!orders.isNull(22)) {
            Payment p;
            p.total = orders.integer(22);
            p.discount = orders.integer(23);
            p.discountLabel = orders.text(24);
            p.rounding = orders.integer(25);
            p.due = orders.integer(26);
            p.cashGiven = orders.integer(27);
            p.change = orders.integer(28);
            order.payment = p;
        }
        order.voidReason = orders.text(29);
        if (!orders.isNull(30))
            order.voidedAt = endedAtFrom(orders.text(30));
        order.cashUpId = orders.integer(31);
        order.receipt = int(orders.integer(32));
        for (; lineWaiting && lines.integer(0) == order.id; lineWaiting = lines.next())
            order.lines.append(OrderLine{int(lines.integer(1)), lines.text(2), lines.text(3),
                                         lines.real(4), lines.text(5), lines.real(6),
                                         lines.text(7), lines.real(8)});
        for (; partWaiting && parts.integer(0) == order.id; partWaiting = parts.next())
            if (order.payment)
                order.payment->parts.append(PaymentPart{parts.text(1), parts.integer(2)});
        if (!visit(order, endedAt))
            return false;
    }
    if (orders.failed() || lines.failed() || parts.failed())
        return readError();
    return true;
}

std::optional<QList<Order>> Journal::orders(const QDate &from, const QDate &to)
{
    QList<Order> list;
    if (!open())
        return d->error.isEmpty() ? std::optional(list) : std::nullopt;
    if (!d->forEach(Private::Which::Days, {from.toString(dayFormat), to.toString(dayFormat)}, false,
                    [&](Order &order, const QString &) {
                        list.append(std::move(order));
                        return true;
                    }))
        return std::nullopt;
    return list;
}

namespace {

// `list` as `change` leaves it once written.
void applyTo(QList<OpenOrder> &list, const Change &change)
{
    const QString uid = change.kind == Change::Kind::Record ? change.order.closesOpenUid : change.open.uid;
    const auto found = std::find_if(list.begin(), list.end(), [&](const OpenOrder &o) { return o.uid == uid; });
    if (change.kind != Change::Kind::KeepOpen) {
        if (!uid.isEmpty() && found != list.end())
            list.erase(found);
        return;
    }
    OpenOrder open = change.open;
    open.name = freeOpenName(open.name, [&](const QString &name) {
        return std::any_of(list.cbegin(), list.cend(),
                           [&](const OpenOrder &o) { return o.name == name && o.uid != open.uid; });
    });
    if (found != list.end())
        *found = open;
    else
        list.append(open);
}

}  // namespace

std::optional<QList<OpenOrder>> Journal::openOrders()
{
    QList<OpenOrder> list;
    if (!open()) {
        if (!d->error.isEmpty())
            return std::nullopt;
    } else if (d->version >= 3) {
        sql::Statement rows(d->db, "SELECT uid, name, held_at, total_fen, dish_count, state"
                                   " FROM open_orders ORDER BY held_at, rowid");
        while (rows.next()) {
            const QString heldAt = rows.text(2);
            list.append(OpenOrder{rows.text(0), rows.text(1),
                                  heldAt.isEmpty() ? QDateTime() : endedAtFrom(heldAt), rows.integer(3),
                                  int(rows.integer(4)), rows.blob(5), QString()});
        }
        if (rows.failed() || !rows.isValid()) {
            d->readError();
            return std::nullopt;
        }
    }
    // What waits to be written shows as it will be.
    if (!d->pending.isEmpty()) {
        for (const Private::Waiting &w : std::as_const(d->pending))
            applyTo(list, w.change);
        std::stable_sort(list.begin(), list.end(),
                         [](const OpenOrder &a, const OpenOrder &b) { return a.heldAt < b.heldAt; });
    }
    return list;
}

std::optional<DaySummary> Journal::summaryOf(const QDate &day)
{
    const std::optional<QList<Order>> list = ordersOf(day);
    if (!list)
        return std::nullopt;
    DaySummary summary = summarize(day, *list);
    const std::optional<QList<CashUp>> cashUps = cashUpsOf(day);
    if (!cashUps)
        return std::nullopt;
    summary.cashUps = *cashUps;
    return summary;
}

std::optional<QString> Journal::lastReceiptNumber(const QDate &day)
{
    if (!open() || d->version < 2)
        return d->error.isEmpty() ? std::optional(QString()) : std::nullopt;
    // "yyyyMMdd-NNNN" (a suffix "-2" on one taken twice): the day's by its running number.
    const QString prefix = day.toString(QStringLiteral("yyyyMMdd-"));
    sql::Statement highest(d->db, "SELECT receipt_number FROM orders"
                                  " WHERE receipt_number >= ?1 AND receipt_number < ?2"
                                  " ORDER BY CAST(substr(receipt_number, 10) AS INTEGER) DESC,"
                                  " length(receipt_number), receipt_number LIMIT 1");
    highest.bind(1, prefix).bind(2, day.toString(QStringLiteral("yyyyMMdd.")));
    if (highest.next())
        return highest.text(0);
    if (highest.failed() || !highest.isValid()) {
        d->readError();
        return std::nullopt;
    }
    return QString();
}

int Journal::orderCount()
{
    if (!open())
        return 0;
    return d->db.text("SELECT count(*) FROM orders").value_or(QStringLiteral("0")).toInt();
}

bool Journal::exportCsv(const QDate &from, const QDate &to, const QString &file, CsvKind kind)
{
    // Writing over the journal itself (or its log) would lose every order.
    const QString target = QFileInfo(file).absoluteFilePath();
    const QString database = QFileInfo(d->path()).canonicalFilePath();
    const QString targetCanonical = QFileInfo(file).canonicalFilePath();
    for (const QString &name : {target, targetCanonical})
        if (!database.isEmpty() && !name.isEmpty() && name.startsWith(database)) {
            d->error = QStringLiteral("不能导出到营业记录数据库本身：%1")
                           .arg(QDir::toNativeSeparators(file));
            return false;
        }
    if (!open() && !d->error.isEmpty())
        return false;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        d->error = QStringLiteral("无法建立文件 %1：请确认文件夹存在并且可以写入，或换一个位置。（%2）")
                       .arg(native(file), out.errorString());
        return false;
    }
    d->error.clear();
    CsvWriter csv(out, kind);
    bool written = true;
    if (d->db.isOpen())
        written = d->forEach(Private::Which::Days, {from.toString(dayFormat), to.toString(dayFormat)},
                             true, [&](Order &order, const QString &endedAt) {
            return csv.add(order, endedAt);
        });
    if (written && csv.finish() && commitWhole(out))
        return true;
    if (d->error.isEmpty())  // not a reading failure: the file's (Qt tells a full disk as "Unknown error")
        d->error = QStringLiteral("无法写入文件 %1：磁盘可能已满，或文件不能写入。请腾出磁盘空间或换一个位置；"
                                  "没有留下不完整的文件。（%2）")
                       .arg(native(file), out.errorString());
    out.cancelWriting();
    return false;
}

}  // namespace journal
