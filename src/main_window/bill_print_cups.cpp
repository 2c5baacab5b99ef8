// Printing where CUPS is the spooler (Linux): Qt lays the bill out into a PDF
// file, and libcups hands that file to the default queue (or the kitchen's),
// so the program learns whether the spooler took the job and, if not, why;
// later it asks the spooler over IPP how the job is doing.

#include "main_window/bill_print_cups.h"

#include "main_window/roll_layout.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>

#include <cups/cups.h>

#include <algorithm>
#include <iterator>

namespace bill {

namespace {

// What a failed request of the spooler means, in Chinese; %1 is the printer.
struct Reason {
    ipp_status_t status;
    const char16_t *text;
};

constexpr Reason reasons[] = {
    {IPP_STATUS_ERROR_SERVICE_UNAVAILABLE, u"无法连接打印服务（CUPS），请检查打印服务是否已启动。"},
    {IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS, u"打印机“%1”拒绝接收打印任务。"},
    {IPP_STATUS_ERROR_PRINTER_IS_DEACTIVATED, u"打印机“%1”已停用。"},
    {IPP_STATUS_ERROR_NOT_FOUND, u"打印服务中找不到打印机“%1”。"},
    {IPP_STATUS_ERROR_FORBIDDEN, u"没有使用打印机“%1”的权限。"},
    {IPP_STATUS_ERROR_NOT_AUTHENTICATED, u"没有使用打印机“%1”的权限。"},
    {IPP_STATUS_ERROR_NOT_AUTHORIZED, u"没有使用打印机“%1”的权限。"},
    {IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED, u"没有使用打印机“%1”的权限。"},
    {IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED, u"打印机“%1”不接受 PDF 文档。"},
    {IPP_STATUS_ERROR_BUSY, u"打印服务正忙，请稍后再试。"},
    {IPP_STATUS_ERROR_TOO_MANY_JOBS, u"打印机“%1”的打印任务已满，请稍后再试。"},
};

// The spooler's last answer, kept before another request replaces it.
struct Answer {
    ipp_status_t status = IPP_STATUS_OK;
    QString detail;

    static Answer last() { return {cupsLastError(), QString::fromUtf8(cupsLastErrorString())}; }
};

QString explain(const Answer &answer, const QString &printer, const QString &printerSays = {})
{
    const auto known = std::find_if(std::begin(reasons), std::end(reasons),
                                    [&](const Reason &r) { return r.status == answer.status; });
    QString text;
    if (known != std::end(reasons)) {
        text = QString::fromUtf16(known->text);
        if (text.contains(QLatin1String("%1")))
            text = text.arg(printer);
    } else {
        // A rarer answer: CUPS's own words say what it was.
        text = QStringLiteral("打印服务没有接受打印任务（CUPS：%1）。").arg(answer.detail);
    }
    if (!printerSays.isEmpty())
        text += QStringLiteral("\n打印机状态：%1").arg(printerSays);
    return text;
}

// The printer's own word on its state ("printer-state-message"), such as the
// reason given when it was stopped or set to refuse jobs.
QString printerSays(const cups_dest_t &dest)
{
    const char *uri = cupsGetOption("printer-uri-supported", dest.num_options, dest.options);
    if (!uri)
        return {};
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-state-message");
    ipp_t *response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    QString message;
    if (ipp_attribute_t *attribute = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT))
        message = QString::fromUtf8(ippGetString(attribute, 0, nullptr)).trimmed();
    ippDelete(response);
    return message;
}

// One IPP request's answer, freed with it.
class Response {
public:
    explicit Response(ipp_t *request) : m_response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/")) {}
    ~Response() { ippDelete(m_response); }
    Response(const Response &) = delete;
    Response &operator=(const Response &) = delete;

