#include "shell/end_request.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int wakeUp[2] = {-1, -1};  // the handler writes one end, the event loop reads the other

extern "C" void askToEnd(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeUp[0], &byte, 1);
}

}  // namespace

void quitOnEndRequest()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeUp) != 0)
        return;  // the default handling stays: the program ends at once
    ::fcntl(wakeUp[0], F_SETFL, O_NONBLOCK);
    auto *notifier = new QSocketNotifier(wakeUp[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [notifier] {
        notifier->setEnabled(false);
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(wakeUp[1], &byte, 1);
        // exit(), not quit(): quit() first asks every window to close, and
        // the order sheets refuse.
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = askToEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}
