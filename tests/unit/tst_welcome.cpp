// The welcome window: its design, the way to the main window and back, and
// the end of the program when it is closed; the command line that is
// answered before any window.

#include "journal/journal.h"
#include "main_window/form2.h"
#include "shell/form1.h"
#include "shell/single_instance.h"  // the single-copy guard a start takes
#include "shell/instance_lock.h"
#include "shell/program.h"
#include "settings/caption_store.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

namespace {

QPushButton *menuButton()
{
    return form1().findChild<QPushButton *>(QStringLiteral("C1"));
}

QLabel *greeting()
{
    return form1().findChild<QLabel *>(QStringLiteral("Label1"));
}

void storeCategoryName(const QString &key, const QString &name)
{
    openStore().setValue(QStringLiteral("Form2/") + key, name);
}

int visibleWindows()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return int(
        std::count_if(windows.cbegin(), windows.cend(), [](QWidget *w) { return w->isVisible(); }));
}

}  // namespace

class TestWelcome : public QObject {
    Q_OBJECT

private slots:
    void init() { clearStore(); }

    void showsItsDesign();
    void menuButtonHasTheFocus();
    void menuButtonLeadsToTheMainWindowAndBack();
    void windowsLoadOnlyOnce();
    void secondStartBringsTheWindowBack();
    void closingEndsTheProgramWithoutSaving();
    void instanceLockHeldUntilDropped();
    void commandLineNeedsNoDisplay_data();
    void commandLineNeedsNoDisplay();
};

