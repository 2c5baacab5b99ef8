#include "till/open_orders.h"

#include <algorithm>

namespace till {

OpenOrders::OpenOrders(QObject *parent) : QObject(parent) {}

void OpenOrders::load(const QList<journal::OpenOrder> &stored)
{
    for (const journal::OpenOrder &open : stored) {
        if (find(open.uid))
            continue;  // put aside again here since: this copy is the newer
        std::optional<HeldOrder> held = HeldOrder::fromOpen(open);
        if (!held) {
            // Kept by a later version in a form this one cannot read: listed
            // under its name, with nothing to bring back, rather than hidden.
            held = HeldOrder{};
            held->uid = open.uid;
            held->name = open.name;
            held->heldAt = open.heldAt;
            held->total = open.total;
        }
        m_orders.append(*held);
    }
    std::stable_sort(m_orders.begin(), m_orders.end(),
                     [](const HeldOrder &a, const HeldOrder &b) { return a.heldAt < b.heldAt; });
    m_loaded = true;
    emit loaded();
}

QList<HeldOrder> OpenOrders::waiting() const
{
    QList<HeldOrder> list;
    for (const HeldOrder &held : m_orders)
        if (held.uid != m_onWindows)
            list.append(held);
    return list;
}

std::optional<HeldOrder> OpenOrders::find(const QString &uid) const
{
    for (const HeldOrder &held : m_orders)
        if (held.uid == uid)
            return held;
    return std::nullopt;
}

bool OpenOrders::nameInUse(const QString &name, const QString &uid) const
{
    return std::any_of(m_orders.begin(), m_orders.end(),
                       [&](const HeldOrder &held) {
                           return held.uid != uid && held.name.compare(name, Qt::CaseInsensitive) == 0;
                       }) ||
           std::any_of(m_view.open.begin(), m_view.open.end(), [&](const shop::ShopTable &table) {
               return table.uid != uid && table.name.compare(name, Qt::CaseInsensitive) == 0;
           });
}

void OpenOrders::joinShop(int tillNumber, const QString &tillUid)
{
    m_tillNumber = tillNumber;
    m_tillUid = tillUid;
}

void OpenOrders::setShopView(const shop::TablesView &view)
{
    if (!view.reachable) {
        m_view.reachable = false;  // what was last seen stays, to know what others had
        return;
    }
    m_view = view;
    m_elsewhere.clear();
    for (const shop::ShopTable &table : view.open)
        if ((table.heldBy != 0 && table.heldBy != m_tillNumber) || (table.heldBy == 0 && table.putBy != m_tillNumber))
            m_elsewhere << table.uid;
    // Paid or cleared on another till: no longer waiting here.
    for (const QString &uid : view.closed)
        if (uid != m_onWindows && find(uid))
            ended(uid, false);
    for (const shop::ShopTable &table : view.open) {
        if (table.name == table.askedName || m_toldRenamed.contains(table.uid))
            continue;
        m_toldRenamed << table.uid;
        if (table.putBy == m_tillNumber) {
            // Known here by the shop's name from now on. Not sent up again:
            // the shop has it so, and another till may hold it by now.
            for (HeldOrder &held : m_orders)
                if (held.uid == table.uid)
                    held.name = table.name;
            emit told(QStringLiteral("本机挂单的“%1”在店铺里已经有了（另一台收银机挂的），本机这一单已改名为“%2”，菜都在。")
                          .arg(table.askedName, table.name));
        } else {
            emit told(QStringLiteral("%1 收银机挂单的“%2”和已有的挂单同名，那一单已改名为“%3”，菜都在。")
                          .arg(table.putByName, table.askedName, table.name));
        }
    }
}

QList<TableEntry> OpenOrders::listing() const
{
    QList<TableEntry> list;
    const QString here = QStringLiteral("本机");
    QStringList listed;
    if (inShop() && m_view.reachable) {
        for (const shop::ShopTable &table : m_view.open) {
            if (table.uid == m_onWindows)
                continue;
            journal::OpenOrder open{table.uid, table.name, table.heldAt, table.totalFen, table.dishCount,
                                    table.state, {}};
            TableEntry entry;
            if (std::optional<HeldOrder> held = HeldOrder::fromOpen(open))
                entry.held = *held;
            else
                entry.held = HeldOrder{table.uid, table.name, table.heldAt, table.totalFen, {}, {}, {}, false, false, {}, {}};
            entry.putBy = table.putBy == m_tillNumber ? here : table.putByName;
            if (table.heldBy != 0 && table.heldBy != m_tillNumber) {
                entry.heldBy = table.heldBy;
                entry.heldByName = table.heldByName;
            }
            entry.inShop = true;
            list.append(entry);
            listed << table.uid;
        }
    }
    for (const HeldOrder &held : waiting()) {
        if (listed.contains(held.uid) || (inShop() && m_elsewhere.contains(held.uid)))
            continue;
        list.append(TableEntry{held, here, 0, {}, false});
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const TableEntry &a, const TableEntry &b) { return a.held.heldAt < b.held.heldAt; });
    return list;
}

void OpenOrders::adopt(const HeldOrder &held)
{
    m_orders.removeIf([&](const HeldOrder &h) { return h.uid == held.uid; });
    m_orders.append(held);
}

void OpenOrders::keep(const HeldOrder &held)
{
    m_orders.removeIf([&](const HeldOrder &h) { return h.uid == held.uid; });
    m_orders.append(held);  // put aside last: the newest
    if (m_onWindows == held.uid)
        m_onWindows.clear();
    emit kept(held.toOpen());
}

void OpenOrders::update(const HeldOrder &held)
{
    for (HeldOrder &h : m_orders)
        if (h.uid == held.uid) {
            h = held;
            journal::OpenOrder open = held.toOpen();
            open.onWindows = true;
            emit kept(open);
        }
}

void OpenOrders::bringBack(const QString &uid)
{
    m_onWindows = uid;
}

void OpenOrders::ended(const QString &uid, bool recorded)
{
    if (uid.isEmpty())
        return;
    m_orders.removeIf([&](const HeldOrder &h) { return h.uid == uid; });
    if (m_onWindows == uid)
        m_onWindows.clear();
    if (!recorded)
        emit dropped(uid);
}

}  // namespace till
