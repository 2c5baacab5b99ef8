#include "common/accessible_bus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace a11y {

namespace {

// How Qt's bridge names its connection to the accessibility bus and the
// objects it serves there.
const QString bridgeConnection = QStringLiteral("a11y");
const QString objectPrefix = QStringLiteral("/org/a11y/atspi/accessible/");

}  // namespace

bool sendTextChange(QAccessibleInterface *face, QAccessible::Event what)
{
    if (!face || !face->isValid() || face->role() == QAccessible::Application)
        return false;
    if (what != QAccessible::NameChanged && what != QAccessible::DescriptionChanged)
        return false;
    QDBusConnection bus(bridgeConnection);
    if (!bus.isConnected())
        return false;
    const bool name = what == QAccessible::NameChanged;
    const QString path = objectPrefix + QString::number(QAccessible::uniqueId(face));
    // The application the event comes from, as the bridge sends it.
    QDBusArgument application;
    application.beginStructure();
    application << bus.baseService() << QDBusObjectPath(objectPrefix + QStringLiteral("root"));
    application.endStructure();
    QDBusMessage signal = QDBusMessage::createSignal(
        path, QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("PropertyChange"));
    signal << (name ? QStringLiteral("accessible-name") : QStringLiteral("accessible-description"))
           << 0 << 0
           << QVariant::fromValue(QDBusVariant(
                  face->text(name ? QAccessible::Name : QAccessible::Description)))
           << QVariant::fromValue(application);
    return bus.send(signal);
}

}  // namespace a11y