    bool ok() const { return m_response && ippGetStatusCode(m_response) <= IPP_STATUS_OK_CONFLICTING; }
    int integer(const char *name) const
    {
        ipp_attribute_t *a = ippFindAttribute(m_response, name, IPP_TAG_ZERO);
        return a ? ippGetInteger(a, 0) : 0;
    }
    QString text(const char *name) const
    {
        ipp_attribute_t *a = ippFindAttribute(m_response, name, IPP_TAG_ZERO);
        return a ? QString::fromUtf8(ippGetString(a, 0, nullptr)).trimmed() : QString();
    }
    QStringList keywords(const char *name) const
    {
        QStringList all;
        ipp_attribute_t *a = ippFindAttribute(m_response, name, IPP_TAG_ZERO);
        for (int i = 0; a && i < ippGetCount(a); ++i)
            all << QString::fromUtf8(ippGetString(a, i, nullptr));
        all.removeAll(QStringLiteral("none"));
        return all;
    }

private:
    ipp_t *m_response;
};

ipp_t *request(ipp_op_t operation, const char *uriName, const QByteArray &uri, const char *attributes[], int count)
{
    ipp_t *r = ippNewRequest(operation);
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, uriName, nullptr, uri.constData());
    ippAddStrings(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", count, nullptr, attributes);
    return r;
}

// Printer states that mean the printer cannot take the job now: it cannot
// be reached, is off line or in error. Reports and warnings (toner low) do
// not stop a job.
bool troubledReason(const QString &reason)
{
    for (const char *start : {"connecting-to-device", "offline", "timed-out", "shutdown"})
        if (reason.startsWith(QLatin1String(start)))
            return true;
    return reason.endsWith(QLatin1String("-error"));
}

class Destinations {
public:
    Destinations() : count(cupsGetDests(&list)), lookup(Answer::last()) {}
    ~Destinations() { cupsFreeDests(count, list); }
    Destinations(const Destinations &) = delete;
    Destinations &operator=(const Destinations &) = delete;

    cups_dest_t *list = nullptr;
    const int count;
    const Answer lookup;
};

}  // namespace

QString spool(const Document &document, const roll::Page &page, SpooledJob &spooled)
{
    const Destinations destinations;
    // Qt names an instance of a queue "queue/instance".
    const QByteArray wanted = document.printer.toUtf8();
    const qsizetype slash = wanted.indexOf('/');
    const QByteArray queue = slash < 0 ? wanted : wanted.left(slash);
    const QByteArray instance = slash < 0 ? QByteArray() : wanted.mid(slash + 1);
    const cups_dest_t *dest =
        cupsGetDest(wanted.isEmpty() ? nullptr : queue.constData(), instance.isEmpty() ? nullptr : instance.constData(),
                    destinations.count, destinations.list);
    if (!dest) {
        // With no printer at all CUPS answers "not found"; any other failure
        // means the spooler itself could not be asked.
        const ipp_status_t status = destinations.lookup.status;
        if (destinations.count == 0 && status != IPP_STATUS_OK && status != IPP_STATUS_ERROR_NOT_FOUND)
            return explain(destinations.lookup, document.printer);
        if (!document.printer.isEmpty())
            return notInstalled(document);
        return destinations.count == 0 ? QStringLiteral("没有安装任何打印机。")
                                       : QStringLiteral("没有设置默认打印机。");
    }
    const QString name = QString::fromUtf8(dest->name);

    // A stopped queue would keep the bill until someone restarts it, long
    // after the customer has gone: say so instead of sending it.
    const char *state = cupsGetOption("printer-state", dest->num_options, dest->options);
    if (state && QByteArray(state) == QByteArray::number(int(IPP_PSTATE_STOPPED))) {
        QString text = QStringLiteral("%1“%2”已停止，%3没有送出。").arg(document.calledAs, name, document.paper);
        const QString says = printerSays(*dest);
        if (!says.isEmpty())
            text += QStringLiteral("\n打印机状态：%1").arg(says);
        return text;
    }

    const QTemporaryDir folder;
    if (!folder.isValid())
        return QStringLiteral("无法建立打印用的临时文件夹：%1").arg(folder.errorString());
    const QString file = folder.filePath(QStringLiteral("bill.pdf"));
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(file);
    pdf.setDocName(document.title);
    fitPaper(pdf, QPrinterInfo::printerInfo(document.printer.isEmpty() ? name : document.printer), page);
    if (!roll::printPage(pdf, page))
        return QStringLiteral("无法生成打印文档“%1”。").arg(QDir::toNativeSeparators(file));

    // The paper the page was laid out on ("A4", "80x297mm", "Custom.80x68mm"),
    // so that the driver neither scales nor turns the page, nor feeds another
    // length.
    cups_option_t *options = nullptr;
    int optionCount = 0;
    const QByteArray media = pdf.pageLayout().pageSize().key().toUtf8();
    if (!media.isEmpty())
        optionCount = cupsAddOption("media", media.constData(), optionCount, &options);
    const int job = cupsPrintFile(dest->name, QFile::encodeName(file).constData(),
                                  document.title.toUtf8().constData(), optionCount, options);
    const Answer answer = Answer::last();
    cupsFreeOptions(optionCount, options);
    if (job > 0) {
        spooled = {name, job};
        return {};
    }
    return explain(answer, name, answer.status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS ? printerSays(*dest) : QString());
}

