#include "main_window/bill_print.h"

#include "common/design.h"
#include "main_window/roll_layout.h"

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

Document billDocument()
{
    return {QString(), QStringLiteral("默认打印机"), QStringLiteral("清单"), documentName()};
}

Document kitchenDocument(const QString &printer)
{
    return {printer, QStringLiteral("厨房打印机"), QStringLiteral("后厨单"), QStringLiteral("Tavelko 后厨单")};
}

QString notInstalled(const Document &document)
{
    return QStringLiteral("%1“%2”没有安装，%3没有送出。请检查打印机，或在“店铺信息”中另选一台。")
        .arg(document.calledAs, document.printer, document.paper);
}

double kitchenPoints(double paperWidth)
{
    // A printer gives its paper sizes in whole points: 80 mm comes as 226
    // or 227 pt, 79.7 or 80.1 mm.
    return paperWidth > 0 && paperWidth < 79.5 ? 14 : 16;
}

double kitchenPoints(const QPrinterInfo &printer)
{
    return kitchenPoints(paperWidth(printer));
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

double printedHeight(QPrinter &printer, double printableWidth, const QString &printableText, const QFont &font)
{
    return roll::printedHeight(printer, printableWidth, roll::textPage(printableText, font.pointSizeF()));
}

double paperWidth(const QPrinterInfo &printer)
{
    const QPageSize paper = printer.defaultPageSize();
    return printer.isNull() || !paper.isValid() ? 0.0 : paper.size(QPageSize::Millimeter).width();
}

void fitPaper(QPrinter &printer, const QPrinterInfo &info, const roll::Page &page)
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

        const double rows = roll::printedHeight(printer, custom.paintRect(QPageLayout::Millimeter).width(), page);
        native.setPageSize(rollPage(std::ceil(margins.top() + rows + margins.bottom() + 0.5)));
    }
    printer.setPageLayout(native.pageLayout());
}

bool printText(QPrinter &printer, const QString &printableText, const QFont &font)
{
    return roll::printPage(printer, roll::textPage(printableText, font.pointSizeF()));
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
    JobFollower(SpooledJob job, const Document &document, QObject *context, PrintFailure tell)
        : QObject(context), m_job(std::move(job)), m_tell(std::move(tell)),
          // A job is on one printer, named as such whichever it is by default.
          m_calledAs(document.printer.isEmpty() ? QStringLiteral("打印机") : document.calledAs),
          m_paper(document.paper)
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
                now.failed ? QStringLiteral("%1“%2”上的打印任务没有完成，%3没有打印出来。\n打印服务：%4")
                           : QStringLiteral("%1“%2”无法连接或出错，%3没有打印出来。\n打印服务：%4");
            const QString why = failure.arg(m_calledAs, m_job.printer, m_paper, reason);
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
    QString m_calledAs;
    QString m_paper;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

QString print(const Document &document, roll::Page page, QObject *context, const PrintFailure &lateFailure)
{
    if (page.points <= 0) {
        const QPrinterInfo printer = document.printer.isEmpty() ? QPrinterInfo::defaultPrinter()
                                                                : QPrinterInfo::printerInfo(document.printer);
        page.points = roll::pointsFor(page, paperWidth(printer));
    }
    SpooledJob job;
    QString failure = spool(document, page, job);
    // The spooler's own sentences may not say which printer they are about.
    const QString named = QStringLiteral("“%1”").arg(document.printer);
    if (!failure.isEmpty() && !document.printer.isEmpty() && !failure.contains(named))
        failure = QStringLiteral("%1%2：%3").arg(document.calledAs, named, failure);
    if (!failure.isEmpty())
        logFailure(failure);
    else if (lateFailure && job.id > 0)
        new JobFollower(job, document, context, lateFailure);
    return failure;
}

}  // namespace

QString printOnDefaultPrinter(const QString &printableText, QObject *context, const PrintFailure &lateFailure)
{
    return print(billDocument(), roll::textPage(printableText, printFont().pointSizeF()), context, lateFailure);
}

QString printOnDefaultPrinter(const roll::Page &page, QObject *context, const PrintFailure &lateFailure)
{
    return print(billDocument(), page, context, lateFailure);
}

QString printOnPrinter(const QString &printerName, roll::Page ticket, double points, QObject *context,
                       const PrintFailure &lateFailure)
{
    if (printerName.isEmpty()) {
        const QString failure = QStringLiteral("没有选定厨房打印机，后厨单没有送出。请在“店铺信息”中选择厨房打印机。");
        logFailure(failure);
        return failure;
    }
    if (!(points > 0 && points <= 72))
        points = kitchenPoints(QPrinterInfo::printerInfo(printerName));
    ticket.points = points;
    return print(kitchenDocument(printerName), ticket, context, lateFailure);
}

}  // namespace bill
