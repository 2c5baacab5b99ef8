#pragma once
// The design of an order sheet: fourteen dish rows in two halves, each row
// with its dish name, two portions (quantity, "-", "+", unit price) and a line
// total; the portion headings; and the settle, clear and close controls. The
// control names follow one rule per half, computed here once.

#include "common/design.h"

#include <QString>
#include <QStringList>
#include <array>

namespace sheet {

inline constexpr int clientWidth = 14595;   // twips
inline constexpr int clientHeight = 5985;
inline constexpr int rowCount = 14;
inline constexpr double rowFontPoints = 14.25;

enum class Portion { Small, Large };

// One quantity button: which row and portion it steps, and by how much.
struct QuantityButton {
    QString name;  // Command3 ... Command58
    int row;       // 1 to 14
    Portion portion;
    int step;      // -1 or +1
};

struct DishRow {
    int number;  // 1 to 14; 1-7 left half, 8-14 right half, top to bottom
    int top;     // twips
    int left;    // twips: 0 for the left half, 5040 for the right
    QString dishName;
    QString smallQuantity, largeQuantity;
    QString smallPrice, largePrice;
    QString lineTotal;
    QString smallHeading, largeHeading;  // the headings over this row's half
    int smallPriceWidth, largePriceWidth, lineTotalWidth;  // twips
    std::array<QuantityButton, 4> buttons;  // small "-", small "+", large "-", large "+"
};

// The fourteen rows in row order.
const std::array<DishRow, rowCount> &dishRows();

// The 56 quantity buttons in name order (Command3 ... Command58).
const std::array<QuantityButton, 56> &quantityButtons();

// The 46 labels whose captions the restaurant edits and the store keeps:
// dish names Label1-7 and Label10-16, headings Label8, Label9, Label45,
// Label46, then the prices l01 ... l028.
const QStringList &captionList();

// Column offsets of a row, relative to the row's half.
namespace column {
inline constexpr design::Twips dishName{0, 0, 1815, 375};
inline constexpr int smallMinus = 1440, smallQuantity = 1800, smallPlus = 2040, smallPrice = 2400;
inline constexpr int largeMinus = 3000, largeQuantity = 3360, largePlus = 3600, largePrice = 3960;
inline constexpr int lineTotal = 4680;
inline constexpr int cell = 255;         // buttons, quantities and prices: height (and width)
inline constexpr int lineTotalHeight = 375;
}  // namespace column

// The four portion headings: name, left, design caption (top 120, 1815 x 375).
struct Heading {
    const char *name;
    int left;
    const char16_t *caption;
};
inline constexpr std::array<Heading, 4> headings{{
    {"Label8", 1560, u"小份"},
    {"Label45", 3120, u"大份"},
    {"Label9", 6600, u"小份"},
    {"Label46", 8160, u"大份"},
}};

}  // namespace sheet
