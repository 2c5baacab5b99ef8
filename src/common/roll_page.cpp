#include "common/roll_page.h"

namespace roll {

namespace {

QStringList linesOf(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text.split(u'\n');
}

}  // namespace

void Page::text(const QString &line, Align align, Size size, bool bold)
{
    rows.append({Row::Kind::Text, {{line, align}}, size, bold, false, false});
}

void Page::centred(const QString &lines, Size size, bool bold)
{
    for (const QString &line : linesOf(lines))
        text(line.trimmed(), Align::Centre, size, bold);
}

void Page::figure(const QString &name, const QString &value, bool bold)
{
    rows.append({Row::Kind::Columns, {{name, Align::Left}, {value, Align::Right}}, Size::Body, bold, false, false});
}

void Page::columns(const QStringList &cells, bool bold, bool reversed)
{
    Row row{Row::Kind::Columns, {}, Size::Body, bold, reversed, false};
    for (qsizetype i = 0; i < cells.size(); ++i)
        row.cells.append({cells[i], i == 0 ? Align::Left : Align::Right});
    rows.append(row);
}

void Page::rule()
{
    rows.append({Row::Kind::Rule, {}, Size::Body, false, false, false});
}

void Page::gap()
{
    rows.append({Row::Kind::Gap, {}, Size::Body, false, false, false});
}

void Page::header(const QStringList &lines)
{
    for (qsizetype i = 0; i < lines.size(); ++i)
        centred(lines[i], i == 0 ? Size::Large : Size::Body, i == 0);
}

double pointsFor(const Page &page, double paperWidth)
{
    return paperWidth > 0 && paperWidth < 79.5 ? page.narrowPoints : page.widePoints;
}

Page textPage(const QString &printableText, double points)
{
    Page page;
    page.narrowPoints = page.widePoints = page.points = points;
    for (const QString &line : linesOf(printableText))
        page.rows.append({Row::Kind::Text, {{line, Align::Left}}, Size::Body, false, false, true});
    return page;
}

QString plainText(const Page &page)
{
    QStringList lines;
    for (const Row &row : page.rows) {
        switch (row.kind) {
        case Row::Kind::Rule:
            lines << QString(16, u'-');
            break;
        case Row::Kind::Gap:
            lines << QString();
            break;
        case Row::Kind::Text:
        case Row::Kind::Columns: {
            QStringList cells;
            for (const Cell &cell : row.cells)
                if (!cell.text.isEmpty())
                    cells << cell.text;
            lines << cells.join(page.separator);
        }
        }
    }
    return lines.join(QStringLiteral("\r\n"));
}

}  // namespace roll
