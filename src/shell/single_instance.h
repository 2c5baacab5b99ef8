#pragma once
// One running Tavelko per user. The first copy holds a lock in the journal's
// folder (the user's own data folder, the same for each of the user's
// sessions) and watches that folder; a later copy finds the lock held, leaves a request file there and
// ends, and the first copy brings its visible window to the front. Only
// QtCore: the Windows build has no QtNetwork.

#include "shell/instance_lock.h"

#include <QObject>

class QFileSystemWatcher;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // What a later copy does when a copy runs already: ask it to come
    // forward, or leave it alone (work that must not run beside it, such as
    // a menu import, only learns that it runs).
    enum class IfRunning { AskForward, LeaveAlone };
    explicit SingleInstance(IfRunning ifRunning = IfRunning::AskForward);
    // The first copy removes its lock and any request left for it.
    ~SingleInstance() override;

    // True in the first copy. In a later copy the request to come forward
    // has been left for the first one.
    bool isFirst() const { return m_first; }

signals:
    // A later copy asked this one to come forward.
    void requested();

private:
    void ask();
    void checkRequest();

    QString m_request;
    InstanceLock m_lock;
    QFileSystemWatcher *m_watcher = nullptr;
    bool m_first = true;
};

// Brings the program's visible windows to the front, the one that holds the
// keyboard (a dialog, if one is open) last.
void bringVisibleWindowForward();
