#pragma once
// Proportional layout: a control's left edge and width follow the client
// width, its top edge and height the client height; fonts stay. Each control's
// design geometry is kept as text in its "Tag" property ("240   840   5415   8055   ")
// and read again at every rescale, so nothing accumulates between resizes.

#include "common/design.h"

#include <QString>
#include <QStringView>

class QWidget;

namespace layout {

inline constexpr char tagProperty[] = "Tag";

// "L   T   W   H   ": each value in twips followed by three spaces.
QString tagText(const design::Twips &geometry);

// Reads the four fields back; a field without its separator reads 0.
design::Twips parseTag(QStringView tag);

// The controls of a window that take part: its direct child widgets, in
// creation order, leaving out dialogs and other top-level windows.
QList<QWidget *> controlsOf(QWidget &window);

// Writes every control's current geometry into its tag.
void recordTags(QWidget &window);

// Moves every control to its tag geometry scaled by current / base client size.
// A base size of 0 moves nothing.
void rescale(QWidget &window, int baseWidth, int baseHeight, int currentWidth,
             int currentHeight);

}  // namespace layout
