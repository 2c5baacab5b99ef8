#pragma once
// The bill of the main window: its number, its text, and the text the
// printer receives (how it gets there: bill_print.h).

#include <QString>
#include <QStringList>

namespace bill {

inline constexpr int highestNumber = 99;

// The number after `current` (a caption number): 1 to 99, then 1 again.
QString nextNumber(const QString &current);

// "第" number "位", each of the six category summaries after a line break,
// two line breaks, "总计", three spaces, the grand total, "元".
QString compose(const QString &number, const QStringList &summaries, const QString &grandTotal);

// What the printer receives: the bill without the spaces at its start and end.
QString printable(const QString &bill);

}  // namespace bill
