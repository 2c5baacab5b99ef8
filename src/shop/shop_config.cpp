#include "shop/shop_config.h"

#include "journal/platform_facts.h"
#include "payment/shop_settings.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include <libpq-fe.h>

namespace shop {

namespace {

const QString group = QStringLiteral("shopDatabase/");

// A field of a password file line: ':' and '\' escaped.
QString escaped(QString field)
{
    field.replace(u'\\', QStringLiteral("\\\\"));
    field.replace(u':', QStringLiteral("\\:"));
    return field;
}

}  // namespace

std::optional<pg::Address> loadAddress(const QString &folder)
{
    QSettings file(payment::shopFile(folder), QSettings::IniFormat);
    const QString host = file.value(group + QStringLiteral("host")).toString().trimmed();
    if (host.isEmpty())
        return std::nullopt;
    pg::Address address;
    address.host = host;
    address.port = file.value(group + QStringLiteral("port"), 5432).toInt();
    address.database = file.value(group + QStringLiteral("database")).toString();
    address.user = file.value(group + QStringLiteral("user")).toString();
    address.sslMode = file.value(group + QStringLiteral("sslMode"), QStringLiteral("prefer")).toString();
    address.caFile = file.value(group + QStringLiteral("caFile")).toString();
    return address;
}

qint64 menuVersion(const QString &folder)
{
    QSettings file(payment::shopFile(folder), QSettings::IniFormat);
    return qMax<qint64>(0, file.value(group + QStringLiteral("menuVersion"), 0).toLongLong());
}

void setMenuVersion(qint64 version, const QString &folder)
{
    QSettings file(payment::shopFile(folder), QSettings::IniFormat);
    file.setValue(group + QStringLiteral("menuVersion"), version);
}

QString saveAddress(const pg::Address &address, const QString &folder)
{
    QSettings file(payment::shopFile(folder), QSettings::IniFormat);
    file.setValue(group + QStringLiteral("host"), address.host.trimmed());
    file.setValue(group + QStringLiteral("port"), address.port);
    file.setValue(group + QStringLiteral("database"), address.database);
    file.setValue(group + QStringLiteral("user"), address.user);
    file.setValue(group + QStringLiteral("sslMode"), address.sslMode);
    file.setValue(group + QStringLiteral("caFile"), address.caFile);
    file.sync();
    if (file.status() != QSettings::NoError)
        return QStringLiteral("店铺数据库的设置没能保存到 %1。").arg(QDir::toNativeSeparators(file.fileName()));
    return {};
}

QString passwordFilePath()
{
    const QString fromEnvironment = qEnvironmentVariable("PGPASSFILE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
#ifdef Q_OS_WIN
    return QDir(qEnvironmentVariable("APPDATA")).filePath(QStringLiteral("postgresql/pgpass.conf"));
#else
    return QDir::home().filePath(QStringLiteral(".pgpass"));
#endif
}

QString keepPassword(const pg::Address &address, const QString &password)
{
    const QString path = passwordFilePath();
    const QString prefix = QStringList{escaped(address.host.trimmed()), QString::number(address.port),
                                       escaped(address.database), escaped(address.user)}
                               .join(u':') +
                           u':';
    QStringList lines;
    if (QFile old(path); old.open(QIODevice::ReadOnly))
        for (const QString &line : QString::fromUtf8(old.readAll()).split(u'\n'))
            if (!line.isEmpty() && !line.startsWith(prefix))
                lines << line;
    lines.prepend(prefix + escaped(password));  // the first line that matches is the one libpq takes
    QDir().mkpath(QFileInfo(path).absolutePath());
    journal::platform::makeOwnFile(path);  // libpq ignores a file others may read
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write((lines.join(u'\n') + u'\n').toUtf8()) < 0 || !file.commit())
        return QStringLiteral("密码没能保存到 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString());
    journal::platform::makeOwnFile(path);
    return {};
}

QString parseAddress(const QString &uri, pg::Address *address, QString *password)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(uri.toUtf8().constData(), &error);
    if (!options) {
        const QString why = QString::fromUtf8(error ? error : "").trimmed();
        PQfreemem(error);
        return QStringLiteral("店铺数据库的地址写得不对：%1").arg(why);
    }
    pg::Address parsed;
    parsed.database.clear();
    for (PQconninfoOption *option = options; option->keyword; ++option) {
        if (!option->val)
            continue;
        const QString key = QString::fromLatin1(option->keyword);
        const QString value = QString::fromUtf8(option->val);
        if (key == QLatin1String("host"))
            parsed.host = value;
        else if (key == QLatin1String("port"))
            parsed.port = value.toInt();
        else if (key == QLatin1String("dbname"))
            parsed.database = value;
        else if (key == QLatin1String("user"))
            parsed.user = value;
        else if (key == QLatin1String("sslmode"))
            parsed.sslMode = value;
        else if (key == QLatin1String("sslrootcert"))
            parsed.caFile = value;
        else if (key == QLatin1String("password") && password)
            *password = value;
    }
    PQconninfoFree(options);
    if (parsed.host.isEmpty())
        return QStringLiteral("店铺数据库的地址里没有服务器（例如 postgresql://tavelko@192.168.1.10/shop）。");
    if (parsed.port < 1 || parsed.port > 65535)
        return QStringLiteral("端口要在 1 到 65535 之间。");
    if (parsed.database.isEmpty())
        parsed.database = parsed.user;
    *address = parsed;
    return {};
}

}  // namespace shop
