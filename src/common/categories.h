#pragma once
// The six food categories: each ties a category button of the main window to
// its order sheet and to the two main window labels that the sheet fills when
// it is closed.

#include <QString>
#include <array>

struct Category {
    int number;          // 1 to 6
    const char *button;  // category button of the main window
    const char *sheet;   // order sheet window, also its settings section
    const char *summary; // main window label holding the sheet's order lines
    const char *total;   // main window label holding the sheet's subtotal
};

inline constexpr std::array<Category, 6> categories{{
    {1, "C1", "Form3", "Label3", "L1"},
    {2, "C2", "Form4", "Label4", "L2"},
    {3, "C3", "Form5", "Label5", "L3"},
    {4, "c4", "Form6", "Label6", "L4"},
    {5, "c5", "Form7", "Label7", "L5"},
    {6, "c6", "Form8", "Label8", "L6"},
}};
