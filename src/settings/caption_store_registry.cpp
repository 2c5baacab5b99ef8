// The caption store in the Windows registry
// (HKEY_CURRENT_USER\Software\Tavelko\Tavelko), through QSettings. The
// registry has no file to damage, lock or run out of room in, but a write can
// still fail or not reach it: every save is read back, and what did not
// arrive is set back to what the store held before.

#include "settings/store_backend.h"

#include <QSettings>

namespace settings::backend {

namespace {

QSettings openStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavelko"),
                     QStringLiteral("Tavelko"));
}

QString textOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

}  // namespace

void (*afterReplace)(const QString &file) = nullptr;

QString location()
{
    return openStore().fileName();
}

Snapshot read()
{
    Snapshot snapshot;
    QSettings store = openStore();
    const QStringList keys = store.allKeys();
    for (const QString &key : keys)
        snapshot.entries.insert(key, textOf(store.value(key)));
    if (store.status() == QSettings::AccessError) {
        snapshot.condition = Condition::Unreadable;
        snapshot.reason = QStringLiteral("没有读取注册表的权限");
    }
    return snapshot;
}

void removeLeftovers()
{
}

QString copyNameFor(const Snapshot &)
{
    return {};
}

bool keepCopy(const Snapshot &, QString *)
{
    return true;
}

QString write(const Entries &before, const Entries &after)
{
    QList<QString> changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        if (!before.contains(it.key()) || before.value(it.key()) != it.value())
            changed.append(it.key());

    QSettings::Status status;
    {
        QSettings store = openStore();
        for (const QString &key : changed)
            store.setValue(key, after.value(key));
        store.sync();
        status = store.status();
    }
    if (afterReplace)
        afterReplace(location());
    const Snapshot written = read();
    if (status == QSettings::NoError && written.condition == Condition::Fine &&
        written.entries == after)
        return {};

    // Put back what was there before.
    {
        QSettings store = openStore();
        for (const QString &key : changed) {
            if (before.contains(key))
                store.setValue(key, before.value(key));
            else
                store.remove(key);
        }
        store.sync();
    }
    return status == QSettings::AccessError
               ? QStringLiteral("没有写入注册表的权限")
               : QStringLiteral("写入后读回的内容与要保存的内容不一致");
}

}  // namespace settings::backend
