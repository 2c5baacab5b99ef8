#include "settings/menu_transfer.h"

#include "common/categories.h"
#include "common/save_file.h"
#include "settings/caption_store.h"
#include "sheets/sheet_design.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace menu_transfer {

namespace {

const QStringList header = {
    QStringLiteral("类别"),     QStringLiteral("类别名称"), QStringLiteral("行"),
    QStringLiteral("菜名"),     QStringLiteral("小份名称"), QStringLiteral("小份价格"),
    QStringLiteral("大份名称"), QStringLiteral("大份价格"),
};

// A real menu file is a few kilobytes; anything this large is not one.
constexpr qint64 largestFile = 4 * 1024 * 1024;

Problem atLine(int line, const QString &chinese, const QString &english)
{
    return {QStringLiteral("第%1行：%2").arg(line).arg(chinese),
            QStringLiteral("line %1: %2").arg(line).arg(english)};
}

QString quoted(const QString &cell)
{
    // Also cells with spaces at either end, which some spreadsheets trim.
    const bool plain = !cell.contains(u',') && !cell.contains(u'"') && !cell.contains(u'\r') &&
                       !cell.contains(u'\n') && cell.trimmed() == cell;
    if (plain)
        return cell;
    QString text = cell;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

QString storeKey(const char *section, const QString &control)
{
    return QString::fromLatin1(section) + u'/' + control;
}

struct Record {
    int line = 0;
    QStringList cells;
};

// Splits the text into records by RFC 4180: cells separated by commas,
// records by CRLF (LF or CR alone accepted); a quoted cell may hold commas,
// line breaks and doubled quotes.
std::optional<Problem> splitRecords(const QString &text, QList<Record> *records)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    auto atLineBreak = [&](qsizetype at) { return text[at] == u'\r' || text[at] == u'\n'; };
    auto passLineBreak = [&] {  // at a line break: past it, counting the line
        if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        ++i;
        ++line;
    };
    while (i < n) {
        Record record{line, {}};
        for (;;) {
            QString cell;
            if (i < n && text[i] == u'"') {
                const int opened = line;
                ++i;
                for (;;) {
                    if (i >= n)
                        return atLine(opened, QStringLiteral("引号没有闭合"),
                                      QStringLiteral("a quote is never closed"));
                    if (text[i] == u'"') {
                        if (i + 1 < n && text[i + 1] == u'"') {
                            cell += u'"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (atLineBreak(i)) {
                        const qsizetype from = i;
                        passLineBreak();
                        cell += text.mid(from, i - from);
                    } else {
                        cell += text[i++];
                    }
                }
                if (i < n && text[i] != u',' && !atLineBreak(i))
                    return atLine(line, QStringLiteral("引号后紧跟着其他字符（单元格中的引号应写成两个）"),
                                  QStringLiteral("text follows a closing quote (a quote inside a "
                                                 "cell is written twice)"));
            } else {
                while (i < n && text[i] != u',' && !atLineBreak(i)) {
                    if (text[i] == u'"')
                        return atLine(line, QStringLiteral("含引号的单元格应整个放在引号中"),
                                      QStringLiteral("a cell holding a quote must be quoted"));
                    cell += text[i++];
                }
            }
            record.cells << cell;
            if (i < n && text[i] == u',') {
                ++i;
                continue;
            }
            if (i < n)
                passLineBreak();
            break;
        }
        const bool blank = std::all_of(record.cells.begin(), record.cells.end(),
                                       [](const QString &c) { return c.isEmpty(); });
        if (!blank)
            records->append(record);
    }
    return std::nullopt;
}

// The text of the file, or the line where it stops being UTF-8.
std::optional<Problem> decode(const QByteArray &bytes, QString *text)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    *text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (text->startsWith(QChar(0xFEFF)))
            text->remove(0, 1);
        return std::nullopt;
    }
    const QList<QByteArray> lines = bytes.split('\n');
    int line = 1;
    for (const QByteArray &bytesOfLine : lines) {
        QStringDecoder check(QStringDecoder::Utf8);
        (void)QString(check.decode(bytesOfLine));
        if (check.hasError())
            break;
        ++line;
    }
    return atLine(line,
                  QStringLiteral("不是 UTF-8 编码的文字（在表格软件中请另存为“CSV UTF-8”）"),
                  QStringLiteral("not UTF-8 text (save as \"CSV UTF-8\")"));
}

