#pragma once
// The owner's menu: what a restaurant owner does besides taking orders (the
// day's takings, ...), kept out of the cashier's way on the main window's
// heading "请选择类别" and its button "店主". It opens on a right click on the
// heading, on a finger held still on it, on "店主", and on the menu key or Shift+F10 anywhere in the main
// window, except on a focused category button, where those keys rename the
// category as before. It moves and covers no control of the window.

class QLabel;
class QMenu;
class QPoint;
class QWidget;

namespace owner_menu {

// One group of entries: adds its actions to `menu`; their dialogs and windows
// belong to `parent`. The groups and their order are listed in
// owner_menu.cpp; another group is one more line there.
using EntryGroup = void (*)(QMenu &menu, QWidget *parent);

// The groups of this file: "营业记录…"; "交班…", "店铺信息…" and "店铺数据库…";
// "关于 Tavelko".
void addTakingsActions(QMenu &menu, QWidget *parent);
void addTillActions(QMenu &menu, QWidget *parent);
void addAboutActions(QMenu &menu, QWidget *parent);

// Fills `menu` with every group, a separator between two groups.
void fill(QMenu &menu, QWidget *parent);

// Binds the gestures above to `heading` and `window`, and says in the
// heading's tooltip what its right click offers. Once per window.
void equip(QWidget &window, QLabel &heading);

// Opens the menu of `window` at `globalPos` without waiting for a choice;
// returns it (objectName "ownerMenu"). Opened `byKeys`, its first entry is
// the current one.
QMenu *open(QWidget &window, const QPoint &globalPos, bool byKeys);

}  // namespace owner_menu
