#include "journal/rescue.h"

#include "common/save_file.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

namespace journal::rescue {

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

QJsonArray array(const std::array<QString, categoryCount> &texts)
{
    QJsonArray list;
    for (const QString &text : texts)
        list.append(text);
    return list;
}

QJsonObject toJson(const Order &order)
{
    QJsonObject o{{QStringLiteral("uid"), order.uid},
                  {QStringLiteral("receipt"), order.receiptNumber},
                  {QStringLiteral("status"), int(order.status)},
                  {QStringLiteral("endedAt"), order.endedAt.toString(timeFormat)},
                  {QStringLiteral("printed"), order.printed},
                  {QStringLiteral("copied"), order.copied},
                  {QStringLiteral("names"), array(order.categoryNames)},
                  {QStringLiteral("grandTotal"), order.grandTotal},
                  {QStringLiteral("billText"), order.billText},
                  {QStringLiteral("voidReason"), order.voidReason}};
    if (order.billNumber)
        o.insert(QStringLiteral("bill"), *order.billNumber);
    if (order.voidedAt.isValid())
        o.insert(QStringLiteral("voidedAt"), order.voidedAt.toString(timeFormat));
    QJsonArray totals;
    for (double total : order.categoryTotals)
        totals.append(total);
    o.insert(QStringLiteral("totals"), totals);
    QJsonArray lines;
    for (const OrderLine &l : order.lines)
        lines.append(QJsonArray{l.category, l.categoryName, l.dish, l.smallQuantity, l.smallHeading,
                                l.largeQuantity, l.largeHeading, l.lineTotal});
    o.insert(QStringLiteral("lines"), lines);
    if (const std::optional<Payment> &p = order.payment) {
        QJsonArray parts;
        for (const PaymentPart &part : p->parts)
            parts.append(QJsonArray{part.method, part.amount});
        // 分 as JSON numbers: exact far beyond any till's sums (2^53).
        o.insert(QStringLiteral("payment"),
                 QJsonObject{{QStringLiteral("total"), p->total},
                             {QStringLiteral("discount"), p->discount},
                             {QStringLiteral("discountLabel"), p->discountLabel},
                             {QStringLiteral("rounding"), p->rounding},
                             {QStringLiteral("due"), p->due},
                             {QStringLiteral("parts"), parts},
                             {QStringLiteral("cashGiven"), p->cashGiven},
                             {QStringLiteral("change"), p->change}});
    }
    return o;
}

QDateTime timeFrom(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), timeFormat);
}

std::optional<Order> fromJson(const QJsonObject &o)
{
    Order order;
    order.uid = o.value(QStringLiteral("uid")).toString();
    order.endedAt = timeFrom(o.value(QStringLiteral("endedAt")));
    if (order.uid.isEmpty() || !order.endedAt.isValid())
        return std::nullopt;
    order.receiptNumber = o.value(QStringLiteral("receipt")).toString();
    order.status = OrderStatus(std::clamp(o.value(QStringLiteral("status")).toInt(), 0, 2));
    order.printed = o.value(QStringLiteral("printed")).toBool();
    order.copied = o.value(QStringLiteral("copied")).toBool();
    if (o.contains(QStringLiteral("bill")))
        order.billNumber = o.value(QStringLiteral("bill")).toInt();
    const QJsonArray names = o.value(QStringLiteral("names")).toArray();
    const QJsonArray totals = o.value(QStringLiteral("totals")).toArray();
    for (int c = 0; c < categoryCount; ++c) {
        order.categoryNames[c] = names.at(c).toString();
        order.categoryTotals[c] = totals.at(c).toDouble();
    }
    order.grandTotal = o.value(QStringLiteral("grandTotal")).toDouble();
    order.billText = o.value(QStringLiteral("billText")).toString();
    order.voidReason = o.value(QStringLiteral("voidReason")).toString();
    order.voidedAt = timeFrom(o.value(QStringLiteral("voidedAt")));
    for (const QJsonValue &value : o.value(QStringLiteral("lines")).toArray()) {
        const QJsonArray l = value.toArray();
        order.lines.append(OrderLine{l.at(0).toInt(), l.at(1).toString(), l.at(2).toString(),
                                     l.at(3).toDouble(), l.at(4).toString(), l.at(5).toDouble(),
                                     l.at(6).toString(), l.at(7).toDouble()});
    }
    if (o.contains(QStringLiteral("payment"))) {
        const QJsonObject p = o.value(QStringLiteral("payment")).toObject();
        const auto fen = [&p](const char *key) { return Fen(p.value(QLatin1String(key)).toInteger()); };
        Payment payment{fen("total"), fen("discount"), p.value(QStringLiteral("discountLabel")).toString(),
                        fen("rounding"), fen("due"), {}, fen("cashGiven"), fen("change")};
        for (const QJsonValue &value : p.value(QStringLiteral("parts")).toArray())
            payment.parts.append(PaymentPart{value.toArray().at(0).toString(),
                                             Fen(value.toArray().at(1).toInteger())});
        order.payment = payment;
    }
    return order;
}

