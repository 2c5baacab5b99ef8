#include "shop/shop_figures.h"

#include "journal/report.h"

#include <QMap>

using journal::fenText;

namespace shop {

namespace {

// A figure from the server's answer: a whole number in a till's range
// (sums of up to a billion orders of 10^15 分 fit), or refused.
bool figure(const pg::Result &rows, int row, int column, qint64 *out)
{
    if (rows.isNull(row, column)) {
        *out = 0;
        return true;
    }
    const std::optional<qint64> value = rows.integer(row, column);
    if (!value)
        return false;
    *out = *value;
    return true;
}

void add(QList<journal::PaymentPart> &parts, const QString &method, journal::Fen amount)
{
    for (journal::PaymentPart &part : parts)
        if (part.method == method) {
            part.amount += amount;
            return;
        }
    parts.append({method, amount});
}

}  // namespace

std::optional<ShopDay> readShopDay(pg::Connection &db, const QDate &day)
{
    const QString date = day.toString(Qt::ISODate);
    const std::optional<pg::Result> tills = db.exec(
        "SELECT t.number, t.name, t.outbox_end - coalesce((SELECT max(seq) FROM tavelko.changes c "
        "WHERE c.till = t.uid), 0), to_char(t.last_seen AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), "
        // What waits put aside, as the shop has it: a table another till
        // took and put aside again counts there, once.
        "(SELECT count(*) FROM tavelko.open_tables p WHERE p.put_by = t.uid AND p.closed_at IS NULL), "
        "(SELECT coalesce(sum(p.total_fen), 0) FROM tavelko.open_tables p WHERE p.put_by = t.uid AND p.closed_at IS NULL) "
        "FROM tavelko.tills t WHERE t.replaced_at IS NULL ORDER BY t.number");
    const std::optional<pg::Result> sums = db.exec(
        "SELECT t.number, "
        "count(*) FILTER (WHERE o.status = 'paid'), sum(o.due_fen) FILTER (WHERE o.status = 'paid'), "
        "count(*) FILTER (WHERE o.status = 'unpaid'), sum(o.total_fen) FILTER (WHERE o.status = 'unpaid'), "
        "count(*) FILTER (WHERE o.status = 'voided'), sum(o.total_fen) FILTER (WHERE o.status = 'voided'), "
        "sum(o.discount_fen) FILTER (WHERE o.status = 'paid'), sum(o.rounding_fen) FILTER (WHERE o.status = 'paid') "
        "FROM tavelko.orders o JOIN tavelko.tills t ON t.uid = o.till WHERE o.day = $1::date GROUP BY t.number",
        {date});
    const std::optional<pg::Result> methods = db.exec(
        "SELECT t.number, p.method, sum(p.amount_fen) FROM tavelko.order_payments p "
        "JOIN tavelko.orders o ON o.uid = p.order_uid JOIN tavelko.tills t ON t.uid = o.till "
        "WHERE o.day = $1::date AND o.status = 'paid' GROUP BY t.number, p.method ORDER BY t.number, min(p.position), p.method",
        {date});
    if (!tills || !sums || !methods)
        return std::nullopt;
    ShopDay result;
    result.day = day;
    QMap<int, TillDay> byNumber;
    for (int row = 0; row < tills->rows(); ++row) {
        qint64 number = 0, unsent = 0, asideCount = 0, asideFen = 0;
        if (!figure(*tills, row, 0, &number) || !figure(*tills, row, 2, &unsent) || number < 1 || number > 99 ||
            !figure(*tills, row, 4, &asideCount) || !figure(*tills, row, 5, &asideFen) || asideCount < 0 ||
            asideCount > 1000000)
            return std::nullopt;
        TillDay &till = byNumber[int(number)];
        till.number = int(number);
        till.name = tills->text(row, 1);
        till.notYetSent = qMax<qint64>(0, unsent);
        till.lastSeen = QDateTime::fromString(tills->text(row, 3), Qt::ISODate).toLocalTime();
        till.putAsideCount = int(asideCount);
        till.putAsideTotal = asideFen;
    }
    for (int row = 0; row < sums->rows(); ++row) {
        qint64 v[9];
        for (int column = 0; column < 9; ++column)
            if (!figure(*sums, row, column, &v[column]))
                return std::nullopt;
        if (v[0] < 1 || v[0] > 99)
            return std::nullopt;
        TillDay &till = byNumber[int(v[0])];
        till.number = int(v[0]);
        till.paidCount = int(v[1]);
        till.takings = v[2];
        till.unpaidCount = int(v[3]);
        till.unpaidTotal = v[4];
        till.voidedCount = int(v[5]);
        till.voidedTotal = v[6];
        till.discounts = v[7];
        till.roundings = v[8];
    }
    for (int row = 0; row < methods->rows(); ++row) {
        qint64 number = 0, amount = 0;
        if (!figure(*methods, row, 0, &number) || !figure(*methods, row, 2, &amount) || !byNumber.contains(int(number)))
            return std::nullopt;
        add(byNumber[int(number)].byMethod, methods->text(row, 1), amount);
    }
    TillDay &all = result.shop;
    for (const TillDay &till : std::as_const(byNumber)) {
        result.tills.append(till);
        all.paidCount += till.paidCount;
        all.takings += till.takings;
        all.unpaidCount += till.unpaidCount;
        all.unpaidTotal += till.unpaidTotal;
        all.voidedCount += till.voidedCount;
        all.voidedTotal += till.voidedTotal;
        all.putAsideCount += till.putAsideCount;
        all.putAsideTotal += till.putAsideTotal;
        all.discounts += till.discounts;
        all.roundings += till.roundings;
        all.notYetSent += till.notYetSent;
        for (const journal::PaymentPart &part : till.byMethod)
            add(all.byMethod, part.method, part.amount);
    }
    return result;
}

QString shopDayText(const ShopDay &day)
{
    QStringList lines;
    auto figures = [&lines](const TillDay &till) {
        lines << QStringLiteral("  已结账 %1 单，实收 %2 元").arg(till.paidCount).arg(journal::fenText(till.takings));
        for (const journal::PaymentPart &part : till.byMethod)
            lines << QStringLiteral("    %1 %2 元").arg(part.method, journal::fenText(part.amount));
        if (till.discounts || till.roundings)
            lines << QStringLiteral("    折扣 %1 元，抹零 %2 元").arg(journal::fenText(till.discounts), journal::fenText(till.roundings));
        lines << QStringLiteral("  未结账 %1 单，%2 元").arg(till.unpaidCount).arg(journal::fenText(till.unpaidTotal));
        lines << QStringLiteral("  已作废 %1 单，%2 元").arg(till.voidedCount).arg(journal::fenText(till.voidedTotal));
        lines << QStringLiteral("  挂单中 %1 单，%2 元").arg(till.putAsideCount).arg(journal::fenText(till.putAsideTotal));
    };
    lines << QStringLiteral("全店营业日结 %1").arg(day.day.toString(QStringLiteral("yyyy-MM-dd")));
    if (day.shop.notYetSent > 0)
        lines << QStringLiteral("注意：还有 %1 笔记录没有上传到店铺数据库，下面的数字还不是全天的。")
                     .arg(day.shop.notYetSent);
    lines << QStringLiteral("全店合计");
    figures(day.shop);
    for (const TillDay &till : day.tills) {
        lines << QStringLiteral("%1 号收银机 %2").arg(till.number).arg(till.name);
        figures(till);
        if (till.notYetSent > 0)
            lines << QStringLiteral("  还有 %1 笔没有上传（最后联系 %2）")
                         .arg(till.notYetSent)
                         .arg(till.lastSeen.isValid() ? till.lastSeen.toString(QStringLiteral("MM-dd HH:mm"))
                                                      : QStringLiteral("—"));
    }
    return lines.join(u'\n') + u'\n';
}

QStringList unsentTills(const ShopDay &day)
{
    QStringList tills;
    for (const TillDay &till : day.tills)
        if (till.notYetSent > 0)
            tills << QStringLiteral("%1 号收银机“%2” %3 笔（最后联系 %4）")
                         .arg(till.number)
                         .arg(till.name)
                         .arg(till.notYetSent)
                         .arg(till.lastSeen.isValid() ? till.lastSeen.toString(QStringLiteral("MM-dd HH:mm"))
                                                      : QStringLiteral("—"));
    return tills;
}

roll::Page shopDayPage(const ShopDay &day, const QStringList &header)
{
    roll::Page page;
    page.header(header);
    page.gap();
    page.text(QStringLiteral("全店日结"), roll::Align::Centre, roll::Size::Large, true);
    page.text(QStringLiteral("日期 %1").arg(day.day.toString(QStringLiteral("yyyy-MM-dd"))), roll::Align::Centre);
    const QStringList unsent = unsentTills(day);
    if (!unsent.isEmpty()) {
        page.rule();
        page.text(QStringLiteral("★ 还没有上传完，下面的数字不是全天的："), roll::Align::Left, roll::Size::Body, true);
        for (const QString &till : unsent)
            page.text(till);
    }
    auto figures = [&page](const TillDay &till) {
        page.figure(QStringLiteral("已结账 %1 单").arg(till.paidCount), fenText(till.takings), true);
        for (const journal::PaymentPart &part : till.byMethod)
            page.figure(QStringLiteral("  %1").arg(part.method), fenText(part.amount));
        if (till.discounts)
            page.figure(QStringLiteral("  折扣"), fenText(till.discounts));
        if (till.roundings)
            page.figure(QStringLiteral("  抹零"), fenText(till.roundings));
        page.figure(QStringLiteral("未结账 %1 单").arg(till.unpaidCount), fenText(till.unpaidTotal));
        page.figure(QStringLiteral("已作废 %1 单").arg(till.voidedCount), fenText(till.voidedTotal));
        if (till.putAsideCount)
            page.figure(QStringLiteral("挂单中 %1 单").arg(till.putAsideCount), fenText(till.putAsideTotal));
    };
    page.rule();
    page.text(QStringLiteral("全店合计"), roll::Align::Left, roll::Size::Body, true);
    figures(day.shop);
    for (const TillDay &till : day.tills) {
        page.rule();
        page.text(QStringLiteral("%1 号收银机 %2").arg(till.number).arg(till.name), roll::Align::Left,
                  roll::Size::Body, true);
        figures(till);
    }
    page.rule();
    page.text(QStringLiteral("打印时间 %1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))),
              roll::Align::Centre);
    return page;
}

QByteArray shopDaysCsv(const QList<ShopDay> &days)
{
    QStringList methods;
    for (const ShopDay &day : days)
        for (const journal::PaymentPart &part : day.shop.byMethod)
            if (!methods.contains(part.method))
                methods << part.method;
    QStringList heading = {QStringLiteral("日期"), QStringLiteral("收银机"), QStringLiteral("名称"),
                           QStringLiteral("已结账单数"), QStringLiteral("实收"), QStringLiteral("未结账单数"),
                           QStringLiteral("未结账金额"), QStringLiteral("作废单数"), QStringLiteral("作废金额"),
                           QStringLiteral("折扣"), QStringLiteral("抹零"), QStringLiteral("挂单中单数"),
                           QStringLiteral("挂单中金额")};
    heading << methods << QStringLiteral("待上传");
    QString csv = journal::csvLine(heading, {});
    auto row = [&](const ShopDay &day, const TillDay &till, const QString &number) {
        QStringList cells = {day.day.toString(Qt::ISODate), number, till.name,
                             QString::number(till.paidCount), fenText(till.takings),
                             QString::number(till.unpaidCount), fenText(till.unpaidTotal),
                             QString::number(till.voidedCount), fenText(till.voidedTotal),
                             fenText(till.discounts), fenText(till.roundings),
                             QString::number(till.putAsideCount), fenText(till.putAsideTotal)};
        for (const QString &method : std::as_const(methods)) {
            journal::Fen amount = 0;
            for (const journal::PaymentPart &part : till.byMethod)
                if (part.method == method)
                    amount += part.amount;
            cells << fenText(amount);
        }
        cells << QString::number(till.notYetSent);
        csv += journal::csvLine(cells, {2});
    };
    for (const ShopDay &day : days) {
        row(day, day.shop, QStringLiteral("全店"));
        for (const TillDay &till : day.tills)
            row(day, till, QString::number(till.number));
    }
    return QByteArray("\xEF\xBB\xBF") + csv.toUtf8();
}

}  // namespace shop
