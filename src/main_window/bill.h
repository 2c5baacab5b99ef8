#pragma once
// The bill of the main window: its number, its text, and how it reaches the
// printer.

#include <QString>
#include <QStringList>
#include <memory>

class QTextDocument;

namespace bill {

inline constexpr int highestNumber = 99;

// The number after `current` (a caption number): 1 to 99, then 1 again.
QString nextNumber(const QString &current);

// "第" number "位", each of the six category summaries after a line break,
// two line breaks, "总计", three spaces, the grand total, "元".
QString compose(const QString &number, const QStringList &summaries, const QString &grandTotal);

// What the printer receives: the bill without the spaces at its start and end.
QString printable(const QString &bill);

// The print document: one block (one printed line) per bill line.
std::unique_ptr<QTextDocument> document(const QString &printableText);

// Prints `printableText` on the default printer. Returns an empty text on
// success, otherwise a Chinese sentence saying why printing failed.
QString printOnDefaultPrinter(const QString &printableText);

}  // namespace bill
