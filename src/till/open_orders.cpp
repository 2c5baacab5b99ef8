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
    return std::any_of(m_orders.begin(), m_orders.end(), [&](const HeldOrder &held) {
        return held.uid != uid && held.name.compare(name, Qt::CaseInsensitive) == 0;
    });
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
            emit kept(held.toOpen());
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
