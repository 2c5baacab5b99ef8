#include "journal/platform_facts.h"

#include <QFileInfo>

namespace journal::platform {

QString currentUser()
{
    const QString user = qEnvironmentVariable("USERNAME");
    return user.isEmpty() ? QStringLiteral("运行 Tavelko 的用户") : user;
}

QString specialFileKind(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return QString();
    return info.isDir() ? QStringLiteral("一个文件夹") : QStringLiteral("一个特殊文件");
}

QString settingsFolder()
{
    return qEnvironmentVariable("APPDATA");  // roaming; the journal itself is local
}

}  // namespace journal::platform
