#pragma once
// How the bill reaches paper. It is laid out on the default printer's own
// paper in 宋体, line for line; a line wider than the paper continues on the
// next row, indented, so that every character is printed and nothing lies
// outside the printable area. On a receipt roll that takes any length the
// page is as long as the bill. Receipts and slips go the same way as pages
// of rows (roll_layout.h), in a size chosen by the paper's width; the
// kitchen's tickets go to a printer of their own, in larger type. Handing the document to the spooler
// is the platform's part (bill_print_cups.cpp, bill_print_win.cpp).

#include "common/roll_page.h"

#include <QFont>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QFontMetricsF;
class QPrinter;
class QPrinterInfo;

namespace bill {

// The printed lines: one per bill line. CR LF ends a line; so does a lone CR
// or LF, which a caption may hold.
QStringList printLines(const QString &printableText);

// The font of the printed bill: 宋体 as in the windows, at the bill pane's
// 9 pt, which is the size it lands on paper (the page is never scaled).
QFont printFont();

// The rows one line takes on a printable width: the line itself when it
// fits, else pieces that do, each piece after the first drawn `indent`
// further in. A line breaks after a space where there is one, else between
// two characters. The pieces put together are the line.
QStringList wrapLine(const QString &line, const QFontMetricsF &metrics, double width, double indent);

// The height in millimetres of the rows of `printableText` printed in `font`
// on `printer` across `printableWidth` millimetres.
double printedHeight(QPrinter &printer, double printableWidth, const QString &printableText,
                     const QFont &font = printFont());

// Sets `printer` (native or PDF) to the default paper of the printer `info`
// with that printer's margins; on a roll that takes custom lengths, to a page
// as long as `page` laid out on it (its body size already chosen). Without a
// paper of its own the printer keeps its page.
void fitPaper(QPrinter &printer, const QPrinterInfo &info, const roll::Page &page);

// The width in millimetres of the default paper of `printer`; 0 when it has
// none.
double paperWidth(const QPrinterInfo &printer);

// Prints `printableText` in `font` on `printer`, each line a row of its own
// wrapped within the printable area (roll::textPage), from the start of the
// printable area. False as roll::printPage.
bool printText(QPrinter &printer, const QString &printableText, const QFont &font = printFont());

// A Chinese sentence saying why a bill did not print.
using PrintFailure = std::function<void(const QString &why)>;

// Prints `printableText` on the default printer. Returns an empty text when
// the spooler accepted the job, otherwise a Chinese sentence saying why
// printing failed, which also goes to the program's log.
//
// An accepted job can still come to nothing: a printer that cannot be
// reached, a job stopped or cancelled at the spooler. With `lateFailure`
// given, the job is followed for about ten seconds while the program goes on
// (for as long as `context` lives); if it fails, `lateFailure` gets the
// sentence, which also goes to the log. A job still printing normally when
// the time is up is left to the spooler.
QString printOnDefaultPrinter(const QString &printableText, QObject *context = nullptr,
                              const PrintFailure &lateFailure = {});
// The same for a page laid out in rows (the receipt, the 交班单, the 日结),
// at the body size its paper calls for.
QString printOnDefaultPrinter(const roll::Page &page, QObject *context = nullptr,
                              const PrintFailure &lateFailure = {});

// Prints a kitchen ticket, `ticket`, on the printer `printerName` (as
// QPrinterInfo names it) in 宋体 at `points` (a size of 0, or above 72 pt,
// takes kitchenPoints of that printer), on that printer's own paper;
// otherwise as printOnDefaultPrinter.
// Every failure names the printer as the kitchen's ("厨房打印机“X”…") and
// says why; a printer that is not installed, or none chosen, is told so.
QString printOnPrinter(const QString &printerName, roll::Page ticket, double points,
                       QObject *context = nullptr, const PrintFailure &lateFailure = {});

// The kitchen's type size for a paper `paperWidth` millimetres wide: 16 pt
// on rolls 80 mm wide or more and on sheets, 14 pt on narrower rolls
// (58 mm, 76 mm). An unknown width (0) is taken as wide: long lines wrap.
double kitchenPoints(double paperWidth);
// The same for the default paper of `printer`.
double kitchenPoints(const QPrinterInfo &printer);

// A job the spooler accepted: its printer and its number there (0 when the
// platform could not tell which job it was).
struct SpooledJob {
    QString printer;
    int id = 0;
};

// What the spooler says of a job at one look.
struct JobLook {
    bool finished = false;   // printed, or gone from the queue as printed jobs go
    bool failed = false;     // stopped, aborted or cancelled, or its queue stopped
    bool troubled = false;   // not finished, and the spooler says the printer
                             // cannot be reached or is in error
    QString reason;          // the spooler's own words, when it has any
};

// What is printed where, and how the sentences about it name things.
struct Document {
    QString printer;    // the printer's name; empty: the default printer
    QString calledAs;   // that printer in a sentence: "默认打印机", "厨房打印机"
    QString paper;      // what is printed, in a sentence: "清单", "后厨单"
    QString title;      // the document name the spooler shows
};

// The bill, the receipt and the cash-up: on the default printer.
Document billDocument();
// A kitchen ticket on `printer`.
Document kitchenDocument(const QString &printer);

// "厨房打印机“X”没有安装，后厨单没有送出。…": a named printer the spooler
// does not know.
QString notInstalled(const Document &document);

// The platform's part (bill_print_cups.cpp, bill_print_win.cpp): lays the
// page out for the document's printer (fitPaper, roll::printPage) and hands
// it to the spooler, telling which job it became; and looks at that job again.
QString spool(const Document &document, const roll::Page &page, SpooledJob &job);
JobLook lookAtJob(const SpooledJob &job);

// The document name the spooler shows for the bill.
QString documentName();

}  // namespace bill
