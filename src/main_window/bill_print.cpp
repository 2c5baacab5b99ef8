#include "main_window/bill_print.h"

#include "common/design.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextBoundaryFinder>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace bill {

namespace {

// Receipt rolls are 44 to 112 mm wide; a wider default paper is a sheet
// (A4, Letter, ...), printed on its own size whatever else the printer takes.
constexpr double widestRollMillimetres = 120;

double inkWidth(const QFontMetricsF &metrics, QStringView text)
{
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);  // spaces at a row's end leave no ink
    return metrics.horizontalAdvance(text.toString());
}

}  // namespace

QStringList printLines(const QString &printableText)
{
    QString text = printableText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text.split(u'\n');
}

QFont printFont()
{
    return design::font(design::Face::SongTi, 9);
}

QString documentName()
{
    return QStringLiteral("Tavelko 清单");
}

QStringList wrapLine(const QString &line, const QFontMetricsF &metrics, double width, double indent)
{
    QStringList rows;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, line);
    auto pastSpaces = [&line](qsizetype at) {
        while (at < line.size() && line[at] == u' ')
            ++at;
        return at;
    };
    qsizetype start = 0;
    double available = width;
    while (start < line.size()) {
        // The characters that fit, added up one by one (at least one, so
        // that every row makes progress), then measured together as drawn.
        QList<qsizetype> ends;
        characters.setPosition(start);
        double sum = 0;
        for (qsizetype from = start, to; (to = characters.toNextBoundary()) > 0; from = to) {
            sum += metrics.horizontalAdvance(line.mid(from, to - from));
            if (sum > available && !ends.isEmpty())
                break;
            ends << to;
        }
        while (ends.size() > 1 && inkWidth(metrics, QStringView(line).mid(start, ends.back() - start)) > available)
            ends.removeLast();
        qsizetype cut = ends.back();
        if (pastSpaces(cut) == line.size())
            break;  // the rest fits: what is left over is spaces

        // Prefer the last space within what fits; the spaces stay at the end
        // of this row, where they leave no ink.
        qsizetype space = cut;
        while (space > start && line[space] != u' ' && line[space - 1] != u' ')
            --space;
        while (space > start && line[space - 1] == u' ')
            --space;
        if (space > start)
            cut = pastSpaces(space);
        rows << line.mid(start, cut - start);
        start = cut;
        available = width - indent;
    }
    rows << line.mid(start);
    return rows;
}

QList<PrintedRow> layOut(const QString &printableText, const QFontMetricsF &metrics, QSizeF printable)
{
    const double lineHeight = metrics.lineSpacing();
    // Two characters in, but never so far that little room is left.
    const double indent = std::min(2 * metrics.horizontalAdvance(QStringLiteral("中")), printable.width() / 4);
    QList<PrintedRow> rows;
    int page = 0;
    double top = 0;
    for (const QString &line : printLines(printableText)) {
        const QStringList pieces = wrapLine(line, metrics, printable.width(), indent);
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (top > 0 && top + lineHeight > printable.height()) {
                ++page;
                top = 0;
            }
            rows.append({page, QPointF(i == 0 ? 0 : indent, top), pieces[i]});
            top += lineHeight;
        }
    }
    return rows;
}

double printedHeight(QPrinter &printer, double printableWidth, const QString &printableText)
{
    const double toMillimetres = 25.4 / printer.resolution();
    const QFontMetricsF metrics(printFont(), &printer);
    // A pixel narrower than the page will be: rounding can only add rows here.
    const QSizeF printable(printableWidth / toMillimetres - 1, std::numeric_limits<double>::max());
    return layOut(printableText, metrics, printable).size() * metrics.lineSpacing() * toMillimetres;
}

