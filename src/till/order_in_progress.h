#pragma once
// The order in progress as data: what each sheet's "关闭" handed on, the last
// bill built for it and whether it was printed or copied. It ends when the
// main window is cleared (paid with 结账 or not) or when the program ends,
// and then becomes the journal's order. No widgets here, and no window reads
// anything back from it: the captions stay the data of the windows.

#include "journal/journal.h"

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

    // Ends the order now with `status` (and `payment` when paid): gives it
    // its identity and, unless it is empty, its 单号; emits ended() for an
    // order that holds anything; then starts the next, empty order.
    journal::Order end(journal::OrderStatus status,
                       const std::optional<journal::Payment> &payment = std::nullopt);

signals:
    void ended(const journal::Order &order);

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
    Numbering m_numbering;
};

}  // namespace till