void TestWelcome::showsItsDesign()
{
    storeCategoryName(QStringLiteral("C1"), QStringLiteral("面条"));
    Program program;
    program.start();
    Form1 &window = form1();
    QVERIFY(window.isVisible());
    QCOMPARE(window.objectName(), QStringLiteral("Form1"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Tavelko"));
    QCOMPARE(window.size(), QSize(392, 602));  // 5880 x 9030 twips

    QCOMPARE(greeting()->text(), QStringLiteral("欢迎光临"));
    QCOMPARE(greeting()->geometry(), QRect(24, 8, 345, 41));
    QVERIFY(greeting()->alignment() & Qt::AlignHCenter);
    QCOMPARE(greeting()->font().pointSizeF(), 26.25);
    QVERIFY(!greeting()->font().bold());

    QCOMPARE(menuButton()->text(), QStringLiteral("菜单"));
    QCOMPARE(menuButton()->geometry(), QRect(16, 56, 361, 537));
    QCOMPARE(menuButton()->font().pointSizeF(), 140.25);
    QVERIFY(menuButton()->font().bold());
    const QString fault = testsupport::familiesFault(
        menuButton()->font(),
        {QStringLiteral("KaiTi"), QStringLiteral("楷体"), QStringLiteral("AR PL UKai CN")});
    QVERIFY2(fault.isEmpty(), qPrintable(fault));

    // Starting reads nothing: the main window comes with "菜单" only.
    QVERIFY(!program.form2Exists());
    QCOMPARE(visibleWindows(), 1);
}

void TestWelcome::menuButtonHasTheFocus()
{
    Program program;
    program.start();
    QCOMPARE(form1().focusWidget(), menuButton());
    QApplication::setActiveWindow(&form1());  // as the window manager would
    QCOMPARE(QApplication::focusWidget(), menuButton());

    // The keyboard on the focused button opens the main window.
    QTest::keyClick(form1().focusWidget(), Qt::Key_Space);
    QVERIFY(!form1().isVisible());
    QVERIFY(form2().isVisible());
}

void TestWelcome::menuButtonLeadsToTheMainWindowAndBack()
{
    Program program;
    program.start();
    QTest::mouseClick(menuButton(), Qt::LeftButton);
    QVERIFY(!form1().isVisible());
    QVERIFY(form2().isVisible());
    QCOMPARE(form2().windowTitle(), QStringLiteral("Form2"));
    QCOMPARE(visibleWindows(), 1);

    pressMain("Cm4");
    QVERIFY(form1().isVisible());
    QVERIFY(!form2().isVisible());

    // Other mouse buttons do not press it.
    QTest::mouseClick(menuButton(), Qt::RightButton);
    QTest::mouseClick(menuButton(), Qt::MiddleButton);
    QVERIFY(form1().isVisible());
    QVERIFY(!form2().isVisible());
}

void TestWelcome::windowsLoadOnlyOnce()
{
    storeCategoryName(QStringLiteral("C1"), QStringLiteral("面条"));
    Program program;
    program.start();
    form1().resize(500, 700);  // a reload would record this as its design
    QTest::mouseClick(menuButton(), Qt::LeftButton);
    QCOMPARE(form2().button(QStringLiteral("C1"))->text(), QStringLiteral("面条"));

    // Captions a second load would replace: a grand total (never stored) and
    // a category name that the store no longer holds.
    form2().label(QStringLiteral("L7"))->setText(QStringLiteral("42"));
    pressMain("Cm4");
    storeCategoryName(QStringLiteral("C1"), QStringLiteral("米饭"));

    form1().resize(392, 602);
    QCOMPARE(menuButton()->geometry(), QRect(16, 56, 361, 537));
    QTest::mouseClick(menuButton(), Qt::LeftButton);
    QCOMPARE(mainText("L7"), QStringLiteral("42"));
    QCOMPARE(form2().button(QStringLiteral("C1"))->text(), QStringLiteral("面条"));
}

// A second start brings the running copy forward, minimised or not; the
// request is spent once handled, and one left by a copy that died is cleared.
void TestWelcome::secondStartBringsTheWindowBack()
{
    // Beside the journal, in the user's own data folder.
    QVERIFY(QDir().mkpath(journal::defaultFolder()));
    const QString request = journal::defaultFolder() + QStringLiteral("/Tavelko.show");
    QVERIFY(QFile(request).open(QIODevice::WriteOnly));
    Program program;
    program.start();
    form1().setWindowState(Qt::WindowMinimized);
    SingleInstance first;
    QVERIFY(first.isFirst() && !QFile::exists(request));
    QSignalSpy asked(&first, &SingleInstance::requested);
    connect(&first, &SingleInstance::requested, &bringVisibleWindowForward);
    QVERIFY(!SingleInstance().isFirst());
    QTRY_COMPARE(asked.count(), 1);
    QVERIFY(!QFile::exists(request) && !form1().isMinimized());
}

void TestWelcome::closingEndsTheProgramWithoutSaving()
{
    {
        Program program;
        program.start();
        QTest::mouseClick(menuButton(), Qt::LeftButton);
        settings::setEditedCaption(form2().button(QStringLiteral("C2")), QStringLiteral("炒饭"));
        pressMain("Cm4");  // saved
        settings::setEditedCaption(form2().button(QStringLiteral("C2")),
                                   QStringLiteral("未保存"));

        QVERIFY(!program.hasEnded());
        form1().close();
        QVERIFY(program.hasEnded());
        QCOMPARE(visibleWindows(), 0);
        settleQuitRequest();
    }
    Program next;
    next.start();
    QTest::mouseClick(menuButton(), Qt::LeftButton);
    QCOMPARE(form2().button(QStringLiteral("C2"))->text(), QStringLiteral("炒饭"));
}

void TestWelcome::instanceLockHeldUntilDropped()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Tavelko.lock"));
    InstanceLock later(path);
    {
        InstanceLock first(path);
        QCOMPARE(first.take(), InstanceLock::Result::Taken);
        QCOMPARE(later.take(), InstanceLock::Result::HeldByAnother);
        QVERIFY(!later.isTaken());
    }
    QVERIFY(!QFile::exists(path));
    QCOMPARE(later.take(), InstanceLock::Result::Taken);
    QCOMPARE(InstanceLock(folder.filePath(QStringLiteral("no/such/folder/lock"))).take(),
             InstanceLock::Result::Unavailable);
}

void TestWelcome::commandLineNeedsNoDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");  // the start of standard output
    QTest::addColumn<QString>("error");   // standard error, whole

    const QString version = QStringLiteral("Tavelko " TAVELKO_VERSION "\n");
    const auto unknown = [](const QString &option) {
        return QStringLiteral("tavelko: 未知选项 %1，见 tavelko --help / unknown option %1, "
                              "see tavelko --help\n").arg(option);
    };
    QTest::newRow("version") << QStringList{"--version"} << 0 << version << QString();
    QTest::newRow("help") << QStringList{"-h"} << 0 << QStringLiteral("用法: tavelko") << QString();
    QTest::newRow("unknown") << QStringList{"--bogus"} << 2 << QString() << unknown("--bogus");
    QTest::newRow("unknown before version") << QStringList{"-x", "--version"} << 2 << QString()
                                            << unknown("-x");
    QTest::newRow("Qt's own option and its value")
        << QStringList{"-style", "--bogus", "--version"} << 0 << version << QString();
    QTest::newRow("Qt's option with its value attached")
        << QStringList{"--platform=xcb", "--bogus"} << 2 << QString() << unknown("--bogus");
}

void TestWelcome::commandLineNeedsNoDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(TAVELKO_BINARY), arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    QFETCH(QString, output);
    QFETCH(QString, error);
    const QString printed = QString::fromUtf8(program.readAllStandardOutput());
    QVERIFY2(printed.startsWith(output) && (!output.isEmpty() || printed.isEmpty()),
             qPrintable(printed));
    QCOMPARE(QString::fromUtf8(program.readAllStandardError()), error);
}

QTEST_MAIN(TestWelcome)
#include "tst_welcome.moc"
