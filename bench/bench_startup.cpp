// Time from process start to the first frame of the welcome window, next to
// a bare Qt window with one button started the same way, runs taken in turn.
// The benchmark starts itself again as a child: `--program` goes the
// program's whole way in (single-copy lock, translation, icon, windows),
// `--bare` shows the one-button window. A child reports as soon as its first
// window has been exposed and painted; the parent times it from launch, and
// also takes the processor time it used, which a busy machine disturbs less.
// The program is timed twice: on its own, and as a till of a shop whose
// server is away (its address a port where nothing listens), which must be
// no slower: the link starts after the first frame, on a thread of its own.

#include "journal/journal.h"
#include "journal/outbox.h"
#include "shell/program.h"
#include "shop/shop_config.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <vector>

namespace {

// Says "shown" once a window is exposed and its first paint is done (the
// paint runs within the expose, the zero timer after it), then ends.
struct FirstFrame : QObject {
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && object->isWindowType() &&
            static_cast<QWindow *>(object)->isExposed()) {
            QTimer::singleShot(0, [] {
                std::puts("shown");
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return false;
    }
};

int runChild(int argc, char *argv[], bool bare)
{
    QApplication application(argc, argv);
    FirstFrame firstFrame;
    application.installEventFilter(&firstFrame);
    if (!bare)
        return startProgram();
    QPushButton button(QStringLiteral("菜单"));
    button.resize(392, 602);
    button.show();
    return QApplication::exec();
}

// Processor time, user and system, of the children that have ended so far.
double childrenCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && (QByteArray(argv[1]) == "--program" || QByteArray(argv[1]) == "--bare"))
        return runChild(argc, argv, QByteArray(argv[1]) == "--bare");

    QCoreApplication application(argc, argv);
    constexpr int runs = 21;
    struct Figures {
        std::vector<double> wall, cpu;
    } program, bare, shopAway;
    // A till of a shop whose server is away: its own data folder.
    QTemporaryDir shopHome;
    const QString shopFolder = shopHome.path() + QStringLiteral("/Tavelko");
    {
        journal::Journal till(shopFolder);
        shop::pg::Address away;
        away.host = QStringLiteral("127.0.0.1");
        away.port = 1;
        away.database = away.user = QStringLiteral("shop");
        if (!till.open() || !till.joinShop({QStringLiteral("b5e0c1de-0000-4000-8000-000000000001"), 3,
                                            QStringLiteral("前台")}) ||
            !shop::saveAddress(away, shopFolder).isEmpty()) {
            std::fprintf(stderr, "the shop's till could not be made: %s\n", qPrintable(till.error()));
            return 1;
        }
    }
    // One child: milliseconds to its first frame and the processor time it
    // took; false when it did not show.
    const auto time = [&shopHome](const QString &mode, Figures &figures, bool shop = false) {
        const double cpuBefore = childrenCpuMs();
        QProcess child;
        if (shop) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("XDG_DATA_HOME"), shopHome.path());
            child.setProcessEnvironment(environment);
        }
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {mode});
        QByteArray said;
        while (!said.contains("shown") && child.waitForReadyRead(30000))
            said += child.readAllStandardOutput();
        const double ms = clock.nsecsElapsed() / 1e6;
        child.waitForFinished(30000);
        figures.wall.push_back(ms);
        figures.cpu.push_back(childrenCpuMs() - cpuBefore);
        return said.contains("shown");
    };
    Figures warm;  // the caches, once
    time(QStringLiteral("--bare"), warm);
    time(QStringLiteral("--program"), warm);
    for (int i = 0; i < runs; ++i) {
        if (!time(QStringLiteral("--bare"), bare) || !time(QStringLiteral("--program"), program) ||
            !time(QStringLiteral("--program"), shopAway, true)) {
            std::fprintf(stderr, "a window did not show\n");
            return 1;
        }
    }
    const double p = median(program.wall), b = median(bare.wall);
    const double pc = median(program.cpu), bc = median(bare.cpu);
    const double s = median(shopAway.wall), sc = median(shopAway.cpu);
    std::printf("start-up to the first frame (median of %d runs each, platform %s)\n"
                "                          wall clock       processor\n"
                "  welcome window          %6.1f ms        %6.1f ms\n"
                "  bare one-button window  %6.1f ms        %6.1f ms\n"
                "  program against bare    %+5.0f %%          %+5.0f %%\n"
                "  a shop's till, server away %6.1f ms     %6.1f ms (%+.0f %% against the program alone)\n",
                runs, qPrintable(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM"))), p, pc, b,
                bc, (p / b - 1) * 100, (pc / bc - 1) * 100, s, sc, (s / p - 1) * 100);
    return 0;
}
