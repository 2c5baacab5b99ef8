#include "common/caption_fit.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPaintEvent>
#include <QTextBoundaryFinder>
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

// The characters of `word` as the eye counts them (a surrogate pair or a
// combining mark stays with its character).
QStringList graphemes(const QString &word)
{
    QStringList pieces;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, word);
    for (qsizetype start = 0, end = finder.toNextBoundary(); end > 0;
         start = end, end = finder.toNextBoundary())
        pieces << word.mid(start, end - start);
    return pieces;
}

// Breaks a word wider than `width` between its characters into as few lines
// as greedy filling needs, as even in length as they fit ("酒水饮料": "酒水"
// over "饮料", not "酒水饮" over "料").
QStringList breakWord(const QString &word, const QFontMetricsF &metrics, double width)
{
    const QStringList chars = graphemes(word);
    QStringList greedy{QString()};
    for (const QString &c : chars) {
        if (!greedy.last().isEmpty() && metrics.horizontalAdvance(greedy.last() + c) > width)
            greedy << QString();
        greedy.last() += c;
    }
    const qsizetype perLine = (chars.size() + greedy.size() - 1) / greedy.size();
    QStringList even;
    for (qsizetype i = 0; i < chars.size(); i += perLine) {
        even << chars.mid(i, perLine).join(QString());
        if (metrics.horizontalAdvance(even.last()) > width)
            return greedy;
    }
    return even.size() == greedy.size() ? even : greedy;
}

