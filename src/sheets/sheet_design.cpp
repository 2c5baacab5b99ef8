#include "sheets/sheet_design.h"

namespace sheet {

namespace {

QString numbered(const char *prefix, int n)
{
    return QString::fromLatin1(prefix) + QString::number(n);
}

// Widths of the small price, large price and line total of each row, in twips.
constexpr int widths[rowCount][3] = {
    {615, 615, 855}, {495, 615, 855}, {615, 735, 855}, {495, 735, 855}, {615, 615, 855},
    {495, 615, 855}, {495, 615, 855}, {495, 735, 615}, {495, 855, 615}, {495, 735, 735},
    {495, 735, 735}, {495, 615, 855}, {495, 615, 735}, {495, 615, 615},
};

constexpr int firstRowTop = 480;
constexpr int rowPitch = 840;
constexpr int rightHalfOffset = 5040;

DishRow makeRow(int number)
{
    const bool left = number <= 7;
    const int r = left ? number : number - 7;  // position within the half, 1 to 7
    // Left half: quantities and prices 4r-3 / 4r-2, buttons 4r-1 ... 4r+2.
    // Right half: name labels count up from the bottom (Label16 at the top),
    // quantities and prices 4r-1 / 4r, buttons 4r+27 ... 4r+30.
    const int smallNumber = left ? 4 * r - 3 : 4 * r - 1;
    const int firstButton = left ? 4 * r - 1 : 4 * r + 27;

    DishRow row;
    row.number = number;
    row.top = firstRowTop + (r - 1) * rowPitch;
    row.left = left ? 0 : rightHalfOffset;
    row.dishName = numbered("Label", left ? r : 17 - r);
    row.smallQuantity = numbered("L", smallNumber);
    row.largeQuantity = numbered("L", smallNumber + 1);
    row.smallPrice = numbered("l0", smallNumber);
    row.largePrice = numbered("l0", smallNumber + 1);
    row.lineTotal = number == 1 ? QStringLiteral("la1") : numbered("La", number);
    row.smallHeading = QString::fromLatin1(left ? "Label8" : "Label9");
    row.largeHeading = QString::fromLatin1(left ? "Label45" : "Label46");
    row.smallPriceWidth = widths[number - 1][0];
    row.largePriceWidth = widths[number - 1][1];
    row.lineTotalWidth = widths[number - 1][2];
    row.buttons = {{
        {numbered("Command", firstButton), number, Portion::Small, -1},
        {numbered("Command", firstButton + 1), number, Portion::Small, +1},
        {numbered("Command", firstButton + 2), number, Portion::Large, -1},
        {numbered("Command", firstButton + 3), number, Portion::Large, +1},
    }};
    return row;
}

}  // namespace

const std::array<DishRow, rowCount> &dishRows()
{
    static const std::array<DishRow, rowCount> rows = [] {
        std::array<DishRow, rowCount> all;
        for (int n = 1; n <= rowCount; ++n)
            all[n - 1] = makeRow(n);
        return all;
    }();
    return rows;
}

const std::array<QuantityButton, 56> &quantityButtons()
{
    static const std::array<QuantityButton, 56> buttons = [] {
        std::array<QuantityButton, 56> all;
        for (const DishRow &row : dishRows())
            for (const QuantityButton &b : row.buttons)
                all[b.name.mid(7).toInt() - 3] = b;
        return all;
    }();
    return buttons;
}

const QStringList &captionList()
{
    static const QStringList list = [] {
        QStringList names;
        for (int n : {1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16})
            names << numbered("Label", n);
        names << QStringLiteral("Label8") << QStringLiteral("Label9") << QStringLiteral("Label45")
              << QStringLiteral("Label46");
        for (int n = 1; n <= 28; ++n)
            names << numbered("l0", n);
        return names;
    }();
    return list;
}

}  // namespace sheet
