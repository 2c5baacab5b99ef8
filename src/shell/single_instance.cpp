#include "shell/single_instance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

namespace {

QString instanceFolder()
{
    // The runtime folder is the user's own and is emptied at logout; where
    // the platform has none (Qt names the home folder then), the user's
    // temporary folder.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && runtime != QDir::homePath() && QDir().mkpath(runtime))
        return runtime;
    return QDir::tempPath();
}

}  // namespace

SingleInstance::SingleInstance(IfRunning ifRunning)
    : m_request(instanceFolder() + QStringLiteral("/Tavelko.show")),
      m_lock(instanceFolder() + QStringLiteral("/Tavelko.lock"))
{
    m_lock.setStaleLockTime(0);  // a lock is stale when its process is gone, never by age
    m_first = acquire();
    if (!m_first) {
        if (ifRunning == IfRunning::AskForward)
            ask();
        return;
    }
    if (ifRunning == IfRunning::LeaveAlone)
        return;  // holds the lock only, for as long as it lives
    QFile::remove(m_request);  // left by a run that ended abruptly
    m_watcher = new QFileSystemWatcher({QFileInfo(m_request).path()}, this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &SingleInstance::checkRequest);
}

SingleInstance::~SingleInstance()
{
    if (m_first && m_lock.isLocked()) {
        QFile::remove(m_request);
        m_lock.unlock();
    }
}

bool SingleInstance::acquire()
{
    // Qt takes over a lock whose process has ended. A lock without a process
    // id is either being written by a copy that is starting this very moment
    // or was left by one killed before it could write it: give it a moment.
    for (int attempt = 0; attempt < 25; ++attempt) {
        if (m_lock.tryLock(0))
            return true;
        if (m_lock.error() != QLockFile::LockFailedError)
            return true;  // no lock can be made here: run unguarded rather than not at all
        qint64 pid = 0;
        QString host, application;
        if (m_lock.getLockInfo(&pid, &host, &application))
            return false;  // held by a running copy
        QThread::msleep(20);
    }
    m_lock.removeStaleLockFile();
    return m_lock.tryLock(0) || m_lock.error() != QLockFile::LockFailedError;
}

void SingleInstance::ask()
{
    // Written aside and renamed into place, so the first copy sees it appear
    // complete, however many times it is asked.
    QSaveFile request(m_request);
    if (request.open(QIODevice::WriteOnly)) {
        request.write(QByteArray::number(QCoreApplication::applicationPid()));
        request.commit();
    }
}

void SingleInstance::checkRequest()
{
    if (QFile::exists(m_request) && QFile::remove(m_request))
        emit requested();
}

void bringVisibleWindowForward()
{
    QWidget *front = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->windowType() == Qt::Popup ||
            window->windowType() == Qt::ToolTip)
            continue;
        if (window->isMinimized())
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
        if (!front || window->isActiveWindow())
            front = window;
    }
    if (QWidget *modal = QApplication::activeModalWidget())
        front = modal;
    if (front) {
        front->raise();
        front->activateWindow();
    }
}
