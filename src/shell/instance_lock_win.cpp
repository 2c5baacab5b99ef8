// A file opened for this process alone and deleted when its handle closes:
// Windows closes it when the process ends, however it ends. While it runs
// the program also holds the named mutex "Global\Tavelko.Running", by which
// the installer and uninstaller find a running Tavelko of any user.

#include "shell/instance_lock.h"

#include <QDir>
#include <QThread>

#include <windows.h>

InstanceLock::Result InstanceLock::take()
{
    const std::wstring path = QDir::toNativeSeparators(m_path).toStdWString();
    for (int attempt = 0; attempt < 25; ++attempt) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_file = file;
            m_marker = CreateMutexW(nullptr, FALSE, L"Global\\Tavelko.Running");
            return Result::Taken;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION)
            return Result::HeldByAnother;
        if (error != ERROR_ACCESS_DENIED)
            return Result::Unavailable;
        QThread::msleep(20);  // a copy that just ended: its file is still being deleted
    }
    return Result::Unavailable;
}

bool InstanceLock::isTaken() const
{
    return m_file != nullptr;
}

InstanceLock::~InstanceLock()
{
    if (m_marker)
        CloseHandle(m_marker);
    if (m_file)
        CloseHandle(m_file);  // deletes the file
}
