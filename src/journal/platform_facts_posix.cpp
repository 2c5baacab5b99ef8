#include "journal/platform_facts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
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

QString fileIdentity(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return QString();
    return QStringLiteral("%1:%2").arg(quint64(status.st_dev)).arg(quint64(status.st_ino));
}

bool makeOwnFolder(const QString &folder)
{
    const QByteArray name = QFile::encodeName(folder);
    if (!QFileInfo(folder).isDir()) {
        QDir().mkpath(QFileInfo(folder).path());
        ::mkdir(name.constData(), 0700);  // the umask may only take away from 0700
    }
    struct stat status {};
    if (::stat(name.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    if (status.st_uid == ::geteuid() && (status.st_mode & 077))
        ::chmod(name.constData(), status.st_mode & 0700);
    return true;
}

void makeOwnFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // Never follows a link, never waits on a pipe.
    const int descriptor = ::open(name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return;
    struct stat status {};
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
        (status.st_mode & 077))
        ::fchmod(descriptor, status.st_mode & 0700);
    ::close(descriptor);
}

QString notOwnFile(const QString &path)
{
    struct stat file {}, folder {};
    if (::lstat(QFile::encodeName(path).constData(), &file) != 0)
        return QStringLiteral("无法读取它的属性");
    if (!S_ISREG(file.st_mode))
        return QStringLiteral("它不是普通文件");
    if (file.st_uid != ::geteuid())
        return QStringLiteral("它属于另一个用户（uid %1）").arg(file.st_uid);
    if (file.st_mode & 022)
        return QStringLiteral("其他用户可以改写它");
    const QString parent = QFileInfo(path).absolutePath();
    if (::stat(QFile::encodeName(parent).constData(), &folder) != 0)
        return QStringLiteral("无法读取它所在文件夹的属性");
    if (folder.st_uid != ::geteuid() && folder.st_uid != 0)
        return QStringLiteral("它所在的文件夹属于另一个用户（uid %1）").arg(folder.st_uid);
    if (folder.st_mode & 022)
        return QStringLiteral("其他用户可以在它所在的文件夹中放入文件");
    return QString();
}

void ignoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

bool isNoRoomError(int systemError)
{
    return systemError == ENOSPC || systemError == EFBIG || systemError == EDQUOT;
}

}  // namespace journal::platform