void fitPaper(QPrinter &printer, const QPrinterInfo &info, const QString &printableText)
{
    const QPageSize paper = info.defaultPageSize();
    if (info.isNull() || !paper.isValid())
        return;

    // The printer's own margins for a paper come from a printer of its kind.
    QPrinter native(info, QPrinter::HighResolution);
    native.setPageOrientation(QPageLayout::Portrait);
    native.setPageSize(paper);

    // Sizes in millimetres: a printer's sizes come to Qt in whole points,
    // and a roll is a whole (or half) number of millimetres wide.
    const QSizeF size = paper.size(QPageSize::Millimeter);
    const QSizeF least = info.minimumPhysicalPageSize().size(QPageSize::Millimeter);
    const QSizeF most = info.maximumPhysicalPageSize().size(QPageSize::Millimeter);
    const double width = std::round(size.width() * 2) / 2;
    const bool roll = info.supportsCustomPageSizes() && width <= widestRollMillimetres
                      && width >= least.width() - 0.5 && width <= most.width() + 0.5 && most.height() > 0;
    if (roll) {
        auto rollPage = [&](double height) {
            return QPageSize(QSizeF(width, std::max(least.height(), std::min(height, most.height()))),
                             QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
        };
        native.setPageSize(rollPage(size.height()));  // the margins of a custom length
        const QPageLayout custom = native.pageLayout();
        const QMarginsF margins = custom.margins(QPageLayout::Millimeter);

        const double bill = printedHeight(printer, custom.paintRect(QPageLayout::Millimeter).width(), printableText);
        native.setPageSize(rollPage(std::ceil(margins.top() + bill + margins.bottom() + 0.5)));
    }
    printer.setPageLayout(native.pageLayout());
}

bool printText(QPrinter &printer, const QString &printableText)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    painter.setFont(printFont());
    const QFontMetricsF metrics(painter.font(), &printer);
    const QSizeF printable = printer.pageRect(QPrinter::DevicePixel).size();
    int page = 0;
    for (const PrintedRow &row : layOut(printableText, metrics, printable)) {
        if (row.page != page) {
            if (!printer.newPage())
                return false;
            page = row.page;
        }
        painter.drawText(row.topLeft + QPointF(0, metrics.ascent()), row.text);
    }
    return painter.end();
}

namespace {

// How often and for how long an accepted job is looked at. A bill is a page
// or two: a printer that can be reached has it within a few seconds.
constexpr int lookEveryMilliseconds = 500;
constexpr int followMilliseconds = 10000;

void logFailure(const QString &failure)
{
    qWarning().noquote() << QStringLiteral("打印失败：") + failure;  // outlives the message box
}

// Looks at one job on a timer of the window's thread until it is finished,
// has failed, or the time is up; then goes.
class JobFollower : public QObject {
public:
    JobFollower(SpooledJob job, QObject *context, PrintFailure tell)
        : QObject(context), m_job(std::move(job)), m_tell(std::move(tell))
    {
        m_clock.start();
        m_timer.callOnTimeout(this, &JobFollower::look);
        m_timer.start(lookEveryMilliseconds);
    }

private:
    void look()
    {
        const JobLook now = lookAtJob(m_job);
        const bool timeIsUp = m_clock.elapsed() >= followMilliseconds;
        if (now.failed || (timeIsUp && now.troubled && !now.finished)) {
            m_timer.stop();
            const QString reason = now.reason.isEmpty() ? QStringLiteral("没有说明原因") : now.reason;
            const QString failure =
                now.failed ? QStringLiteral("打印机“%1”上的打印任务没有完成，清单没有打印出来。\n打印服务：%2")
                           : QStringLiteral("打印机“%1”无法连接或出错，清单没有打印出来。\n打印服务：%2");
            const QString why = failure.arg(m_job.printer, reason);
            logFailure(why);
            const PrintFailure tell = m_tell;
            deleteLater();  // gone once the cashier has read the message
            tell(why);
        } else if (now.finished || timeIsUp) {
            m_timer.stop();
            qInfo().noquote() << (now.finished ? QStringLiteral("打印任务 %1（%2）已完成。")
                                               : QStringLiteral("打印任务 %1（%2）仍在打印中。"))
                                     .arg(m_job.id)
                                     .arg(m_job.printer);
            deleteLater();
        }
    }

    SpooledJob m_job;
    PrintFailure m_tell;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

}  // namespace

QString printOnDefaultPrinter(const QString &printableText, QObject *context, const PrintFailure &lateFailure)
{
    SpooledJob job;
    const QString failure = spoolOnDefaultPrinter(printableText, job);
    if (!failure.isEmpty())
        logFailure(failure);
    else if (lateFailure && job.id > 0)
        new JobFollower(job, context, lateFailure);
    return failure;
}

}  // namespace bill
