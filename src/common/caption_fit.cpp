#include "common/caption_fit.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace fit {

namespace {

constexpr double step = 0.25;  // points between two sizes tried
const QString ellipsis = QStringLiteral("…");
constexpr char ownToolTip[] = "fit.ownToolTip";

QStringList captionLines(const QString &caption)
{
    QString text = caption;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text.split(u'\n');
}

// Breaks `line` at its spaces so that each piece fits `width` where it can;
// a word wider than `width` stays whole on a line of its own.
QStringList wrapAtSpaces(const QString &line, const QFontMetricsF &metrics, double width)
{
    QStringList pieces;
    const QStringList words = line.split(u' ');
    QString current = words.first();
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString joined = current + u' ' + words[i];
        if (metrics.horizontalAdvance(joined) <= width || current.isEmpty()) {
            current = joined;
        } else {
            pieces << current;
            current = words[i];
        }
    }
    pieces << current;
    return pieces;
}

// Breaks `line` where text may break, as Qt breaks a label's words: at
// spaces, and between Chinese characters.
QStringList wrapAsText(const QString &line, const QFont &font, double width)
{
    QTextLayout layout(line, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QStringList pieces;
    layout.beginLayout();
    for (QTextLine piece = layout.createLine(); piece.isValid(); piece = layout.createLine()) {
        piece.setLineWidth(width);
        QString text = line.mid(piece.textStart(), piece.textLength());
        while (text.endsWith(u' '))  // the space a line breaks at
            text.chop(1);
        pieces << text;
    }
    layout.endLayout();
    return pieces.isEmpty() ? QStringList{line} : pieces;
}

struct Layout {
    QStringList lines;
    double widest = 0;
    double height = 0;
};

Layout layOut(const QString &caption, const QFont &font, double width, Wrap wrap)
{
    const QFontMetricsF metrics(font);
    Layout layout;
    for (const QString &line : captionLines(caption)) {
        if (wrap == Wrap::AtSpaces)
            layout.lines << wrapAtSpaces(line, metrics, width);
        else if (wrap == Wrap::AsText)
            layout.lines << wrapAsText(line, font, width);
        else
            layout.lines << line;
    }
    for (const QString &line : std::as_const(layout.lines))
        layout.widest = std::max(layout.widest, metrics.horizontalAdvance(line));
    layout.height = layout.lines.size() * metrics.lineSpacing();
    return layout;
}

bool fits(const Layout &layout, const QSize &area)
{
    return layout.widest <= area.width() &&
           (layout.lines.size() == 1 || layout.height <= area.height());
}

QFont sized(const QFont &font, double points)
{
    QFont f = font;
    f.setPointSizeF(points);
    return f;
}

// Floor-sized lines cut to the area: each line with "…" at its end, and the
// lines beyond the area's height left out, the last one kept ending in "…".
QStringList elided(QStringList lines, const QFont &font, const QSize &area,
                   Qt::TextElideMode mode)
{
    const QFontMetricsF metrics(font);
    const qsizetype room =
        lines.size() == 1 ? 1 : std::max(qsizetype(1), qsizetype(area.height() / metrics.lineSpacing()));
    const bool cutLines = lines.size() > room;
    lines = lines.mid(0, room);
    for (QString &line : lines)
        line = metrics.elidedText(line, mode, area.width());
    if (cutLines && !lines.last().endsWith(ellipsis)) {
        QString &last = lines.last();
        while (!last.isEmpty() && metrics.horizontalAdvance(last + ellipsis) > area.width())
            last.chop(1);
        last += ellipsis;
    }
    return lines;
}

}  // namespace