std::optional<int> number(const QString &cell, int last)
{
    bool ok = false;
    const int value = cell.trimmed().toInt(&ok);
    if (!ok || value < 1 || value > last)
        return std::nullopt;
    return value;
}

// Cells that the file repeats over several rows (a category's name, a half's
// headings) must agree; the first row of each group sets them.
struct Agreement {
    QString text;
    int line;
};

std::optional<Problem> agree(QMap<QString, Agreement> &seen, const QString &group,
                             const QString &text, int line, const QString &chinese,
                             const QString &english)
{
    const auto found = seen.constFind(group);
    if (found == seen.constEnd()) {
        seen.insert(group, {text, line});
        return std::nullopt;
    }
    if (found->text == text)
        return std::nullopt;
    // One arg() call for all: a cell may hold "%1" itself.
    const QString earlier = QString::number(found->line);
    return atLine(line,
                  QStringLiteral("%1“%2”与第%3行的“%4”不一致").arg(chinese, text, earlier, found->text),
                  QStringLiteral("%1 \"%2\" differs from line %3 (\"%4\")")
                      .arg(english, text, earlier, found->text));
}

std::optional<Problem> checkDishes(const QList<Dish> &dishes)
{
    QMap<int, int> lineOf;  // category * 100 + row -> line
    QMap<QString, Agreement> names, headings;
    for (const Dish &d : dishes) {
        const int id = d.category * 100 + d.row;
        if (lineOf.contains(id))
            return atLine(d.line,
                          QStringLiteral("类别%1第%2行已在第%3行出现过")
                              .arg(d.category)
                              .arg(d.row)
                              .arg(lineOf.value(id)),
                          QStringLiteral("category %1 row %2 is already on line %3")
                              .arg(d.category)
                              .arg(d.row)
                              .arg(lineOf.value(id)));
        lineOf.insert(id, d.line);
        const QString half = QStringLiteral("%1 %2").arg(d.category).arg(d.row <= 7);
        const QString halfChinese = d.row <= 7 ? QStringLiteral("（左半边1–7行应相同）")
                                               : QStringLiteral("（右半边8–14行应相同）");
        const QString halfEnglish = d.row <= 7 ? QStringLiteral("rows 1-7 must agree")
                                               : QStringLiteral("rows 8-14 must agree");
        if (auto p = agree(names, QString::number(d.category), d.categoryName, d.line,
                           QStringLiteral("类别名称"), QStringLiteral("category name")))
            return p;
        if (auto p = agree(headings, half + u's', d.smallHeading, d.line,
                           QStringLiteral("小份名称") + halfChinese,
                           QStringLiteral("small portion heading (%1)").arg(halfEnglish)))
            return p;
        if (auto p = agree(headings, half + u'l', d.largeHeading, d.line,
                           QStringLiteral("大份名称") + halfChinese,
                           QStringLiteral("large portion heading (%1)").arg(halfEnglish)))
            return p;
    }
    return std::nullopt;
}

}  // namespace

// Every dish of the menu, each with the keys its cells are stored under.
QStringList menuKeys()
{
    QStringList keys;
    for (const Category &c : categories) {
        keys << storeKey("Form2", QString::fromLatin1(c.button));
        for (const QString &name : sheet::captionList())
            keys << storeKey(c.sheet, name);
    }
    return keys;
}

