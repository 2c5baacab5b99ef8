// Printing on Windows: the bill is drawn through QPrinter straight onto the
// default printer (a kitchen ticket onto the kitchen's) in its own format.
// The spooler has accepted the job once the document has been started and
// ended without an error; the job is then found in the printer's queue by
// its document name and looked at there.

#include "main_window/bill_print.h"
#include "main_window/roll_layout.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <QSet>

#include <cstddef>

#include <windows.h>
#include <winspool.h>

namespace bill {

namespace {

class PrinterHandle {
public:
    explicit PrinterHandle(const QString &name)
    {
        std::wstring wide = name.toStdWString();
        if (!OpenPrinterW(wide.data(), &m_handle, nullptr))
            m_handle = nullptr;
    }
    ~PrinterHandle()
    {
        if (m_handle)
            ClosePrinter(m_handle);
    }
    PrinterHandle(const PrinterHandle &) = delete;
    PrinterHandle &operator=(const PrinterHandle &) = delete;

    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle = nullptr;
};

// The numbers of the jobs in the printer's queue that carry the document
// name `title`.
QSet<DWORD> jobsNamed(const QString &printer, const QString &title)
{
    QSet<DWORD> ids;
    const PrinterHandle handle(printer);
    DWORD needed = 0, count = 0;
    if (!handle.get())
        return ids;
    EnumJobsW(handle.get(), 0, 0xFFFF, 1, nullptr, 0, &needed, &count);
    if (needed == 0)
        return ids;
    QByteArray buffer(int(needed), '\0');
    if (!EnumJobsW(handle.get(), 0, 0xFFFF, 1, reinterpret_cast<LPBYTE>(buffer.data()), needed, &needed, &count))
        return ids;
    const auto *jobs = reinterpret_cast<const JOB_INFO_1W *>(buffer.constData());
    for (DWORD i = 0; i < count; ++i)
        if (jobs[i].pDocument && QString::fromWCharArray(jobs[i].pDocument) == title)
            ids.insert(jobs[i].JobId);
    return ids;
}

// A status bit and what it says, in words.
struct Bit {
    DWORD bit;
    const char16_t *words;
};

// The words of the bits of `table` that `status` has set.
template <std::size_t N>
QStringList wordsOf(DWORD status, const Bit (&table)[N])
{
    QStringList words;
    for (const Bit &b : table)
        if (status & b.bit)
            words << QString::fromUtf16(b.words);
    return words;
}

// What the job's status bits say, in words, for a status without the
// driver's own text.
QString statusWords(DWORD status)
{
    static constexpr Bit bits[] = {
        {JOB_STATUS_OFFLINE, u"打印机脱机"},          {JOB_STATUS_PAPEROUT, u"打印机缺纸"},
        {JOB_STATUS_ERROR, u"打印任务出错"},          {JOB_STATUS_BLOCKED_DEVQ, u"打印机驱动程序无法打印此任务"},
        {JOB_STATUS_USER_INTERVENTION, u"打印机需要人工处理"}, {JOB_STATUS_DELETED, u"打印任务已被删除"},
        {JOB_STATUS_DELETING, u"打印任务正在被删除"}, {JOB_STATUS_PAUSED, u"打印任务已暂停"},
    };
    return wordsOf(status, bits).join(QStringLiteral("，"));
}

// The printer's own status bits: a paused printer keeps every job; one off
// line, out of paper or in error cannot print it now. What they say, in
// words, joins the job's.
struct PrinterStatus {
    bool paused = false;
    bool troubled = false;
    QString words;
};

PrinterStatus printerStatus(HANDLE printer)
{
    PrinterStatus status;
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    QByteArray buffer(int(needed), '\0');
    if (needed == 0 || !GetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(buffer.data()), needed, &needed))
        return status;
    const DWORD bits = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.constData())->Status;
    static constexpr Bit troubles[] = {
        {PRINTER_STATUS_OFFLINE, u"打印机脱机"},       {PRINTER_STATUS_NOT_AVAILABLE, u"打印机不可用"},
        {PRINTER_STATUS_ERROR, u"打印机出错"},         {PRINTER_STATUS_PAPER_OUT, u"打印机缺纸"},
        {PRINTER_STATUS_PAPER_JAM, u"打印机卡纸"},     {PRINTER_STATUS_DOOR_OPEN, u"打印机盖板打开"},
        {PRINTER_STATUS_NO_TONER, u"打印机缺墨或缺碳粉"}, {PRINTER_STATUS_USER_INTERVENTION, u"打印机需要人工处理"},
        {PRINTER_STATUS_SERVER_UNKNOWN, u"找不到打印服务器"},
    };
    QStringList words = wordsOf(bits, troubles);
    status.troubled = !words.isEmpty();
    if (bits & PRINTER_STATUS_PAUSED) {
        status.paused = true;
        words << QStringLiteral("打印机已暂停");
    }
    status.words = words.join(QStringLiteral("，"));
    return status;
}

}  // namespace

