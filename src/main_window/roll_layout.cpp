#include "main_window/roll_layout.h"

#include "common/design.h"
#include "main_window/bill_print.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace roll {

namespace {

// Headings are this much larger than the body.
constexpr double largeScale = 1.6;

// One row of the paper as laid out: its height and what is on it, placed
// from its top.
struct Band {
    double height = 0;
    QList<Piece> pieces;
};

double inkAdvance(const QFontMetricsF &metrics, QString text)
{
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);
    return metrics.horizontalAdvance(text);
}

// `text` in `box` as `align` says, its baseline `ascent` below the top.
Piece placed(const QString &text, const QRectF &box, Align align, const QFont &font, const QFontMetricsF &metrics,
             bool reversed)
{
    const double ink = inkAdvance(metrics, text);
    const double x = align == Align::Left    ? box.left()
                     : align == Align::Right ? box.right() - ink
                                             : box.left() + (box.width() - ink) / 2;
    Piece piece;
    piece.box = box;
    piece.text = text;
    piece.origin = QPointF(x, box.top() + metrics.ascent());
    piece.inkRight = x + ink;
    piece.font = font;
    piece.reversed = reversed;
    return piece;
}

class Layout {
public:
    Layout(const Page &page, const QPaintDevice *device, double width)
        : m_page(page), m_device(device), m_width(width), m_body(rowFont(page, Size::Body, false), device)
    {
    }

    QList<Band> bands()
    {
        const QList<Row> &rows = m_page.rows;
        for (qsizetype i = 0; i < rows.size();) {
            const Row &row = rows[i];
            if (row.kind == Row::Kind::Columns) {
                // The run of column rows with as many cells: one table.
                qsizetype end = i + 1;
                while (end < rows.size() && rows[end].kind == Row::Kind::Columns &&
                       rows[end].cells.size() == row.cells.size())
                    ++end;
                table(rows.mid(i, end - i));
                i = end;
                continue;
            }
            if (row.kind == Row::Kind::Text)
                text(row);
            else if (row.kind == Row::Kind::Rule)
                rule();
            else
                m_bands.append(Band{m_body.lineSpacing() / 2, {}});
            ++i;
        }
        return m_bands;
    }

private:
    void text(const Row &row)
    {
        const QFont font = rowFont(m_page, row.size, row.bold);
        const QFontMetricsF metrics(font, m_device);
        const Cell cell = row.cells.value(0);
        const double indent = row.indented ? std::min(2 * metrics.horizontalAdvance(QStringLiteral("中")), m_width / 4)
                                           : 0.0;
        const QStringList pieces = bill::wrapLine(cell.text, metrics, m_width, indent);
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            const double left = i == 0 ? 0 : indent;
            Band band{metrics.lineSpacing(), {}};
            if (!pieces[i].isEmpty() || row.reversed)
                band.pieces << placed(pieces[i], QRectF(left, 0, m_width - left, band.height), cell.align, font,
                                      metrics, row.reversed);
            m_bands << band;
        }
    }

    void rule()
    {
        Piece line;
        line.rule = true;
        line.box = QRectF(0, 0, m_width, m_body.lineSpacing() / 2);
        m_bands.append(Band{line.box.height(), {line}});
    }

    void table(const QList<Row> &rows)
    {
        // Each column after the first as wide as its widest cell.
        const qsizetype count = rows.first().cells.size();
        // Between two columns: most of a character, so that two figures read apart.
        const double gap = m_body.horizontalAdvance(QStringLiteral("中")) * 0.8;
        QList<double> widths(count, 0.0);
        for (const Row &row : rows) {
            const QFontMetricsF metrics(rowFont(m_page, row.size, row.bold), m_device);
            for (qsizetype c = 1; c < count; ++c)
                widths[c] = std::max(widths[c], inkAdvance(metrics, row.cells[c].text));
        }
        QList<double> rights(count, m_width);
        for (qsizetype c = count - 2; c >= 1; --c)
            rights[c] = rights[c + 1] - widths[c + 1] - gap;
        const double figuresLeft = count > 1 ? rights[1] - widths[1] - gap : m_width;
        // Too little room beside the figures: the first cell goes above them.
        const bool above = figuresLeft < 2 * m_body.horizontalAdvance(QStringLiteral("中"));

        for (const Row &row : rows) {
            const QFont font = rowFont(m_page, row.size, row.bold);
            const QFontMetricsF metrics(font, m_device);
            const double height = metrics.lineSpacing();
            const Cell first = row.cells.value(0);
            const QStringList names = bill::wrapLine(first.text, metrics, above ? m_width : figuresLeft, 0);
            const qsizetype start = m_bands.size();
            for (const QString &name : names) {
                Band band{height, {}};
                band.pieces << placed(name, QRectF(0, 0, above ? m_width : figuresLeft, height), first.align, font,
                                      metrics, row.reversed);
                m_bands << band;
            }
            if (above)
                m_bands.append(Band{height, {}});
            // The figures on the first row of the name, or on the row below
            // the name when it takes the paper's width.
            Band &figures = m_bands[above ? m_bands.size() - 1 : start];
            if (above && row.reversed)
                figures.pieces << placed(QString(), QRectF(0, 0, m_width, height), Align::Left, font, metrics, true);
            for (qsizetype c = 1; c < count; ++c)
                figures.pieces << placed(row.cells[c].text, QRectF(rights[c] - widths[c], 0, widths[c], height),
                                         row.cells[c].align, font, metrics, row.reversed);
            // A reversed row is one black band: its box spans the paper.
            if (row.reversed)
                for (qsizetype b = start; b < m_bands.size(); ++b)
                    m_bands[b].pieces.first().box = QRectF(0, 0, m_width, height);
        }
    }

    const Page &m_page;
    const QPaintDevice *m_device;
    const double m_width;
    const QFontMetricsF m_body;
    QList<Band> m_bands;
};

}  // namespace

