#include "journal/platform_facts.h"

#include <QFile>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace journal::platform {

QString currentUser()
{
    if (const passwd *entry = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("运行 Tavelko 的用户") : user;
}

QString specialFileKind(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return QString();
    return S_ISDIR(status.st_mode)                              ? QStringLiteral("一个文件夹")
           : S_ISFIFO(status.st_mode)                           ? QStringLiteral("一个管道（FIFO）")
           : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ? QStringLiteral("一个设备")
                                                                : QStringLiteral("一个特殊文件");
}

QString settingsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

}  // namespace journal::platform
