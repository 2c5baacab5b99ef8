#include "sheets/settle_list.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

SettleList::SettleList(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
}

void SettleList::clear()
{
    m_lines.clear();
    update();
}

void SettleList::printLine(const QString &line)
{
    m_lines.append(line);
    update();
}

// The box's own font, or a smaller size of it when the lines do not all fit
// below each other.
QFont SettleList::listFont() const
{
    const QFont own = font();
    const double height = contentsRect().height();
    const double needed = m_lines.size() * QFontMetricsF(own).lineSpacing();
    if (needed <= height || own.pointSizeF() <= fit::floorPoints)
        return own;
    QFont smaller = own;
    double points = own.pointSizeF() * height / needed;
    do {
        smaller.setPointSizeF(std::max(points, fit::floorPoints));
        points -= 0.25;
    } while (points >= fit::floorPoints &&
             m_lines.size() * QFontMetricsF(smaller).lineSpacing() > height);
    return smaller;
}

double SettleList::lineHeight() const
{
    return QFontMetricsF(listFont()).lineSpacing();
}

QList<fit::Fitted> SettleList::drawnLines() const
{
    const QFont f = listFont();
    const QSize area(contentsRect().width(), int(QFontMetricsF(f).lineSpacing()));
    QList<fit::Fitted> drawn;
    for (QString line : m_lines) {
        line.replace(u'\r', u' ').replace(u'\n', u' ');  // one printed line, one line
        // A line cut keeps its end: the amount to pay.
        drawn << fit::fitCaption(line, f, area, fit::Wrap::LineBreaksOnly, Qt::ElideMiddle);
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
    const double height = lineHeight();
    double top = area.top();
    for (const fit::Fitted &line : drawnLines()) {
        if (top > area.bottom())
            break;
        fit::drawFitted(painter, QRectF(area.left(), top, area.width(), height), line,
                        Qt::AlignLeft | Qt::AlignTop);
        top += height;
    }
}

bool SettleList::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QFrame::event(event);
    // The whole text of a line drawn cut, where the pointer rests on it.
    const auto *help = static_cast<QHelpEvent *>(event);
    const qsizetype index =
        qsizetype((help->pos().y() - contentsRect().top()) / lineHeight());
    const QList<fit::Fitted> drawn = drawnLines();
    if (index >= 0 && index < drawn.size() && drawn[index].elided)
        QToolTip::showText(help->globalPos(), m_lines[index], this);
    else
        QToolTip::hideText();
    return true;
}
