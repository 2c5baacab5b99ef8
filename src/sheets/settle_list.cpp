#include "sheets/settle_list.h"

#include "common/caption_fit.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

namespace {

constexpr double step = 0.25;  // points between two sizes tried

QString oneLine(QString text)
{
    return text.replace(u'\r', u' ').replace(u'\n', u' ');
}

}  // namespace

SettleList::SettleList(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
}

void SettleList::clear()
{
    m_lines.clear();
    m_rows.clear();
    update();
}

void SettleList::printRow(const QString &name, const QString &amount)
{
    m_lines.append(name + QStringLiteral("   ") + amount);
    m_rows.append({oneLine(name), oneLine(amount)});
    update();
}

// The box's own font, or the largest smaller size in which the lines fit
// below each other and the widest amount, after a space, fits beside the
// start of a name.
QFont SettleList::listFont() const
{
    QFont f = font();
    const double floor = std::min(fit::floorPoints, f.pointSizeF());
    const QRect area = contentsRect();
    auto fits = [&](const QFontMetricsF &metrics) {
        if (m_rows.size() * metrics.lineSpacing() > area.height())
            return false;
        for (const auto &[name, amount] : m_rows)
            if (metrics.horizontalAdvance(QStringLiteral(" ") + amount) +
                    metrics.horizontalAdvance(QStringLiteral("…")) > area.width())
                return false;
        return true;
    };
    for (double points = f.pointSizeF(); points - step >= floor && !fits(QFontMetricsF(f));) {
        points -= step;
        f.setPointSizeF(points);
    }
    return f;
}

double SettleList::lineHeight() const
{
    return QFontMetricsF(listFont()).lineSpacing();
}

double SettleList::nameWidth() const
{
    const QFontMetricsF metrics(listFont());
    double widest = 0;
    for (const auto &[name, amount] : m_rows)
        widest = std::max(widest, metrics.horizontalAdvance(QStringLiteral(" ") + amount));
    return std::max(0.0, contentsRect().width() - widest);
}

QList<SettleList::DrawnRow> SettleList::drawnRows() const
{
    const QFontMetricsF metrics(listFont());
    const double width = nameWidth();
    QList<DrawnRow> drawn;
    for (const auto &[name, amount] : m_rows) {
        const QString shown = metrics.elidedText(name, Qt::ElideRight, width);
        drawn.append({shown, amount, shown != name});
    }
    return drawn;
}

void SettleList::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(listFont());
    const double height = lineHeight(), names = nameWidth();
    double top = area.top();
    for (const DrawnRow &row : drawnRows()) {
        if (top > area.bottom())
            break;
        painter.drawText(QRectF(area.left(), top, names, height), Qt::AlignLeft | Qt::AlignTop,
                         row.name);
        painter.drawText(QRectF(area.left() + names, top, area.width() - names, height),
                         Qt::AlignRight | Qt::AlignTop, row.amount);
        top += height;
    }
}

bool SettleList::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QFrame::event(event);
    // The whole text of a line drawn shortened, where the pointer rests on it.
    const auto *help = static_cast<QHelpEvent *>(event);
    const qsizetype index =
        qsizetype((help->pos().y() - contentsRect().top()) / lineHeight());
    const QList<DrawnRow> drawn = drawnRows();
    if (help->pos().y() >= contentsRect().top() && index < drawn.size() && drawn[index].elided)
        QToolTip::showText(help->globalPos(), m_lines[index], this);
    else
        QToolTip::hideText();
    return true;
}
