#pragma once
// The bill of the main window: its number, its text, and how it reaches the
// printer.

#include <QString>
#include <QStringList>

class QPrinter;

namespace bill {

inline constexpr int highestNumber = 99;

// The number after `current` (a caption number): 1 to 99, then 1 again.
QString nextNumber(const QString &current);

// "第" number "位", each of the six category summaries after a line break,
// two line breaks, "总计", three spaces, the grand total, "元".
QString compose(const QString &number, const QStringList &summaries, const QString &grandTotal);

// What the printer receives: the bill without the spaces at its start and end.
QString printable(const QString &bill);

// The printed lines: one per bill line.
QStringList printLines(const QString &printableText);

// Prints `printableText` on `printer`, from the start of the printable area,
// one line per bill line, continuing on further pages. False on failure.
bool printText(QPrinter &printer, const QString &printableText);

// Prints `printableText` on the default printer. Returns an empty text on
// success, otherwise a Chinese sentence saying why printing failed.
QString printOnDefaultPrinter(const QString &printableText);

}  // namespace bill
