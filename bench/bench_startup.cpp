// Time from process start to the first frame of the welcome window, next to
// a bare Qt window with one button started the same way, runs taken in turn.
// The benchmark starts itself again as a child: `--program` goes the
// program's whole way in (single-copy lock, translation, icon, windows),
// `--bare` shows the one-button window. A child reports as soon as its first
// window has been exposed and painted; the parent times it from launch.

#include "shell/program.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    std::vector<double> program, bare;
    // One child: milliseconds to its first frame, or a negative number.
    const auto time = [](const QString &mode) {
        QProcess child;
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {mode});
        QByteArray said;
        while (!said.contains("shown") && child.waitForReadyRead(30000))
            said += child.readAllStandardOutput();
        const double ms = clock.nsecsElapsed() / 1e6;
        child.waitForFinished(30000);
        return said.contains("shown") ? ms : -1.0;
    };
    time(QStringLiteral("--bare"));  // warm the caches once
    time(QStringLiteral("--program"));
    for (int i = 0; i < runs; ++i) {
        bare.push_back(time(QStringLiteral("--bare")));
        program.push_back(time(QStringLiteral("--program")));
        if (bare.back() < 0 || program.back() < 0) {
            std::fprintf(stderr, "a window did not show\n");
            return 1;
        }
    }
    const double p = median(program), b = median(bare);
    std::printf("start-up to the first frame (median of %d, platform %s)\n"
                "  welcome window          %6.1f ms (best %.1f)\n"
                "  bare one-button window  %6.1f ms (best %.1f)\n"
                "  the program takes %+.0f %% of the bare window's time\n",
                runs, qPrintable(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM"))), p,
                *std::min_element(program.begin(), program.end()), b,
                *std::min_element(bare.begin(), bare.end()), (p / b - 1) * 100);
    return 0;
}
