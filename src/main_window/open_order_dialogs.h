#pragma once
// The two small windows of 挂单 and 取单: the name an order is put aside
// under, and the list of the orders waiting, one chosen with a click, a tap
// or Enter.

#include "till/held_order.h"
#include "till/open_orders.h"

#include <QDialog>

#include <functional>
#include <optional>

namespace main_window {

// Whether a name is taken by another order put aside.
using NameTaken = std::function<bool(const QString &name)>;

// Asks for the name to put an order aside under: a table number typed or
// picked (1 to 30 become "1号桌" ... "30号桌") or any short text. `suggested`
// is filled in (the name an order brought back had). A blank name, one too
// long or one `taken` is refused with a message and the box stays open.
// nullopt when the cashier cancels.
std::optional<QString> askHoldName(QWidget *parent, const QString &suggested, const NameTaken &taken);

// The longest name an order is put aside under, in characters.
inline constexpr int holdNameLength = 20;

// 取单's list of `waiting` (name, time put aside, total, number of dishes,
// and in a shop (`inShop`) the till it is on), the oldest selected;
// accepted when one is chosen. `note`, when given, is shown above the list
// (the other tills' orders cannot be reached).
class HeldOrderChooser : public QDialog {
public:
    HeldOrderChooser(QWidget *parent, const QList<till::HeldOrder> &waiting);
    HeldOrderChooser(QWidget *parent, const QList<till::TableEntry> &waiting, bool inShop,
                     const QString &note = {});
    QString chosen() const { return m_chosen; }  // its uid

private:
    QString m_chosen;
};

// Shows the list and returns the uid of the order chosen, or nullopt when the
// cashier cancels.
std::optional<QString> chooseHeldOrder(QWidget *parent, const QList<till::HeldOrder> &waiting);
std::optional<QString> chooseHeldOrder(QWidget *parent, const QList<till::TableEntry> &waiting, bool inShop,
                                       const QString &note);

// Where a table of the shop is, as 取单 shows it: "本机", "二楼",
// "正在 二楼 上".
QString whereText(const till::TableEntry &entry);

}  // namespace main_window
