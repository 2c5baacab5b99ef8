#pragma once
// "导出菜单…" and "导入菜单…" for the owner's menu: the menu as a CSV file,
// chosen in a file dialog (see settings/menu_transfer.h for the file).

#include "settings/menu_transfer.h"

class QMenu;
class QWidget;

// Adds the two actions to `menu`; their dialogs and messages open over
// `parent`.
void addMenuTransferActions(QMenu &menu, QWidget *parent);

namespace menu_transfer {

// Imports `file` into the store and, once it is saved there, shows it on the
// windows already loaded (the main window's category names, the sheets'
// dishes, headings and prices), as if each caption had been edited there and
// its window closed with "关闭". Windows not loaded yet read the store when
// they load.
Outcome importIntoWindows(const QString &file);

// Shows `entries` ("section/control" -> caption), saved already, on the
// windows already loaded, as an import does.
void showOnWindows(const QMap<QString, QString> &entries);

}  // namespace menu_transfer