Fitted fitCaption(const QString &caption, const QFont &font, const QSize &area, Wrap wrap,
                  Qt::TextElideMode elide)
{
    const double designPoints = font.pointSizeF();
    const Layout designed = layOut(caption, font, area.width(), wrap);
    if (fits(designed, area) || designPoints <= 0)
        return {font, designed.lines, true, false};

    // Text grows about in proportion to its size: start near the size that
    // should just fit, then step until the largest size that does.
    const double floor = std::min(floorPoints, designPoints);
    double scale = area.width() / std::max(designed.widest, 1.0);
    if (designed.lines.size() > 1)
        scale = std::min(scale, area.height() / std::max(designed.height, 1.0));
    double points = std::max(floor, std::min(std::floor(designPoints * scale / step) * step,
                                             designPoints - step));
    auto fitsAt = [&](double p) {
        return fits(layOut(caption, sized(font, p), area.width(), wrap), area);
    };
    if (fitsAt(points)) {
        while (points + step < designPoints && fitsAt(points + step))
            points += step;
    } else {
        while (points - step >= floor && !fitsAt(points))
            points -= step;
    }
    const QFont smaller = sized(font, points);
    const Layout layout = layOut(caption, smaller, area.width(), wrap);
    if (fits(layout, area))
        return {smaller, layout.lines, false, false};
    return {smaller, elided(layout.lines, smaller, area, elide), false, true};
}

QRect uncoveredRect(const QWidget &control, int lineHeight)
{
    const QWidget *parent = control.parentWidget();
    if (!parent || control.isWindow())
        return control.rect();
    const QRect own = control.geometry();
    const QRect band(own.left(), own.top(), own.width(), std::min(own.height(), lineHeight));
    int right = own.left() + own.width();
    bool above = false;  // siblings after this control lie above it
    for (const QObject *child : parent->children()) {
        if (child == &control) {
            above = true;
            continue;
        }
        const auto *sibling = qobject_cast<const QWidget *>(child);
        if (!above || !sibling || sibling->isWindow() || sibling->isHidden())
            continue;
        // A label draws nothing but its caption: a blank one covers nothing.
        if (const auto *label = qobject_cast<const QLabel *>(sibling);
            label && label->text().trimmed().isEmpty())
            continue;
        const QRect other = sibling->geometry();
        if (other.left() > own.left() && other.intersects(band))
            right = std::min(right, other.left());
    }
    return QRect(0, 0, right - own.left(), own.height());
}

void drawFitted(QPainter &painter, const QRectF &area, const Fitted &fitted,
                Qt::Alignment alignment)
{
    painter.setFont(fitted.font);
    const double lineHeight = QFontMetricsF(fitted.font).lineSpacing();
    const double height = fitted.lines.size() * lineHeight;
    double top = area.top();
    if (alignment & Qt::AlignBottom)
        top = area.bottom() - height;
    else if (alignment & Qt::AlignVCenter)
        top = area.top() + (area.height() - height) / 2;
    const Qt::Alignment horizontal = alignment & Qt::AlignHorizontal_Mask;
    for (const QString &line : fitted.lines) {
        painter.drawText(QRectF(area.left(), top, area.width(), lineHeight),
                         int(horizontal | Qt::AlignTop), line);
        top += lineHeight;
    }
}

void showWholeCaption(QWidget &control, const Fitted &fitted, const QString &caption)
{
    const bool ours = control.property(ownToolTip).toBool();
    if (fitted.elided && (ours || control.toolTip().isEmpty())) {
        if (control.toolTip() != caption)
            control.setToolTip(caption);
        if (!ours)
            control.setProperty(ownToolTip, true);
    } else if (!fitted.elided && ours) {
        control.setToolTip(QString());
        control.setProperty(ownToolTip, false);
    }
}

void drawButtonCaption(QPainter &painter, QWidget &button, const QRect &area,
                       const QString &caption)
{
    const Wrap wrap = button.property(wordsWhole).toBool() ? Wrap::AtSpaces : Wrap::AsText;
    const Fitted fitted = fitCaption(caption, button.font(), area.size(), wrap);
    showWholeCaption(button, fitted, caption);
    painter.save();
    painter.setClipRect(button.rect());
    drawFitted(painter, area, fitted, Qt::AlignCenter);
    painter.restore();
}

QRect FittingLabel::captionArea() const
{
    return contentsRect() & uncoveredRect(*this, QFontMetrics(font()).height());
}

Fitted FittingLabel::fitted() const
{
    return fitCaption(text(), font(), captionArea().size(), Wrap::LineBreaksOnly);
}

void FittingLabel::paintEvent(QPaintEvent *event)
{
    const Fitted caption = fitted();
    showWholeCaption(*this, caption, text());
    if (caption.asDesigned) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QRect area = captionArea();
    painter.setClipRect(area);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                   foregroundRole()));
    drawFitted(painter, area, caption, alignment());
}

}  // namespace fit