QString spool(const Document &document, const roll::Page &page, SpooledJob &job)
{
    const bool byDefault = document.printer.isEmpty();
    const QPrinterInfo info = byDefault ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(document.printer);
    if (info.isNull())
        return byDefault ? QStringLiteral("没有设置默认打印机，或打印服务（Print Spooler）没有运行。")
                         : notInstalled(document) + QStringLiteral("\n如果打印机已经安装，请检查打印服务（Print Spooler）是否在运行。");
    const QString name = info.printerName();
    if (info.state() == QPrinter::Error)
        return QStringLiteral("%1“%2”处于错误状态，%3没有送出。").arg(document.calledAs, name, document.paper);

    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(document.title);
    if (!printer.isValid())
        return QStringLiteral("%1“%2”不可用。").arg(document.calledAs, name);
    fitPaper(printer, info, page);
    const QSet<DWORD> before = jobsNamed(name, document.title);
    if (!roll::printPage(printer, page) || printer.printerState() == QPrinter::Error)
        return QStringLiteral("打印机“%1”没有接受打印任务（无法开始或完成打印文档）。").arg(name);

    // The new job of that name; a job already printed and gone is not found,
    // and then there is nothing to follow.
    job = {name, 0};
    for (DWORD id : jobsNamed(name, document.title) - before)
        job.id = std::max(job.id, int(id));
    return {};
}

JobLook lookAtJob(const SpooledJob &job)
{
    JobLook look;
    const PrinterHandle handle(job.printer);
    if (!handle.get())
        return look;
    // The spooler drops a job from its queue once it is printed.
    DWORD needed = 0;
    if (!GetJobW(handle.get(), DWORD(job.id), 2, nullptr, 0, &needed) && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        look.finished = GetLastError() == ERROR_INVALID_PARAMETER;
        return look;
    }
    QByteArray buffer(int(needed), '\0');
    if (needed == 0 ||
        !GetJobW(handle.get(), DWORD(job.id), 2, reinterpret_cast<LPBYTE>(buffer.data()), needed, &needed)) {
        look.finished = GetLastError() == ERROR_INVALID_PARAMETER;
        return look;
    }
    const auto *info = reinterpret_cast<const JOB_INFO_2W *>(buffer.constData());
    const DWORD status = info->Status;
    if (status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) {
        look.finished = true;
        return look;
    }
    const PrinterStatus printer = printerStatus(handle.get());
    look.failed = (status & (JOB_STATUS_ERROR | JOB_STATUS_BLOCKED_DEVQ | JOB_STATUS_DELETED | JOB_STATUS_DELETING)) ||
                  printer.paused;
    look.troubled = (status & (JOB_STATUS_OFFLINE | JOB_STATUS_PAPEROUT | JOB_STATUS_USER_INTERVENTION |
                               JOB_STATUS_PAUSED)) ||
                    printer.troubled;
    const QString driverSays = info->pStatus ? QString::fromWCharArray(info->pStatus).trimmed() : QString();
    QStringList reasons{driverSays.isEmpty() ? statusWords(status) : driverSays, printer.words};
    reasons.removeAll(QString());
    look.reason = reasons.join(QStringLiteral("；"));
    return look;
}

}  // namespace bill
