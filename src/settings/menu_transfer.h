#pragma once
// The menu as a CSV file, to back it up, move it to another PC or prepare it
// in a spreadsheet: one row per dish, 84 in all, under the header
//   类别,类别名称,行,菜名,小份名称,小份价格,大份名称,大份价格
// 类别 is 1-6 in the order of the category buttons (C1, C2, C3, c4, c5, c6);
// 行 is the sheet row 1-14 (1-7 the left half top to bottom, 8-14 the right
// half); the two portion headings are those of the row's half, so the seven
// rows of a half repeat them, as the fourteen rows of a category repeat its
// name. Cells are captions, verbatim. Quoting as RFC 4180; UTF-8, written
// with a byte-order mark and read with or without one.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>

namespace menu_transfer {

inline constexpr int dishCount = 84;

struct Dish {
    int category = 0;  // 1 to 6
    int row = 0;       // 1 to 14
    QString categoryName, dishName, smallHeading, smallPrice, largeHeading, largePrice;
    int line = 0;      // where the dish starts in the file it was read from
};

// What went wrong, in Chinese for the windows and in both languages for the
// command line.
struct Problem {
    QString chinese;
    QString english;
};

struct Outcome {
    bool ok = false;
    int rows = 0;     // dishes written or imported
    Problem problem;  // when not ok; when ok, an empty one or a warning
};

// The file's text for `dishes`, in the order given.
QByteArray toCsv(const QList<Dish> &dishes);

// The dishes a file holds, in file order, or the first problem found in it
// (then no dish). Lines without any cell are skipped.
struct Parsed {
    QList<Dish> dishes;
    std::optional<Problem> problem;
};
Parsed fromCsv(const QByteArray &bytes);

// The store entries ("section/control" -> caption) that editing these dishes
// on their windows and pressing "关闭" would write.
QMap<QString, QString> storeEntries(const QList<Dish> &dishes);

// Every "section/control" key of the menu: the six category names and each
// sheet's captions.
QStringList menuKeys();

// The captions of the menu this till has (its blanks left out), as a shop
// without a menu takes them. False, with why, when the store cannot be read.
bool filledCaptions(QMap<QString, QString> *captions, QString *problem);

// An edit of the menu as the cashier is told it, with `captions` the menu
// as it now stands: "牛肉面 小份 12 → 14", "菜名 牛肉面 → 红烧牛肉面",
// "类别 面条 → 面食", "面条 小份的名称 小份 → 小碗".
QString describeEdit(const QString &key, const QString &before, const QString &after,
                     const QMap<QString, QString> &captions);

// Where a till's own menu is exported before the shop's replaces it, in
// `folder`: "加入店铺前的菜单-20261208-101500.csv".
QString menuBackupFile(const QString &folder);

// Writes the whole menu as the store holds it to `file`: the new file
// replaces an old one only once it is written completely.
Outcome exportMenu(const QString &file);

// Reads `file` and writes its dishes into the store, all or nothing: a file
// with any problem, or a failed save, leaves the store as it was. The entries
// written are left in `written`.
Outcome importMenu(const QString &file, QMap<QString, QString> *written = nullptr);

}  // namespace menu_transfer