QFont rowFont(const Page &page, Size size, bool bold)
{
    const double body = page.points > 0 ? page.points : page.widePoints;
    return design::font(design::Face::SongTi, size == Size::Large ? std::round(body * largeScale) : body, bold);
}

Laid layOut(const Page &page, const QPaintDevice *device, QSizeF printable)
{
    Laid laid;
    double top = 0;
    int index = 0;
    for (const Band &band : Layout(page, device, printable.width()).bands()) {
        if (top > 0 && top + band.height > printable.height()) {
            ++index;
            top = 0;
        }
        for (Piece piece : band.pieces) {
            piece.page = index;
            piece.box.translate(0, top);
            piece.origin += QPointF(0, top);
            laid.pieces << piece;
        }
        top += band.height;
    }
    laid.pages = index + 1;
    laid.height = top;
    return laid;
}

void paint(QPainter &painter, const QList<Piece> &pieces, int index, QPointF offset)
{
    const double dotsPerMillimetre = painter.device()->logicalDpiX() / 25.4;
    for (const Piece &piece : pieces) {
        if (piece.page != index)
            continue;
        const QRectF box = piece.box.translated(offset);
        if (piece.rule) {
            QPen pen(Qt::black, std::max(1.0, 0.25 * dotsPerMillimetre), Qt::DashLine, Qt::FlatCap);
            painter.setPen(pen);
            painter.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
            continue;
        }
        if (piece.reversed)
            painter.fillRect(box, Qt::black);
        if (piece.text.isEmpty())
            continue;
        painter.setPen(piece.reversed ? Qt::white : Qt::black);
        painter.setFont(piece.font);
        painter.drawText(piece.origin + offset, piece.text);
    }
}

bool printPage(QPrinter &printer, const Page &page)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const Laid laid = layOut(page, &printer, printer.pageRect(QPrinter::DevicePixel).size());
    for (int index = 0; index < laid.pages; ++index) {
        if (index > 0 && !printer.newPage())
            return false;
        paint(painter, laid.pieces, index);
    }
    return painter.end();
}

QImage rollImage(Page page, double paperWidth, double printableWidth, double dotsPerInch, Laid *placed)
{
    if (page.points <= 0)
        page.points = pointsFor(page, paperWidth);
    const double dots = dotsPerInch / 25.4;
    const int dotsPerMetre = int(std::lround(dotsPerInch / 0.0254));
    QImage measure(1, 1, QImage::Format_Grayscale8);
    measure.setDotsPerMeterX(dotsPerMetre);
    measure.setDotsPerMeterY(dotsPerMetre);
    const double width = std::floor(printableWidth * dots);
    const Laid laid = layOut(page, &measure, QSizeF(width, std::numeric_limits<double>::max()));
    const double margin = 4 * dots;
    QImage image(int(std::lround(paperWidth * dots)), int(std::ceil(laid.height + 2 * margin)),
                 QImage::Format_Grayscale8);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    const QPointF corner(std::floor((image.width() - width) / 2), margin);
    QPainter painter(&image);
    paint(painter, laid.pieces, 0, corner);
    if (placed) {
        *placed = laid;
        for (Piece &piece : placed->pieces) {
            piece.box.translate(corner);
            piece.origin += corner;
            piece.inkRight += corner.x();
        }
    }
    return image;
}

double printedHeight(QPrinter &printer, double printableWidth, const Page &page)
{
    const double toMillimetres = 25.4 / printer.resolution();
    // A pixel narrower than the page will be: rounding can only add rows here.
    const QSizeF printable(printableWidth / toMillimetres - 1, std::numeric_limits<double>::max());
    return layOut(page, &printer, printable).height * toMillimetres;
}

}  // namespace roll