QByteArray toCsv(const QList<Dish> &dishes)
{
    QString text = header.join(u',') + QStringLiteral("\r\n");
    for (const Dish &d : dishes) {
        const QStringList cells = {QString::number(d.category), d.categoryName,
                                   QString::number(d.row),      d.dishName,
                                   d.smallHeading,              d.smallPrice,
                                   d.largeHeading,              d.largePrice};
        QStringList written;
        for (const QString &cell : cells)
            written << quoted(cell);
        text += written.join(u',') + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

Parsed fromCsv(const QByteArray &bytes)
{
    QString text;
    if (auto p = decode(bytes, &text))
        return {{}, p};
    QList<Record> records;
    if (auto p = splitRecords(text, &records))
        return {{}, p};
    if (records.isEmpty() || records.first().line != 1 || records.first().cells != header)
        return {{},
                atLine(1, QStringLiteral("表头应为：%1").arg(header.join(u',')),
                       QStringLiteral("the header must be: %1").arg(header.join(u',')))};

    QList<Dish> dishes;
    for (qsizetype r = 1; r < records.size(); ++r) {
        const Record &record = records[r];
        const QStringList &c = record.cells;
        if (c.size() != header.size())
            return {{},
                    atLine(record.line,
                           QStringLiteral("应有%1个单元格，实有%2个").arg(header.size()).arg(c.size()),
                           QStringLiteral("%1 cells expected, %2 found")
                               .arg(header.size())
                               .arg(c.size()))};
        const std::optional<int> category = number(c[0], 6);
        if (!category)
            return {{},
                    atLine(record.line, QStringLiteral("类别“%1”应为1到6").arg(c[0]),
                           QStringLiteral("category \"%1\" must be 1 to 6").arg(c[0]))};
        const std::optional<int> row = number(c[2], sheet::rowCount);
        if (!row)
            return {{},
                    atLine(record.line, QStringLiteral("行“%1”应为1到14").arg(c[2]),
                           QStringLiteral("row \"%1\" must be 1 to 14").arg(c[2]))};
        dishes.append({*category, *row, c[1], c[3], c[4], c[5], c[6], c[7], record.line});
    }
    if (auto p = checkDishes(dishes))
        return {{}, p};
    return {dishes, std::nullopt};
}

QMap<QString, QString> storeEntries(const QList<Dish> &dishes)
{
    QMap<QString, QString> entries;
    for (const Dish &d : dishes) {
        const Category &c = categories[d.category - 1];
        const sheet::DishRow &row = sheet::dishRows()[d.row - 1];
        entries.insert(storeKey("Form2", QString::fromLatin1(c.button)), d.categoryName);
        entries.insert(storeKey(c.sheet, row.dishName), d.dishName);
        entries.insert(storeKey(c.sheet, row.smallHeading), d.smallHeading);
        entries.insert(storeKey(c.sheet, row.smallPrice), d.smallPrice);
        entries.insert(storeKey(c.sheet, row.largeHeading), d.largeHeading);
        entries.insert(storeKey(c.sheet, row.largePrice), d.largePrice);
    }
    return entries;
}

namespace {

Outcome notExported(const QString &chinese, const QString &english)
{
    return {false, 0, {QStringLiteral("菜单没有导出：") + chinese,
                       QStringLiteral("menu not exported: ") + english}};
}

Outcome notImported(const QString &chinese, const QString &english)
{
    return {false, 0, {QStringLiteral("菜单没有导入，原有的菜单没有改变：") + chinese,
                       QStringLiteral("menu not imported, nothing changed: ") + english}};
}

}  // namespace

bool filledCaptions(QMap<QString, QString> *captions, QString *problem)
{
    QMap<QString, QString> all;
    if (!settings::readCaptions(menuKeys(), &all, problem))
        return false;
    for (auto entry = all.cbegin(); entry != all.cend(); ++entry)
        if (!entry.value().trimmed().isEmpty())
            captions->insert(entry.key(), entry.value());
    return true;
}

QString menuBackupFile(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("加入店铺前的菜单-%1.csv")
                                     .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
}

QString describeEdit(const QString &key, const QString &before, const QString &after,
                     const QMap<QString, QString> &captions)
{
    const auto shown = [](const QString &caption) {
        const QString text = caption.simplified();
        return text.isEmpty() ? QStringLiteral("（空白）") : text;
    };
    const QString change = shown(before) + QStringLiteral(" → ") + shown(after);
    for (const Category &c : categories) {
        if (key == storeKey("Form2", QString::fromLatin1(c.button)))
            return QStringLiteral("类别 ") + change;
        const QString categoryName = shown(captions.value(storeKey("Form2", QString::fromLatin1(c.button))));
        for (const sheet::DishRow &row : sheet::dishRows()) {
            const QString dish = shown(captions.value(storeKey(c.sheet, row.dishName)));
            for (const bool large : {false, true}) {
                const QString heading = large ? row.largeHeading : row.smallHeading;
                const QString portion = captions.value(storeKey(c.sheet, heading)).simplified();
                const QString portionName =
                    portion.isEmpty() ? (large ? QStringLiteral("大份") : QStringLiteral("小份")) : portion;
                if (key == storeKey(c.sheet, large ? row.largePrice : row.smallPrice))
                    return dish + u' ' + portionName + u' ' + change;
                if (key == storeKey(c.sheet, heading))
                    return categoryName + u' ' + (large ? QStringLiteral("大份") : QStringLiteral("小份")) +
                           QStringLiteral("的名称 ") + change;
            }
            if (key == storeKey(c.sheet, row.dishName))
                return QStringLiteral("菜名 ") + change;
        }
    }
    return key + u' ' + change;
}

Outcome exportMenu(const QString &file)
{
    QMap<QString, QString> stored;
    QString storeProblem;
    if (!settings::readCaptions(menuKeys(), &stored, &storeProblem))
        return notExported(QStringLiteral("设置文件无法读取（%1）。设置文件：%2")
                               .arg(storeProblem, settings::storeLocation()),
                           QStringLiteral("the settings store cannot be read: %1")
                               .arg(settings::storeLocation()));

    QList<Dish> dishes;
    for (const Category &c : categories) {
        const auto value = [&](const QString &control) {
            return stored.value(storeKey(c.sheet, control));
        };
        for (const sheet::DishRow &row : sheet::dishRows())
            dishes.append({c.number, row.number,
                           stored.value(storeKey("Form2", QString::fromLatin1(c.button))),
                           value(row.dishName), value(row.smallHeading), value(row.smallPrice),
                           value(row.largeHeading), value(row.largePrice), 0});
    }

    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(toCsv(dishes)) < 0 || !commitWhole(out))
        return notExported(QStringLiteral("无法写入文件 %1（%2）").arg(file, out.errorString()),
                           QStringLiteral("cannot write %1 (%2)").arg(file, out.errorString()));

    Outcome done{true, int(dishes.size()), {}};
    if (!storeProblem.isEmpty())
        done.problem = {QStringLiteral("注意：设置文件已损坏（%1），读不出的名称和价格导出为空白。")
                            .arg(storeProblem),
                        QStringLiteral("warning: the settings store is damaged; what could not "
                                       "be read was exported blank")};
    return done;
}

Outcome importMenu(const QString &file, QMap<QString, QString> *written)
{
    const QFileInfo info(file);
    if (!info.exists())
        return notImported(QStringLiteral("找不到文件 %1").arg(file),
                           QStringLiteral("no such file: %1").arg(file));
    // Only a regular file: a pipe or a device would never end.
    if (!info.isFile())
        return notImported(QStringLiteral("%1 不是普通文件").arg(file),
                           QStringLiteral("not a regular file: %1").arg(file));
    if (info.size() > largestFile)
        return notImported(QStringLiteral("文件 %1 太大，不是菜单文件").arg(file),
                           QStringLiteral("%1 is too large for a menu file").arg(file));
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return notImported(QStringLiteral("无法读取文件 %1（%2）").arg(file, in.errorString()),
                           QStringLiteral("cannot read %1 (%2)").arg(file, in.errorString()));
    const Parsed parsed = fromCsv(in.read(largestFile + 1));
    if (parsed.problem)
        return notImported(QStringLiteral("%1 %2").arg(file, parsed.problem->chinese),
                           QStringLiteral("%1 %2").arg(file, parsed.problem->english));

    const QMap<QString, QString> entries = storeEntries(parsed.dishes);
    if (!settings::saveCaptions(entries))
        return {false, 0,
                {settings::saveFailureMessage(QStringLiteral("导入的菜单")),
                 QStringLiteral("the settings store could not be written; it is unchanged: %1")
                     .arg(settings::storeLocation())}};
    if (written)
        *written = entries;
    return {true, int(parsed.dishes.size()), {}};
}

}  // namespace menu_transfer