// Breaks `line` at its spaces so that each piece fits `width`; a word wider
// than `width` alone is broken between its characters.
QStringList wrapWords(const QString &line, const QFontMetricsF &metrics, double width)
{
    QStringList pieces;
    QString current;
    bool first = true;
    for (const QString &word : line.split(u' ')) {
        const QString joined = first ? word : current + u' ' + word;
        first = false;
        if (metrics.horizontalAdvance(joined) <= width) {
            current = joined;
            continue;
        }
        if (!current.isEmpty())
            pieces << current;
        current = word;
        if (metrics.horizontalAdvance(word) > width) {
            const QStringList broken = breakWord(word, metrics, width);
            pieces << broken.mid(0, broken.size() - 1);
            current = broken.last();
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
        if (wrap == Wrap::Words)
            layout.lines << wrapWords(line, metrics, width);
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

namespace {

bool blank(const QWidget &control)
{
    const auto *label = qobject_cast<const QLabel *>(&control);
    if (!label)
        return false;
    const QString text = label->text();
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
}

// The siblings of `control` that share the band `band` (parent coordinates)
// and can hold text or cover it.
template <typename Visit> void forNeighbours(const QWidget &control, const QRect &band, Visit visit)
{
    const QWidget *parent = control.parentWidget();
    bool above = false;  // siblings after this control lie above it
    for (const QObject *child : parent->children()) {
        if (child == &control) {
            above = true;
            continue;
        }
        const auto *sibling = qobject_cast<const QWidget *>(child);
        if (!sibling || sibling->isWindow() || sibling->isHidden())
            continue;
        QRect other = sibling->geometry();
        if (other.top() > band.bottom() || other.bottom() < band.top() || blank(*sibling))
            continue;
        // A label's text lies in the top of it, as tall as its lines.
        if (const auto *label = qobject_cast<const QLabel *>(sibling))
            other.setHeight(std::min(other.height(),
                                     QFontMetrics(label->font()).height() *
                                         int(label->text().count(u'\n') + 1)));
        if (other.top() < band.bottom() + 1 && other.bottom() >= band.top())
            visit(*sibling, other, above);
    }
}

QRect band(const QWidget &control, int lineHeight)
{
    const QRect own = control.geometry();
    return QRect(own.left(), own.top(), own.width(), std::min(own.height(), lineHeight));
}

QString oneLine(QString text)
{
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    return text;
}

}  // namespace

QRect uncoveredRect(const QWidget &control, int lineHeight)
{
    const QWidget *parent = control.parentWidget();
    if (!parent || control.isWindow())
        return control.rect();
    const QRect own = control.geometry();
    const bool number = isNumber(control);
    int right = own.left() + own.width();
    forNeighbours(control, band(control, lineHeight), [&](const QWidget &sibling, const QRect &other,
                                                          bool above) {
        // A label covers only with its text, and a caption that is no number
        // makes way for a number: it never cuts one short.
        const bool label = qobject_cast<const QLabel *>(&sibling);
        if (label ? (number && !isNumber(sibling)) : !above)
            return;
        if (other.left() > own.left())
            right = std::min(right, other.left());
    });
    return QRect(0, 0, right - own.left(), own.height());
}

void holdsNumber(QLabel *label, NumberRoom room)
{
    auto *fitting = dynamic_cast<FittingLabel *>(label);
    if (!fitting)
        return;
    fitting->m_number = room;
    if (label->parentWidget())
        label->parentWidget()->installEventFilter(label);  // draws it where it spills over
}

bool isNumber(const QWidget &control)
{
    const auto *label = dynamic_cast<const FittingLabel *>(&control);
    return label && label->m_number;
}

PlacedNumber placeNumber(const QLabel &label)
{
    const QFont font = label.font();
    const QString text = oneLine(label.text());
    const QRect own = label.geometry();
    const QFontMetricsF designMetrics(font);
    const QRect line = band(label, int(designMetrics.height()));
    const int designHeight = line.height();

    // The free room: from the nearest control on the left (a caption that is
    // no number counts as far as its text may reach) to the nearest on the
    // right that does not make way.
    double left = own.left();
    double right = label.parentWidget() ? label.parentWidget()->width() : own.right() + 1;
    bool leftBound = false;
    // Two numbers side by side keep some air between them, so that they are
    // not read as one.
    const double air = std::max(2.0, designMetrics.height() / 4);
    forNeighbours(label, line, [&](const QWidget &sibling, const QRect &other, bool) {
        const bool caption = qobject_cast<const QLabel *>(&sibling) && !isNumber(sibling);
        const double apart = isNumber(sibling) ? air : 0;
        if (other.left() > own.left()) {
            if (!caption)
                right = std::min(right, other.left() - apart);
        } else if (other.left() < own.left()) {
            const double reach = caption
                                     ? other.left() + uncoveredRect(sibling, other.height()).width()
                                     : other.left() + other.width() + apart;
            left = leftBound ? std::max(left, reach) : reach;
            leftBound = true;
        }
    });
    left = std::min(left, double(own.left()));
    if (!leftBound)
        left = own.left();

    PlacedNumber placed{font, {}, {}, true};
    const double ownRoom = std::min(double(own.left() + own.width()), right) - own.left();
    const bool fitsOwn =
        text == label.text() && designMetrics.horizontalAdvance(text) <= ownRoom;
    const auto *fitting = dynamic_cast<const FittingLabel *>(&label);
    const NumberRoom room = fitting && fitting->m_number ? *fitting->m_number : NumberRoom::Beside;

    // The largest size whose glyphs fit the room, down to the floor; one still
    // too wide there is drawn whole from the room's left edge.
    QFont f = font;
    double points = font.pointSizeF();
    const double floor = std::min(floorPoints, points);
    QRectF ink = designMetrics.boundingRect(text);
    if (!fitsOwn) {
        while (ink.width() > right - left && points - step >= floor) {
            points -= step;
            f.setPointSizeF(points);
            ink = QFontMetricsF(f).boundingRect(text);
        }
    }
    const QFontMetricsF metrics(f);
    double x = own.left();
    if (fitsOwn) {
        if (label.alignment() & Qt::AlignHCenter)
            x = own.left() + (own.width() - metrics.horizontalAdvance(text)) / 2;
    } else {
        if (room == NumberRoom::Centred)
            x = (left + right) / 2 - (ink.left() + ink.right()) / 2;
        else if (label.alignment() & Qt::AlignHCenter)
            x = own.left() + own.width() / 2.0 - (ink.left() + ink.right()) / 2;
        x = std::max(std::min(x, right - ink.right()), left - ink.left());
    }
    // A smaller size sits in the middle of the line the design size takes.
    const double top = own.top() + (fitsOwn ? 0 : (designHeight - metrics.height()) / 2);
    placed.font = f;
    placed.origin = QPointF(x, top + metrics.ascent());
    placed.ink = ink.translated(placed.origin);
    placed.byLabel = fitsOwn;
    return placed;
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

namespace {

// Three fifths of the way from the text to its background: plainly not a
// caption, and lighter than any ink of one.
QColor hintColour(const QWidget &control)
{
    const QColor text = control.palette().color(QPalette::Active, control.foregroundRole());
    const QColor ground = control.palette().color(QPalette::Active, QPalette::Window);
    auto between = [](int from, int to) { return from + (to - from) * 3 / 5; };
    return QColor(between(text.red(), ground.red()), between(text.green(), ground.green()),
                  between(text.blue(), ground.blue()));
}

QString hintOf(const QWidget &control, const QString &caption)
{
    return caption.trimmed().isEmpty() ? control.property(hint).toString() : QString();
}

}  // namespace

Fitted buttonCaption(const QWidget &button, const QSize &area, const QString &caption)
{
    const Wrap wrap = button.property(wordsWhole).toBool() ? Wrap::Words : Wrap::AsText;
    const QString shown = hintOf(button, caption);
    return fitCaption(shown.isEmpty() ? caption : shown, button.font(), area, wrap);
}

void drawButtonCaption(QPainter &painter, QWidget &button, const QRect &area,
                       const QString &caption)
{
    const Fitted fitted = buttonCaption(button, area.size(), caption);
    const bool hinted = !hintOf(button, caption).isEmpty();
    showWholeCaption(button, hinted ? Fitted{} : fitted, caption);
    painter.save();
    painter.setClipRect(button.rect());
    if (hinted)
        painter.setPen(hintColour(button));
    drawFitted(painter, area, fitted, Qt::AlignCenter);
    painter.restore();
}

QRect FittingLabel::captionArea() const
{
    QRect area = contentsRect() & uncoveredRect(*this, QFontMetrics(font()).height());
    if (isNumber(*this) || !parentWidget())
        return area;
    // A number beside this caption that spills into it: the caption starts
    // after the number, with a little air between them.
    const QRect own = geometry();
    const int air = std::max(2, QFontMetrics(font()).height() / 4);
    forNeighbours(*this, band(*this, QFontMetrics(font()).height()),
                  [&](const QWidget &sibling, const QRect &other, bool) {
                      if (!isNumber(sibling) || other.left() >= own.left())
                          return;
                      const QRectF ink = placeNumber(static_cast<const QLabel &>(sibling)).ink;
                      const int end = int(std::ceil(ink.right())) + air - own.left();
                      if (end > area.left() && ink.bottom() > own.top() && ink.top() < own.bottom())
                          area.setLeft(std::min(end, area.right() + 1));
                  });
    return area;
}

Fitted FittingLabel::fitted() const
{
    const QString shown = hintOf(*this, text());
    return fitCaption(shown.isEmpty() ? text() : shown, font(), captionArea().size(),
                      Wrap::LineBreaksOnly);
}

void FittingLabel::paintEvent(QPaintEvent *event)
{
    const bool hinted = !hintOf(*this, text()).isEmpty();
    if (isNumber(*this) && !hinted) {
        const PlacedNumber placed = placeNumber(*this);
        followNumber(placed);
        showWholeCaption(*this, Fitted{}, text());
        if (placed.byLabel)
            QLabel::paintEvent(event);
        return;  // otherwise the window draws it, beneath the controls beside it
    }
    followNumber({});
    const Fitted caption = fitted();
    const QRect area = captionArea();
    showWholeCaption(*this, hinted ? Fitted{} : caption, text());
    if (caption.asDesigned && !hinted && area.left() == contentsRect().left()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setClipRect(area);
    painter.setPen(hinted ? hintColour(*this)
                          : palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                            foregroundRole()));
    drawFitted(painter, area, caption, alignment());
}

// Where the number spills over its label it is drawn on the window, and the
// captions beside it make way. When its place changes, the window there and
// those captions are painted again.
void FittingLabel::followNumber(const PlacedNumber &placed)
{
    const QRect now = placed.ink.isEmpty() ? QRect() : placed.ink.toAlignedRect();
    if (now == m_drawnBeside || !parentWidget())
        return;
    const QRect changed = (now | m_drawnBeside).adjusted(-2, -2, 2, 2);
    m_drawnBeside = now;
    if (!geometry().contains(changed))  // beyond what the label's own repaint covers
        parentWidget()->update(changed);
    const QObjectList siblings = parentWidget()->children();
    for (QObject *child : siblings)
        if (auto *caption = qobject_cast<QLabel *>(child);
            caption && caption->x() > x() && !isNumber(*caption) &&
            caption->geometry().intersects(changed))
            caption->update();  // it makes way: its text starts after the number
}

bool FittingLabel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Paint || watched != parentWidget() || isHidden() ||
        !isNumber(*this) || text().trimmed().isEmpty())
        return false;
    // Only a paint of this label's line of the window can touch its number.
    const auto *paint = static_cast<QPaintEvent *>(event);
    if (!paint->region().intersects(QRect(0, y(), parentWidget()->width(), height())))
        return false;
    const PlacedNumber placed = placeNumber(*this);
    if (placed.byLabel || !paint->region().intersects(placed.ink.toAlignedRect()))
        return false;
    QPainter painter(parentWidget());
    painter.setClipRegion(paint->region());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                   foregroundRole()));
    painter.setFont(placed.font);
    painter.drawText(placed.origin, oneLine(text()));
    return false;
}

}  // namespace fit
