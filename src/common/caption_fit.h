#pragma once
// Captions that do not fit their control. A caption that fits is drawn exactly
// as designed. One that does not is drawn in a smaller size of the control's
// own font until it fits, down to a legible floor; one still too wide there
// is cut with "…" and the whole caption becomes the control's tooltip. The
// control's font itself never changes, and a caption never runs under a
// control that lies above it.
//
// Numbers are the exception: a quantity, price or total is never cut. One too
// wide for its label takes the free room beside it (drawn by the window,
// beneath every control), then a smaller size, and a caption that is no
// number yields that room: its text starts after the number.
//
// A blank caption the restaurant fills in may show a grey hint where its text
// would be; the hint is only painted, never the caption.

#include <QFont>
#include <QLabel>
#include <QRect>
#include <QStringList>
#include <optional>

class QPainter;

namespace fit {

// The smallest size a caption is drawn in, in points.
inline constexpr double floorPoints = 9;

enum class Wrap {
    LineBreaksOnly,  // labels: one line per line of the caption
    Words,           // break at spaces first; a word wider than the room
                     // alone is broken between its characters
    AsText,          // also break where text may break (between Chinese characters)
};

// A button with this property set to true breaks its caption as words break
// (the category buttons, whose captions the restaurant types); other
// buttons break their captions as text breaks.
inline constexpr char wordsWhole[] = "fit.wordsWhole";

// A control with this property (a QString) shows it in grey while its
// caption is blank.
inline constexpr char hint[] = "fit.hint";

// How a number too wide for its label takes the room beside it.
enum class NumberRoom {
    Beside,  // stays where its label puts it, shifted left only as far as needed
    Centred, // centred in the gap between the controls on either side
};

// Marks `label` (a FittingLabel) as holding a number.
void holdsNumber(QLabel *label, NumberRoom room);
bool isNumber(const QWidget &control);

// Where a number is drawn, in its window's coordinates.
struct PlacedNumber {
    QFont font;
    QPointF origin;     // the text's baseline start
    QRectF ink;         // what its glyphs cover
    bool byLabel;       // fits its label: drawn by the label, as designed
};
PlacedNumber placeNumber(const QLabel &label);

struct Fitted {
    QFont font;          // the font the caption is drawn in
    QStringList lines;   // the lines as drawn
    bool asDesigned;     // fits in the control's own font
    bool elided;         // did not fit even at the floor: cut with "…"
};

// Lays `caption` out in `area` (pixels) starting from `font`. A single line
// only has to fit the width; several lines also have to fit the height. A
// line still too wide at the floor size loses its end (or, with
// Qt::ElideMiddle, its middle) to "…".
Fitted fitCaption(const QString &caption, const QFont &font, const QSize &area, Wrap wrap,
                  Qt::TextElideMode elide = Qt::ElideRight);

// The part of `control`'s rectangle (in its own coordinates) that lies left
// of every neighbour overlapping its first `lineHeight` pixels: the room a
// caption has without running under a neighbour. Neighbours are the controls
// stacked above it and the labels beside it, whichever was made first, as
// far down as their text goes; a label with a blank caption draws nothing
// there, and for a number a caption that is no number makes way.
QRect uncoveredRect(const QWidget &control, int lineHeight);

// Draws the fitted lines in `area` with `alignment`, each line as tall as the
// font's line spacing.
void drawFitted(QPainter &painter, const QRectF &area, const Fitted &fitted,
                Qt::Alignment alignment);

// Keeps `control`'s tooltip the whole caption while it is drawn elided; a
// tooltip set by someone else is left alone.
void showWholeCaption(QWidget &control, const Fitted &fitted, const QString &caption);

// A button's caption (or, while it is blank, its hint) laid out in `area`.
Fitted buttonCaption(const QWidget &button, const QSize &area, const QString &caption);

// Draws a button's caption centred in `area`, broken into lines and fitted;
// a blank caption shows the button's hint in grey.
void drawButtonCaption(QPainter &painter, QWidget &button, const QRect &area,
                       const QString &caption);

// A design label: QLabel with its caption fitted as above.
class FittingLabel : public QLabel {
public:
    using QLabel::QLabel;

    // The caption as this label draws it at its current size.
    Fitted fitted() const;

    // Where the caption (or its hint) is drawn, in the label's coordinates:
    // the uncovered part of the label, after any number that runs into it.
    QRect captionArea() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void followNumber(const PlacedNumber &placed);

    friend void holdsNumber(QLabel *label, NumberRoom room);
    friend bool isNumber(const QWidget &control);
    friend PlacedNumber placeNumber(const QLabel &label);

    std::optional<NumberRoom> m_number;  // set when the caption is a number
    QRect m_drawnBeside;  // where the window last drew this label's number
};

}  // namespace fit
