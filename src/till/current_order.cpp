#include "till/current_order.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace till {

journal::CurrentOrder toCurrent(const QString &uid, const HeldOrder &held)
{
    const journal::OpenOrder open = held.toOpen();
    QJsonObject state = QJsonDocument::fromJson(open.state).object();
    state.insert(QStringLiteral("openUid"), held.uid);
    state.insert(QStringLiteral("name"), held.name);
    journal::CurrentOrder current;
    current.uid = uid;
    current.savedAt = held.heldAt;
    current.total = held.total;
    current.state = QJsonDocument(state).toJson(QJsonDocument::Compact);
    return current;
}

std::optional<HeldOrder> fromCurrent(const journal::CurrentOrder &current)
{
    const QJsonObject state = QJsonDocument::fromJson(current.state).object();
    journal::OpenOrder open;
    open.uid = state.value(QStringLiteral("openUid")).toString();
    open.name = state.value(QStringLiteral("name")).toString();
    open.heldAt = current.savedAt;
    open.total = current.total;
    open.state = current.state;
    return HeldOrder::fromOpen(open);
}

}  // namespace till
