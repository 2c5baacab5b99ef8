#include "shell/single_instance.h"

#include "common/save_file.h"
#include "journal/journal.h"
#include "journal/platform_facts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QStandardPaths>
#include <QWidget>

namespace {

QString instanceFolder()
{
    // Beside the journal, which is what one copy at a time must hold: the
    // same folder for every session of the user (a second login, su, cron),
    // whatever its environment says of a runtime folder.
    const QString folder = journal::defaultFolder();
    journal::platform::makeOwnFolder(folder);
    return folder;
}

}  // namespace

SingleInstance::SingleInstance(IfRunning ifRunning)
    : m_request(instanceFolder() + QStringLiteral("/Tavelko.show")),
      m_lock(instanceFolder() + QStringLiteral("/Tavelko.lock"))
{
    // Where no lock can be made at all, run unguarded rather than not at all.
    m_first = m_lock.take() != InstanceLock::Result::HeldByAnother;
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
    if (m_lock.isTaken())
        QFile::remove(m_request);  // the lock goes with m_lock
}

void SingleInstance::ask()
{
    // Written aside and renamed into place, so the first copy sees it appear
    // complete, however many times it is asked.
    QSaveFile request(m_request);
    if (request.open(QIODevice::WriteOnly)) {
        request.write(QByteArray::number(QCoreApplication::applicationPid()));
        commitWhole(request);
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
