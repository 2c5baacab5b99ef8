// flock() on a file in the journal's folder: the kernel releases it when the
// process ends. Nothing is written to the disk but the file's name. Only a
// plain file of the user's is locked: never a link, never a pipe.

#include "shell/instance_lock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceLock::Result InstanceLock::take()
{
    const QByteArray path = QFile::encodeName(m_path);
    // A copy that is ending removes the file while holding the lock; a lock
    // won on a file that is no longer there guards nothing: take it again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int descriptor =
            ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (descriptor < 0)
            return Result::Unavailable;
        struct stat kind {};
        if (::fstat(descriptor, &kind) != 0 || !S_ISREG(kind.st_mode)) {
            ::close(descriptor);
            return Result::Unavailable;
        }
        if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(descriptor);
            return error == EWOULDBLOCK ? Result::HeldByAnother : Result::Unavailable;
        }
        struct stat held {}, named {};
        if (::fstat(descriptor, &held) == 0 && ::stat(path.constData(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            m_descriptor = descriptor;
            return Result::Taken;
        }
        ::close(descriptor);
    }
    return Result::Unavailable;
}

bool InstanceLock::isTaken() const
{
    return m_descriptor >= 0;
}

InstanceLock::~InstanceLock()
{
    if (m_descriptor < 0)
        return;
    ::unlink(QFile::encodeName(m_path).constData());  // still locked: no one takes it meanwhile
    ::close(m_descriptor);
}
