#pragma once
// Lays a roll page (common/roll_page.h) out on a printable area and paints
// it: 宋体 at the page's body size, headings larger; the rows one under the
// other, a row that would not fit whole below starting the next page. In a
// row of columns the figures keep to their columns, each right-aligned on
// the column's right edge (the last column's is the paper's), and the first
// cell wraps within what they leave; when they leave it too little, it takes
// the row above them instead.

#include "common/roll_page.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;
class QPaintDevice;
class QPrinter;

namespace roll {

// One thing drawn, in device pixels from the top-left corner of its page's
// printable area.
struct Piece {
    int page = 0;
    QRectF box;        // its room: the cell's width, the row's height
    QString text;      // empty for a rule
    QPointF origin;    // where the text's baseline starts
    double inkRight = 0;  // where the text ends (spaces at its end leave no ink)
    QFont font;
    bool reversed = false;  // a black box, the text white on it
    bool rule = false;      // a line across the box's middle
};

struct Laid {
    QList<Piece> pieces;
    int pages = 1;
    double height = 0;  // of the last page, to the bottom of its last row
};

// The font of a row of `page` (its body size once known, else the wide one).
QFont rowFont(const Page &page, Size size, bool bold);

// `page` on pages of `printable` size, measured as `device` draws.
Laid layOut(const Page &page, const QPaintDevice *device, QSizeF printable);

// Draws the pieces of page `index`, moved by `offset` (the printable area's
// corner on the device).
void paint(QPainter &painter, const QList<Piece> &pieces, int index, QPointF offset = {});

// Prints `page` on `printer` from the start of its printable area. False
// when the document cannot be started, a page cannot be added or the
// document cannot be finished.
bool printPage(QPrinter &printer, const Page &page);

// `page` as a roll of paper `paperWidth` millimetres wide, at `dotsPerInch`:
// white, the printable area `printableWidth` millimetres wide in its middle
// and as long as the page, a few millimetres of paper above and below. The
// body size is the one the paper calls for unless the page has one. With
// `placed`, what was drawn where, in the image's pixels.
QImage rollImage(Page page, double paperWidth, double printableWidth, double dotsPerInch, Laid *placed = nullptr);

// The height in millimetres of `page` laid out on `printer` across
// `printableWidth` millimetres, on one page as long as it needs.
double printedHeight(QPrinter &printer, double printableWidth, const Page &page);

}  // namespace roll
