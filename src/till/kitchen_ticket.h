#pragma once
// Kitchen tickets (后厨单): what the kitchen has not been told of an order,
// as lines to cook and lines taken away (退菜), and the ticket as printed
// text. The order keeps the portions it last sent to the kitchen (as JSON
// beside it); the next ticket is the difference, so nothing is told twice.
// No widgets here.

#include "common/roll_page.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace till {

// One portion of one dish row as the kitchen knows it.
struct KitchenPortion {
    int category = 0;    // 1 to 6
    int row = 0;         // the sheet's row, 1 to 14
    bool large = false;  // the 大份 column
    QString dish;        // the dish's name on the sheet
    QString heading;     // the portion's heading ("小份", "大份", or the owner's own)
    double quantity = 0;

    friend bool operator==(const KitchenPortion &, const KitchenPortion &) = default;
};

// One line of a kitchen ticket.
struct KitchenLine {
    QString dish;
    QString heading;
    double quantity = 0;    // always > 0
    bool returned = false;  // 退菜: taken away since the last ticket

    friend bool operator==(const KitchenLine &, const KitchenLine &) = default;
};

// What the kitchen has not been told: for each (category, row, portion), the
// quantity now less the quantity sent; more gives a line named as the dish is
// now, less a 退菜 line named as the dish was sent (a dish renamed between
// tickets keeps its row). Lines in category, row, small-before-large order.
// A portion listed twice counts once with both quantities; a quantity below
// 0 counts as none, since the kitchen cooks none of it. A blank name or
// heading reads "（未命名）", or "小份" / "大份". Throws NumberOverflow for a
// quantity beyond the range of a double.
QList<KitchenLine> kitchenChanges(const QList<KitchenPortion> &sent, const QList<KitchenPortion> &now);

struct KitchenTicket {
    int number = 0;  // the day's running ticket number
    QString table;   // the order's name ("3号桌") or how else it is known
    QDateTime at;
    QList<KitchenLine> lines;
    int till = 0;  // in a shop, the number of the till that sent it; 0 without
};

// One line per dish as the ticket prints it: "牛肉面 大份 ×2", and a 退菜
// marked so that it stands out, its quantity at the front where a narrow
// roll never wraps it away: "★退×1 牛肉面 小份".
QStringList kitchenLineTexts(const QList<KitchenLine> &lines);

// The ticket as printed: "后厨单 第N号" ("后厨单 2号机 第N号" from till 2 of
// a shop, whose kitchen hears from several tills), the table in large type (left out
// when blank), the time, a rule, then a row per dish line with its quantity
// in a column of its own ("牛肉面 大份  ×2"; a 退菜 white on black, "★退：
// 牛肉面 小份  ×1"), then a rule. No prices. In the kitchen's type: 14 pt on
// rolls narrower than 80 mm, 16 pt on wider paper.
roll::Page kitchenTicketPage(const KitchenTicket &ticket);
// The same as plain text, rows ended by CR LF.
QString kitchenTicketText(const KitchenTicket &ticket);

}  // namespace till
