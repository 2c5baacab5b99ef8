#pragma once
// What goes on a receipt roll, as rows of cells rather than as text: the
// receipt (结账单), the 交班单, the 日结 and the kitchen's tickets describe
// their page here, one painter lays it out on the printer's own paper
// (main_window/roll_layout.h), and the same page gives the plain text where
// the program shows or copies it. No widgets, no fonts: sizes are the body
// size of the paper and a larger one for headings.

#include <QList>
#include <QString>
#include <QStringList>

namespace roll {

enum class Align { Left, Centre, Right };
enum class Size { Body, Large };

struct Cell {
    QString text;
    Align align = Align::Left;
};

struct Row {
    enum class Kind {
        Text,     // one cell across the paper; a long one wraps onto further rows
        Columns,  // cells side by side: the first takes what the others leave and
                  // wraps within it, the others keep to one row each. Rows of
                  // Columns one after the other with as many cells share their
                  // column widths, each the widest cell of that column.
        Rule,     // a line across the paper
        Gap,      // half a row of nothing
    };
    Kind kind = Kind::Text;
    QList<Cell> cells;
    Size size = Size::Body;
    bool bold = false;
    bool reversed = false;  // white on black, to stand out
    bool indented = false;  // Text: the rows it wraps onto start two characters in
};

struct Page {
    QList<Row> rows;
    // The body size in points on rolls narrower than 80 mm, and on 80 mm
    // rolls and sheets. `points`, once the paper is known, is the one used.
    double narrowPoints = 10;
    double widePoints = 12;
    double points = 0;
    // Between the cells of a row in the plain text.
    QString separator = QStringLiteral("  ");

    void text(const QString &line, Align align = Align::Left, Size size = Size::Body, bool bold = false);
    // A line per line of `lines` (CR, LF or both end one), each centred.
    void centred(const QString &lines, Size size = Size::Body, bool bold = false);
    // A name on the left, its figure on the right edge.
    void figure(const QString &name, const QString &value, bool bold = false);
    // Cells side by side: the first on the left, the rest on the right edge
    // of their columns.
    void columns(const QStringList &cells, bool bold = false, bool reversed = false);
    void rule();
    void gap();
    // The shop's header: the first line (its name) large, the others below,
    // all centred.
    void header(const QStringList &lines);
};

// The body size of `page` on paper `paperWidth` millimetres wide (0: not
// known, taken as wide). 80 mm comes from a printer as 79.7 or 80.1 mm.
double pointsFor(const Page &page, double paperWidth);

// Each line of `printableText` (CR, LF or both end one) a row of its own,
// starting on the left and wrapping two characters in, at `points` on any
// paper: how a bill prints.
Page textPage(const QString &printableText, double points);

// The page as plain text, rows ended by CR LF: cells joined by the page's
// separator (empty ones left out), a rule as dashes, a gap as an empty line.
QString plainText(const Page &page);

}  // namespace roll
