#pragma once
// The order in progress as data: what each sheet's "关闭" handed on, the last
// bill built for it and whether it was printed or copied. It ends when the
// main window is cleared (paid with 结账 or not) or when the program ends,
// and then becomes the journal's order. No widgets here, and no window reads
// anything back from it: the captions stay the data of the windows.

#include "journal/journal.h"
#include "till/held_order.h"

#include <QObject>

#include <array>
#include <functional>
#include <optional>

namespace till {

class OrderInProgress : public QObject {
    Q_OBJECT

public:
    using Numbering = std::function<QString(const QDate &day)>;

    explicit OrderInProgress(QObject *parent = nullptr);

    // Gives each order that ends its 单号 (the day's running number).
    void setNumbering(Numbering numbering) { m_numbering = std::move(numbering); }

    // A sheet's "关闭": its category (1 to 6), the category's name, its
    // subtotal and its lines, replacing what that sheet handed on before.
    void handOff(int category, const QString &categoryName, double subtotal,
                 const QList<journal::OrderLine> &lines);
    void billBuilt(int number, const QString &text);  // "清单"
    void billPrinted();  // "打印" of a built bill
    void billCopied();   // "复制" of a built bill

    // The order as it stands, not yet ended (no identity, no 单号).
    journal::Order current() const;
    bool isEmpty() const { return current().isEmpty(); }
    // Its identity on the windows, made as it starts: the journal keeps the
    // order on the windows under it, and records it under it when it ends.
    QString uid() const { return m_uid; }
    // The order as it stands, with the sheets' `dishes` and the grand total
    // `total`, as it would be put aside (under its name if brought back).
    HeldOrder snapshot(const QList<HeldDish> &dishes, journal::Fen total) const;
    // After a crash: the order kept on the windows as `uid` takes the place
    // of this empty one, like an order brought back.
    void restore(const QString &uid, const HeldOrder &held);

    // Ends the order now with `status` (and `payment` when paid): gives it
    // its identity and, unless it is empty, its 单号; emits ended() for an
    // order that holds anything; then starts the next, empty order.
    // `receipt`: its receipt's marks as it ends (journal::ReceiptSent when
    // the cashier asked for it at 结账).
    journal::Order end(journal::OrderStatus status,
                       const std::optional<journal::Payment> &payment = std::nullopt, int receipt = 0);

    // The order brought back from those put aside takes the place of this
    // empty one: its identity and name, its bill and what the kitchen has.
    void broughtBack(const HeldOrder &held);
    // Puts the order aside under `name` with the sheets' `dishes` and the
    // grand total `total`: returns it to keep, then starts the next, empty
    // order. Nothing is recorded: the order has not ended.
    HeldOrder setAside(const QString &name, const QList<HeldDish> &dishes, journal::Fen total);
    QString heldUid() const { return m_heldUid; }    // empty unless brought back
    QString heldName() const { return m_heldName; }
    // What the kitchen has been sent for this order (its last 下单).
    const QList<HeldDish> &sentToKitchen() const { return m_sentToKitchen; }
    void setSentToKitchen(const QList<HeldDish> &sent);

signals:
    // Anything handed on changed: a sheet's hand-off, the bill, the
    // kitchen's share, an order brought back.
    void changed();
    void ended(const journal::Order &order);
    // The order `uid` left the windows with nothing to record (empty).
    void discarded(const QString &uid);
    // An order brought back ended with nothing on it: nothing to record, and
    // it is no longer put aside either.
    void abandoned(const QString &uid);

private:
    struct Handed {
        QString name;
        double subtotal = 0;
        QList<journal::OrderLine> lines;
    };
    std::array<Handed, journal::categoryCount> m_handed;
    std::optional<int> m_billNumber;
    QString m_billText;
    bool m_printed = false;
    bool m_copied = false;
    QString m_heldUid, m_heldName;
    QList<HeldDish> m_sentToKitchen;
    QString m_uid;
    Numbering m_numbering;

    void reset();
};

}  // namespace till
