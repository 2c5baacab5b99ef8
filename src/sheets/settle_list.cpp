#include "sheets/settle_list.h"

#include <QPainter>

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

void SettleList::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font());
    int baseline = area.top() + metrics.ascent();
    for (const QString &line : m_lines) {
        if (baseline - metrics.ascent() > area.bottom())
            break;
        painter.drawText(area.left(), baseline, line);
        baseline += metrics.height();
    }
}