// A rescue file's orders; nullopt when there is none or it cannot be read
// (it is then left where it is).
std::optional<QList<Order>> read(const QString &file)
{
    QFile in(file);
    if (!QFileInfo(file).isFile() || !in.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(in.readAll(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<Order> orders;
    for (const QJsonValue &value : document.array())
        if (const std::optional<Order> order = fromJson(value.toObject()))
            orders.append(*order);
    return orders;
}

}  // namespace

QStringList places()
{
    // Outside the journal's folder: a folder that cannot be written (full,
    // forbidden) must not keep the rescue from being written too.
#ifdef Q_OS_WIN
    const QString settings = qEnvironmentVariable("APPDATA");  // roaming; the journal is local
#else
    const QString settings = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
    QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    user.remove(QLatin1Char('/')).remove(QLatin1Char('\\'));
    QStringList list;
    if (!settings.isEmpty())
        list << settings + QStringLiteral("/Tavelko/journal-rescue.json");
    list << QDir::tempPath() + QStringLiteral("/tavelko-journal-rescue-%1.json").arg(user);
    return list;
}

QString save(const QList<Order> &orders, QString *error)
{
    QStringList earlierFiles;
    QList<Order> all = load(&earlierFiles);
    QSet<QString> known;
    for (const Order &order : all)
        known.insert(order.uid);
    for (const Order &order : orders)
        if (!known.contains(order.uid))
            all.append(order);
    QJsonArray list;
    for (const Order &order : all)
        list.append(toJson(order));
    const QByteArray bytes = QJsonDocument(list).toJson(QJsonDocument::Compact);
    QStringList failures;
    for (const QString &file : places()) {
        QDir().mkpath(QFileInfo(file).path());
        QSaveFile out(file);
        if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && commitWhole(out)) {
            // Every order is in this one now.
            for (const QString &earlier : earlierFiles)
                if (earlier != file)
                    QFile::remove(earlier);
            return file;
        }
        out.cancelWriting();
        failures << QStringLiteral("%1（%2）").arg(QDir::toNativeSeparators(file), out.errorString());
    }
    *error = failures.join(QStringLiteral("；"));
    return QString();
}

QList<Order> load(QStringList *files)
{
    QList<Order> orders;
    QSet<QString> known;
    for (const QString &file : places()) {
        const std::optional<QList<Order>> some = read(file);
        if (!some)
            continue;
        files->append(file);
        for (const Order &order : *some)
            if (!known.contains(order.uid)) {
                known.insert(order.uid);
                orders.append(order);
            }
    }
    return orders;
}

QString amountText(const QList<Order> &orders)
{
    Fen sum = 0;
    for (const Order &order : orders)
        sum += order.payment ? order.payment->due : toFen(order.grandTotal);
    const QString sign = sum < 0 ? QStringLiteral("-") : QString();
    sum = std::abs(sum);
    QString text = sign + QString::number(sum / 100);
    if (sum % 100)
        text += QStringLiteral(".%1").arg(sum % 100, 2, 10, QLatin1Char('0'));
    if (text.endsWith(u'0') && text.contains(u'.'))
        text.chop(1);
    return text;
}

}  // namespace journal::rescue
