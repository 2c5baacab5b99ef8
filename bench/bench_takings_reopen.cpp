// 营业记录 opened, closed and opened again on a busy day, and one order voided
// there: what the owner waits for and what the cashier's window waits for.
// For each step it prints the time until the figures are shown (and painted)
// and the longest stretch the GUI thread was busy without turning to its
// events, measured by a 1 ms timer that notes how late each of its ticks
// came, in the thread's own time (and on the wall clock, which a loaded
// machine's other work lengthens). Aim: no stretch above one frame (16 ms),
// figures within 250 ms.
//
// bench_takings_reopen [ORDERS...]   (1000 and 5000 when none are given)

#include "busy_day.h"
#include "journal/journal.h"
#include "journal/journal_service.h"
#include "takings/takings_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#if defined(Q_OS_UNIX)
#include <time.h>
#endif

namespace {

// The GUI thread's own time (CPU time where the system keeps it per
// thread, so that a loaded machine's other work is not counted).
qint64 threadNanoseconds()
{
#if defined(Q_OS_UNIX)
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
#else
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed();
#endif
}

// The longest stretch between two turns of the GUI thread's event loop
// while it runs: on the clock on the wall, and in the thread's own time.
class StallWatch {
public:
    StallWatch()
    {
        m_tick.setTimerType(Qt::PreciseTimer);
        m_tick.setInterval(1);
        QObject::connect(&m_tick, &QTimer::timeout, [this] { turn(); });
    }
    void start()
    {
        m_longestWall = m_longestBusy = 0;
        m_clock.start();
        m_lastWall = 0;
        m_lastBusy = threadNanoseconds();
        m_tick.start();
    }
    void stop()
    {
        m_tick.stop();
        turn();  // the stretch still running when measuring ends counts too
    }
    double longestWallMs() const { return m_longestWall / 1e6; }
    double longestBusyMs() const { return m_longestBusy / 1e6; }

private:
    void turn()
    {
        const qint64 wall = m_clock.nsecsElapsed(), busy = threadNanoseconds();
        m_longestWall = std::max(m_longestWall, wall - m_lastWall);
        m_longestBusy = std::max(m_longestBusy, busy - m_lastBusy);
        m_lastWall = wall;
        m_lastBusy = busy;
    }

    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_lastWall = 0, m_lastBusy = 0;
    qint64 m_longestWall = 0, m_longestBusy = 0;
};

QList<journal::Order> busyDay(const QDate &day, int count)
{
    QList<journal::Order> orders;
    const QDateTime opening(day, QTime(8, 0));
    for (int i = 0; i < count; ++i) {
        journal::Order order = bench::busyOrder(i, opening.addSecs(i * 50400LL / count));
        order.receiptNumber = QStringLiteral("%1-%2").arg(day.toString(QStringLiteral("yyyyMMdd"))).arg(i + 1, 4, 10, QLatin1Char('0'));
        orders << order;
    }
    return orders;
}

struct Step {
    double shownMs = 0;    // until the figures are shown and painted
    double busyMs = 0;     // the longest stretch of the GUI thread's own work
    double wallMs = 0;     // the same stretch on the wall clock, other programs' work included
};

// Runs `begin`, then the event loop until the window has shown a day `count`
// orders long (and, for a void, until the void is done), then paints it.
template <class Begin>
Step measure(takings::TakingsWindow &window, int count, bool awaitDone, Begin begin)
{
    bool shown = false, done = !awaitDone;
    const auto a = QObject::connect(&window, &takings::TakingsWindow::dayShown, [&](bool) { shown = true; });
    const auto b = QObject::connect(&window, &takings::TakingsWindow::done, [&](bool) { done = true; });
    StallWatch watch;
    QElapsedTimer clock;
    watch.start();
    clock.start();
    begin();
    if (!QTest::qWaitFor([&] { return shown && done; }, 600000))
        std::fprintf(stderr, "the figures never came\n");
    window.repaint();  // painted, as the owner sees it
    Step step;
    step.shownMs = clock.nsecsElapsed() / 1e6;
    // What the window still does once the figures are in.
    QTest::qWait(100);
    watch.stop();
    step.busyMs = watch.longestBusyMs();
    step.wallMs = watch.longestWallMs();
    QObject::disconnect(a);
    QObject::disconnect(b);
    if (window.orders().size() != count)
        std::fprintf(stderr, "%lld orders shown, not %d\n", qlonglong(window.orders().size()), count);
    return step;
}

void print(const char *what, int count, const Step &s)
{
    std::printf("%-22s %5d orders: figures shown in %8.1f ms, GUI thread busy at most %8.1f ms (%.1f ms on the wall)%s\n",
                what, count, s.shownMs, s.busyMs, s.wallMs, s.busyMs > 16 || s.shownMs > 250 ? "  (over the aim)" : "");
    std::fflush(stdout);
}

void run(int count)
{
    QTemporaryDir folder;
    const QDate day = QDate::currentDate();
    {
        journal::Journal journal(folder.path());
        if (!journal.open() || !journal.recordAll(busyDay(day, count))) {
            std::fprintf(stderr, "journal: %s\n", qPrintable(journal.error()));
            return;
        }
    }
    journal::JournalService service(folder.path());
    service.start();
    QWidget owner;
    owner.resize(800, 600);
    owner.show();
    takings::TakingsWindow window(service, &owner);
    window.setWindowFlag(Qt::Window);
    window.resize(1200, 800);
    // As the main window opens it: the day read, the window shown.
    auto open = [&] {
        window.showDay(day);
        window.show();
    };
    print("营业记录 first opening", count, measure(window, count, false, open));
    window.close();
    QApplication::processEvents();
    print("营业记录 reopened", count, measure(window, count, false, open));
    window.close();
    QApplication::processEvents();
    print("营业记录 third opening", count, measure(window, count, false, open));
    const qint64 id = window.orders()[window.orders().size() / 2].id;
    print("one order voided", count, measure(window, count, true, [&] { window.voidOrder(id, QStringLiteral("点错")); }));
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QList<int> counts;
    for (int i = 1; i < argc; ++i)
        counts << QString::fromLocal8Bit(argv[i]).toInt();
    if (counts.isEmpty())
        counts = {1000, 5000};
    for (int count : counts)
        run(count);
    return 0;
}
