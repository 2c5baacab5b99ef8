#include "till/order_in_progress.h"

#include <QUuid>

namespace till {

namespace {

QString newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

}  // namespace

OrderInProgress::OrderInProgress(QObject *parent) : QObject(parent), m_uid(newUid()) {}

void OrderInProgress::handOff(int category, const QString &categoryName, double subtotal,
                              const QList<journal::OrderLine> &lines)
{
    if (category < 1 || category > journal::categoryCount)
        return;
    Handed &handed = m_handed[category - 1];
    handed.name = categoryName;
    handed.subtotal = subtotal;
    handed.lines = lines;
    for (journal::OrderLine &line : handed.lines) {
        line.category = category;
        line.categoryName = categoryName;
    }
    emit changed();
}

void OrderInProgress::billBuilt(int number, const QString &text)
{
    m_billNumber = number;
    m_billText = text;
    emit changed();
}

void OrderInProgress::billPrinted()
{
    m_printed = m_printed || m_billNumber.has_value();
    emit changed();
}

void OrderInProgress::billCopied()
{
    m_copied = m_copied || m_billNumber.has_value();
    emit changed();
}

void OrderInProgress::setSentToKitchen(const QList<HeldDish> &sent)
{
    m_sentToKitchen = sent;
    emit changed();
}

journal::Order OrderInProgress::current() const
{
    journal::Order order;
    order.billNumber = m_billNumber;
    order.billText = m_billText;
    order.printed = m_printed;
    order.copied = m_copied;
    for (int k = 0; k < journal::categoryCount; ++k) {
        order.categoryNames[k] = m_handed[k].name;
        order.categoryTotals[k] = m_handed[k].subtotal;
        order.grandTotal += m_handed[k].subtotal;
        order.lines += m_handed[k].lines;
    }
    return order;
}

journal::Order OrderInProgress::end(journal::OrderStatus status,
                                    const std::optional<journal::Payment> &payment, int receipt)
{
    journal::Order order = current();
    order.endedAt = QDateTime::currentDateTime();
    order.uid = m_uid;
    order.status = status;
    if (status == journal::OrderStatus::Paid)
        order.payment = payment;
    order.receipt = receipt;
    order.closesOpenUid = m_heldUid;
    const bool worthKeeping = !order.isEmpty() || order.payment.has_value();
    if (worthKeeping && m_numbering)
        order.receiptNumber = m_numbering(order.endedAt.date());

    reset();
    if (worthKeeping) {
        emit ended(order);
    } else {
        emit discarded(order.uid);
        if (!order.closesOpenUid.isEmpty())
            emit abandoned(order.closesOpenUid);
    }
    return order;
}

void OrderInProgress::reset()
{
    m_handed = {};
    m_billNumber.reset();
    m_billText.clear();
    m_printed = m_copied = false;
    m_heldUid.clear();
    m_heldName.clear();
    m_sentToKitchen.clear();
    m_uid = newUid();
}

void OrderInProgress::broughtBack(const HeldOrder &held)
{
    m_heldUid = held.uid;
    m_heldName = held.name;
    m_billNumber = held.billNumber;
    m_billText = held.billText;
    m_printed = held.printed;
    m_copied = held.copied;
    m_sentToKitchen = held.sentToKitchen;
    emit changed();
}

void OrderInProgress::restore(const QString &uid, const HeldOrder &held)
{
    m_uid = uid;
    broughtBack(held);
}

HeldOrder OrderInProgress::snapshot(const QList<HeldDish> &dishes, journal::Fen total) const
{
    HeldOrder held;
    held.uid = m_heldUid;
    held.name = m_heldName;
    held.heldAt = QDateTime::currentDateTime();
    held.total = total;
    held.dishes = dishes;
    held.billNumber = m_billNumber;
    held.billText = m_billText;
    held.printed = m_printed;
    held.copied = m_copied;
    held.sentToKitchen = m_sentToKitchen;
    return held;
}

HeldOrder OrderInProgress::setAside(const QString &name, const QList<HeldDish> &dishes,
                                    journal::Fen total)
{
    HeldOrder held = snapshot(dishes, total);
    if (held.uid.isEmpty())
        held.uid = newUid();
    held.name = name;
    held.closesCurrent = m_uid;
    reset();
    return held;
}

}  // namespace till
