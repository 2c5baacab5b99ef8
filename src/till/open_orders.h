#pragma once
// The orders put aside (挂单), as the till knows them: read from the journal
// once at start, then kept here as the cashier puts orders aside and brings
// them back, every change handed on to the journal (kept() and dropped()),
// which writes it off the GUI thread. The list never waits on the database.
// No widgets here.

#include "shop/shop_shared.h"
#include "till/held_order.h"

#include <QObject>

namespace till {

// One order 取单 can bring back, wherever it waits.
struct TableEntry {
    HeldOrder held;
    QString putBy;         // the till that put it aside: "本机", or its name
    int heldBy = 0;        // another till that has it on its windows; 0: none
    QString heldByName;
    bool inShop = false;   // the shop has it: 取单 takes it there first
};

class OpenOrders : public QObject {
    Q_OBJECT

public:
    explicit OpenOrders(QObject *parent = nullptr);

    // The journal's open orders, read at start. Orders put aside before they
    // arrived stay as they are here.
    void load(const QList<journal::OpenOrder> &stored);
    bool isLoaded() const { return m_loaded; }

    // The orders waiting, oldest first; the one brought back onto the
    // windows is not among them.
    QList<HeldOrder> waiting() const;
    std::optional<HeldOrder> find(const QString &uid) const;
    // Whether an order waiting, other than `uid`, is called `name`.
    bool nameInUse(const QString &name, const QString &uid = {}) const;

    // In a shop: this till's number there. From then on the shop's open
    // tables (setShopView) join this till's own in listing().
    void joinShop(int tillNumber, const QString &tillUid);
    bool inShop() const { return m_tillNumber > 0; }
    QString tillUid() const { return m_tillUid; }
    // The shop's open tables as the link last read them. Tables the shop
    // closed are no longer put aside here; a table whose name was taken is
    // told (told()) and, when it is this till's, renamed here too.
    void setShopView(const shop::TablesView &view);
    // Whether the last view came from the server; else only this till's
    // own are listed.
    bool shopReachable() const { return m_view.reachable; }
    const QList<shop::ShopTable> &shopTables() const { return m_view.open; }
    // What 取单 lists, oldest first: without a shop, waiting(). In a shop
    // that answers, every open table of the shop and this till's own not
    // yet up; while it is away, this till's own, less those another till
    // had taken when last seen.
    QList<TableEntry> listing() const;
    // A table taken from the shop (its state as the shop has it) is known
    // here as the one about to come onto the windows. Nothing is written:
    // it is written when it is put aside again or ends.
    void adopt(const HeldOrder &held);

    // Puts `held` aside (a new order, or the one brought back, again).
    void keep(const HeldOrder &held);
    // Keeps the state of `held`, the order on the windows, in the journal
    // (what its last 下单 sent), without putting it aside.
    void update(const HeldOrder &held);
    // `uid` is brought back onto the windows: it stays in the journal until
    // it is put aside again or ends there, but is no longer waiting.
    void bringBack(const QString &uid);
    // `uid` ended on the windows (paid or cleared); the journal removes it
    // with the order it became, or with dropped() when it ended empty.
    void ended(const QString &uid, bool recorded);

signals:
    void loaded();  // the journal's open orders arrived
    void kept(const journal::OpenOrder &open);
    void dropped(const QString &uid);
    // Something about the shop's tables the cashier hears once, in Chinese.
    void told(const QString &text);

private:
    QList<HeldOrder> m_orders;  // oldest first
    QString m_onWindows;
    bool m_loaded = false;
    int m_tillNumber = 0;
    QString m_tillUid;
    shop::TablesView m_view;
    QStringList m_elsewhere;   // taken or put aside by another till, as last seen
    QStringList m_toldRenamed;
};

}  // namespace till
