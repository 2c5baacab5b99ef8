#pragma once
// The orders put aside (挂单), as the till knows them: read from the journal
// once at start, then kept here as the cashier puts orders aside and brings
// them back, every change handed on to the journal (kept() and dropped()),
// which writes it off the GUI thread. The list never waits on the database.
// No widgets here.

#include "till/held_order.h"

#include <QObject>

namespace till {

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

private:
    QList<HeldOrder> m_orders;  // oldest first
    QString m_onWindows;
    bool m_loaded = false;
};

}  // namespace till
