// Printing on Windows: the bill is drawn through QPrinter straight onto the
// default printer in its own format. The spooler has accepted the job once
// the document has been started and ended without an error.

#include "main_window/bill_print.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace bill {

QString spoolOnDefaultPrinter(const QString &printableText)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return QStringLiteral("没有设置默认打印机，或打印服务（Print Spooler）没有运行。");
    const QString name = info.printerName();
    if (info.state() == QPrinter::Error)
        return QStringLiteral("默认打印机“%1”处于错误状态，清单没有送出。").arg(name);

    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(documentName());
    if (!printer.isValid())
        return QStringLiteral("默认打印机“%1”不可用。").arg(name);
    fitPaper(printer, info, printableText);
    if (!printText(printer, printableText) || printer.printerState() == QPrinter::Error)
        return QStringLiteral("打印机“%1”没有接受打印任务（无法开始或完成打印文档）。").arg(name);
    return {};
}

}  // namespace bill
