#include "journal/platform_facts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <windows.h>

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

QString fileIdentity(const QString &path)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    HANDLE file = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return QString();
    BY_HANDLE_FILE_INFORMATION info {};
    const bool known = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!known)
        return QString();
    const quint64 index = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return QStringLiteral("%1:%2").arg(quint64(info.dwVolumeSerialNumber)).arg(index);
}

// The user's own profile folders (%LOCALAPPDATA%, %APPDATA%) are closed to
// other users already; the files made in them inherit that.
bool makeOwnFolder(const QString &folder)
{
    return QDir().mkpath(folder);
}

void makeOwnFile(const QString &path)
{
    if (QFileInfo::exists(path))
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        file.close();
}

QString notOwnFile(const QString &path)
{
    return QFileInfo(path).isFile() ? QString() : QStringLiteral("它不是普通文件");
}

void ignoreFileSizeSignal()
{
}

bool isNoRoomError(int systemError)
{
    return systemError == ERROR_DISK_FULL || systemError == ERROR_HANDLE_DISK_FULL;
}

}  // namespace journal::platform