JobLook lookAtJob(const SpooledJob &job)
{
    char jobUri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, jobUri, sizeof jobUri, "ipp", nullptr, "localhost", 0, "/jobs/%d", job.id);
    const char *jobAttributes[] = {"job-state", "job-state-reasons", "job-printer-state-message", "job-printer-uri"};
    const Response jobNow(request(IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", jobUri, jobAttributes, 4));
    if (!jobNow.ok())
        return {};  // the spooler cannot be asked now: nothing known
    JobState seen;
    seen.job = jobNow.integer("job-state");
    if (seen.job == IPP_JSTATE_COMPLETED)
        return judgeJob(seen);  // the printer need not be asked

    const char *printerAttributes[] = {"printer-state", "printer-state-reasons", "printer-state-message"};
    const Response printer(request(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri",
                                   jobNow.text("job-printer-uri").toUtf8(), printerAttributes, 3));
    seen.jobReasons = jobNow.keywords("job-state-reasons");
    seen.jobMessage = jobNow.text("job-printer-state-message");
    seen.printer = printer.integer("printer-state");
    seen.printerReasons = printer.keywords("printer-state-reasons");
    seen.printerMessage = printer.text("printer-state-message");
    return judgeJob(seen);
}

JobLook judgeJob(const JobState &seen)
{
    JobLook look;
    if (seen.job == IPP_JSTATE_COMPLETED) {
        look.finished = true;
        return look;
    }
    const QString &says = seen.printerMessage;
    const QStringList &reasons = seen.printerReasons;

    // A job that ended without printing, or that waits on a stopped queue,
    // will not print by itself.
    look.failed = seen.job == IPP_JSTATE_STOPPED || seen.job == IPP_JSTATE_CANCELED ||
                  seen.job == IPP_JSTATE_ABORTED || seen.printer == IPP_PSTATE_STOPPED;
    // CUPS's network backends keep retrying a printer they cannot reach: the
    // job stays "processing" (later ones "pending" behind it) while the
    // queue's message says why, and its state reasons may stay "none".
    look.troubled = std::any_of(reasons.begin(), reasons.end(), troubledReason) ||
                    ((seen.job == IPP_JSTATE_PROCESSING || seen.job == IPP_JSTATE_PENDING) && !says.isEmpty());
    look.reason = !says.isEmpty()               ? says
                  : !seen.jobMessage.isEmpty() ? seen.jobMessage
                                               : (reasons + seen.jobReasons).join(QStringLiteral(", "));
    return look;
}

}  // namespace bill
