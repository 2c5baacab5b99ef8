#include "main_window/bill.h"

#include "common/caption_number.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

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

std::unique_ptr<QTextDocument> document(const QString &printableText)
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setDocumentMargin(0);
    // A bill line ends with CR LF; a lone CR or LF also ends a line. One
    // block per line: the line end after the last line adds no empty block.
    QString lines = printableText;
    lines.replace(crlf, QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    doc->setPlainText(lines);
    return doc;
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

    std::unique_ptr<QTextDocument> doc = document(printableText);
    QPainter painter;
    if (!painter.begin(&printer))
        return QStringLiteral("打印机“%1”无法开始打印。").arg(info.printerName());

    // Lay the text out on the printable area at the printer's own resolution,
    // page after page.
    doc->documentLayout()->setPaintDevice(&printer);
    const QRectF page(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    doc->setPageSize(page.size());
    const int pages = qMax(1, doc->pageCount());
    for (int p = 0; p < pages; ++p) {
        if (p > 0 && !printer.newPage())
            return QStringLiteral("打印机“%1”无法换页。").arg(info.printerName());
        const QRectF visible = page.translated(0, p * page.height());
        painter.save();
        painter.translate(0, -visible.top());
        painter.setClipRect(visible);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = visible;
        doc->documentLayout()->draw(&painter, context);
        painter.restore();
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        return QStringLiteral("打印机“%1”拒绝了打印任务。").arg(info.printerName());
    return {};
}

}  // namespace bill
