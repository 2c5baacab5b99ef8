#include "payment/checkout.h"

#include "common/caption_number.h"
#include "payment/shop_settings.h"

#include <QRegularExpression>

#include <algorithm>

namespace payment {

namespace {

// Whole 元 with up to `decimals` decimals, in units of 10^-decimals.
std::optional<qint64> parseFixed(QString text, int decimals)
{
    text = text.trimmed();
    text.replace(u'。', u'.');
    text.replace(u'．', u'.');
    static const QRegularExpression number(QStringLiteral("^(\\d{1,15})?(?:\\.(\\d*))?$"));
    const QRegularExpressionMatch match = number.match(text);
    if (text.isEmpty() || text == QLatin1String(".") || !match.hasMatch())
        return std::nullopt;
    const QString fraction = match.captured(2);
    if (fraction.size() > decimals)
        return std::nullopt;
    qint64 value = match.captured(1).toLongLong();
    for (int i = 0; i < decimals; ++i)
        value = value * 10 + (i < fraction.size() ? fraction[i].digitValue() : 0);
    return value;
}

}  // namespace

std::optional<Fen> parseYuan(QString text)
{
    return parseFixed(std::move(text), 2);
}

std::variant<Fen, QString> amountToTake(const QString &caption)
{
    const std::optional<double> value = captionValue(caption);
    bool exact = true;
    const std::optional<qint64> fen = value ? captionFen(*value, &exact) : std::nullopt;
    if (!fen)
        return QStringLiteral("总计“%1”太大，无法按分记账，不能结账。").arg(caption);
    if (*fen == 0 && exact)
        return QStringLiteral("总计为 0，没有要结账的订单。");
    if (*value < 0)
        return QStringLiteral("总计小于 0，不能结账。");
    if (!exact)
        return QStringLiteral("总计 %1 元有不足一分的零头，无法按分收款，不能结账。\n"
                              "请把单价或数量改成能算到分的数（例如单价最多两位小数）后再结账。")
            .arg(captionText(*value));
    return *fen;
}

QString yuanText(Fen fen)
{
    const QString sign = fen < 0 ? QStringLiteral("-") : QString();
    const Fen whole = std::abs(fen) / 100, cents = std::abs(fen) % 100;
    if (cents == 0)
        return sign + QString::number(whole);
    if (cents % 10 == 0)
        return sign + QStringLiteral("%1.%2").arg(whole).arg(cents / 10);
    return sign + QStringLiteral("%1.%2").arg(whole).arg(cents, 2, 10, QLatin1Char('0'));
}

QString Discount::label() const
{
    switch (kind) {
    case Rate: {
        QString rate = QString::number(perMille / 100.0, 'f', 2);
        while (rate.endsWith(u'0'))
            rate.chop(1);
        if (rate.endsWith(u'.'))
            rate.chop(1);
        return rate + QStringLiteral("折");
    }
    case Amount:
        return QStringLiteral("减%1元").arg(yuanText(amount));
    case None:
        break;
    }
    return {};
}

std::optional<int> parseRate(QString text)
{
    text.remove(u'折');
    const std::optional<qint64> hundredths = parseFixed(text, 2);  // 8.8 -> 880
    if (!hundredths || *hundredths <= 0 || *hundredths >= 1000)
        return std::nullopt;
    return int(*hundredths);
}

Due dueOf(Fen total, const Discount &discount, const Rounding &rounding)
{
    Due due;
    due.total = std::max<Fen>(total, 0);
    switch (discount.kind) {
    case Discount::Rate:
        // What is paid, rounded to the 分 half up; the rest is the discount.
        // Split at the thousands so that no 合计 a caption holds overflows.
        due.discount = due.total - (due.total / 1000 * discount.perMille +
                                    (due.total % 1000 * discount.perMille + 500) / 1000);
        break;
    case Discount::Amount:
        due.discount = discount.amount;
        break;
    case Discount::None:
        break;
    }
    due.discount = std::clamp<Fen>(due.discount, 0, due.total);
    const Fen left = due.total - due.discount;
    switch (rounding.kind) {
    case Rounding::ToYuan:
        due.rounding = left % 100;
        break;
    case Rounding::ToJiao:
        due.rounding = left % 10;
        break;
    case Rounding::Amount:
        due.rounding = rounding.amount;
        break;
    case Rounding::None:
        break;
    }
    due.rounding = std::clamp<Fen>(due.rounding, 0, left);
    due.due = left - due.rounding;
    return due;
}

std::variant<journal::Payment, QString> settle(const Due &due, const Discount &discount,
                                               const QList<Tender> &tenders)
{
    journal::Payment payment;
    payment.total = due.total;
    payment.discount = due.discount;
    payment.discountLabel = due.discount > 0 ? discount.label() : QString();
    payment.rounding = due.rounding;
    payment.due = due.due;

    Fen others = 0, given = 0;
    for (const Tender &t : tenders) {
        if (t.amount < 0)
            return QStringLiteral("金额不能为负数。");
        given += t.amount;
        if (t.method == cashMethod)
            payment.cashGiven += t.amount;
        else
            others += t.amount;
    }
    if (given < due.due)
        return QStringLiteral("还差 %1 元").arg(yuanText(due.due - given));
    if (others > due.due)
        return QStringLiteral("只有现金可以找零：现金以外的方式多收了 %1 元。").arg(yuanText(others - due.due));
    payment.change = given - due.due;
    for (const Tender &t : tenders)
        if (t.amount > 0)
            payment.parts.append({t.method, t.amount});
    // The change comes out of the cash: the cash part is what stays.
    Fen change = payment.change;
    for (auto it = payment.parts.rbegin(); it != payment.parts.rend() && change > 0; ++it)
        if (it->method == cashMethod) {
            const Fen back = std::min(change, it->amount);
            it->amount -= back;
            change -= back;
        }
    payment.parts.removeIf([](const journal::PaymentPart &p) { return p.amount == 0; });
    return payment;
}

QList<Fen> quickAmounts(Fen rest)
{
    QList<Fen> amounts;
    if (rest <= 0)
        return amounts;
    amounts << rest;
    for (const Fen step : {1000, 5000, 10000}) {
        const Fen next = (rest + step - 1) / step * step;
        if (!amounts.contains(next))
            amounts << next;
    }
    std::sort(amounts.begin(), amounts.end());
    return amounts;
}

}  // namespace payment
