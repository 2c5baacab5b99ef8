// Resident memory across hand-offs: a cashier's day of orders in one run. The
// main window opens a sheet by its category button, two portions are counted,
// "结算" and "关闭" hand the order back (saving the sheet's captions), "清单"
// builds the bill, and after every sixth order "一键归零" clears everything,
// as at the till; the windows are shown and painted each time. Prints the
// resident size after the first hand-off and after each further tenth, so
// that growth shows; the last figure is the one to watch.
//
//   bench_handoff_memory [hand-offs]      (10000 when not given)

#include "main_window/form2.h"
#include "shell/form1.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "sheets/sheet_design.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <windows.h>
#include <psapi.h>
#else
#include <unistd.h>
#endif

namespace {

// The windows as large as a till's screen lets them be: the pixels a window
// keeps are in proportion to its size.
const QSize tillScreen(1250, 950);

double residentMegabytes()
{
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize / 1048576.0;
#else
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * double(sysconf(_SC_PAGESIZE)) / 1048576.0;
#endif
}

void handOff(int n)
{
    static const char *const buttons[6] = {"C1", "C2", "C3", "c4", "c5", "c6"};
    Form2 &main = form2();
    main.button(QString::fromLatin1(buttons[n % 6]))->click();
    OrderSheet &sheet = orderSheet(n % 6 + 1);
    sheet.resize(tillScreen);
    if (!QTest::qWaitForWindowExposed(&sheet))
        qFatal("the sheet was never shown");
    const sheet::DishRow &row = sheet::dishRows()[n % sheet::rowCount];
    sheet.label(row.smallPrice)->setText(QString::number(6 + n % 7));
    sheet.button(row.buttons[1].name)->click();
    sheet.button(row.buttons[3].name)->click();
    sheet.button(QStringLiteral("Command1"))->click();
    sheet.button(QStringLiteral("Command2"))->click();
    if (!QTest::qWaitForWindowExposed(&main))
        qFatal("the main window was never shown again");
    main.button(QStringLiteral("Command2"))->click();
    if (n % 6 == 5)
        main.button(QStringLiteral("Command1"))->click();
    QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    Program program;
    program.start();
    form1().hide();
    form2().resize(tillScreen);
    form2().showForm();
    handOff(0);
    const double first = residentMegabytes();
    std::printf("resident size after 1 hand-off: %.1f MB\n", first);
    for (int n = 1; n < count; ++n) {
        handOff(n);
        if ((n + 1) % (count / 10 > 0 ? count / 10 : 1) == 0)
            std::printf("resident size after %d hand-offs: %.1f MB\n", n + 1, residentMegabytes());
    }
    std::fflush(stdout);
    return 0;
}
