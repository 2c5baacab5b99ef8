#include "main_window/bill.h"

#include "common/caption_number.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

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

QStringList printLines(const QString &printableText)
{
    // A bill line ends with CR LF; a lone CR or LF also ends a line.
    QString text = printableText;
    text.replace(crlf, QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text.split(u'\n');
}

bool printText(QPrinter &printer, const QString &printableText)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;

    // Line after line from the top of the printable area, in the printer's
    // default font; a line that would not fit below starts the next page.
    const QFontMetricsF metrics(painter.font(), &printer);
    const double pageHeight = printer.pageRect(QPrinter::DevicePixel).height();
    const double lineHeight = metrics.lineSpacing();
    double top = 0;
    for (const QString &line : printLines(printableText)) {
        if (top > 0 && top + lineHeight > pageHeight) {
            if (!printer.newPage())
                return false;
            top = 0;
        }
        painter.drawText(QPointF(0, top + metrics.ascent()), line);
        top += lineHeight;
    }
    return painter.end();
}

QString printOnDefaultPrinter(const QString &printableText)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return QStringLiteral("没有设置默认打印机。");

    if (info.state() == QPrinter::Error)
        return QStringLiteral("默认打印机“%1”处于错误状态（已停止或不接受任务）。").arg(info.printerName());

    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Tavelko 清单"));
    if (!printer.isValid())
        return QStringLiteral("默认打印机“%1”不可用。").arg(info.printerName());

    if (!printText(printer, printableText))
        return QStringLiteral("打印机“%1”无法开始打印或换页。").arg(info.printerName());
    if (printer.printerState() == QPrinter::Error)
        return QStringLiteral("打印机“%1”拒绝了打印任务。").arg(info.printerName());
    return {};
}

}  // namespace bill
