#include "main_window/bill.h"

#include "common/caption_number.h"


namespace bill {

namespace {
const QString crlf = QStringLiteral("\r\n");
}

QString nextNumber(const QString &current)
{
    const double next = captionValue(current).value_or(0) + 1;
    return next > highestNumber ? QStringLiteral("1") : captionText(next);
}

QString compose(const QString &number, const QStringList &summaries, const QString &grandTotal)
{
    QString text = QStringLiteral("第") + number + QStringLiteral("位");
    for (const QString &summary : summaries)
        text += crlf + summary;
    return text + crlf + crlf + QStringLiteral("总计   ") + grandTotal + QStringLiteral("元");
}

QString printable(const QString &bill)
{
    qsizetype start = 0, end = bill.size();
    while (start < end && bill[start] == u' ')
        ++start;
    while (end > start && bill[end - 1] == u' ')
        --end;
    return bill.mid(start, end - start);
}

}  // namespace bill
