#pragma once
// The lock a running copy holds for as long as it runs. The system drops it
// when the process ends, however it ends, so a lock is never stale: there is
// nothing to inspect or take over after a crash.

#include <QString>

class InstanceLock {
public:
    enum class Result { Taken, HeldByAnother, Unavailable };

    explicit InstanceLock(const QString &path) : m_path(path) {}
    ~InstanceLock();  // drops the lock and removes its file
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    Result take();
    bool isTaken() const;

private:
    QString m_path;
#ifdef Q_OS_WIN
    void *m_file = nullptr;   // HANDLE, opened for this process only
    void *m_marker = nullptr; // HANDLE of the named mutex the installer looks for
#else
    int m_descriptor = -1;
#endif
};
