// A till worked without a mouse: a finger held on an editable control opens
// its input box instead of clicking, a tap clicks, the mouse keeps its ways;
// Enter presses the focused button and F2 or the menu key renames; a screen
// reader hears what each control of a dish row is.

#include "common/touch_keys.h"
#include "main_window/form2.h"
#include "sheets/order_sheet.h"
#include "shell/form1.h"
#include "shell/program.h"
#include "testsupport.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QTest>

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

using namespace testsupport;

namespace {

QPointingDevice *touchScreen = nullptr;

QString caption(QWidget *control)
{
    if (auto *label = qobject_cast<QLabel *>(control))
        return label->text();
    return qobject_cast<QPushButton *>(control)->text();
}

QString spoken(QWidget *control)
{
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
}

void openMainWindow(Program &program)
{
    program.start();
    QTest::mouseClick(form1().findChild<QPushButton *>(QStringLiteral("C1")), Qt::LeftButton);
}

bool sheetOpened(Program &program)
{
    return program.sheetExists(1) && orderSheet(1).isVisible();
}

}  // namespace

class TestTouchKeysA11y : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { touchScreen = QTest::createTouchDevice(); }
    void init() { clearStore(); }

    void holdEditsTapClicks_data();
    void holdEditsTapClicks();
    void keys_data();
    void keys();
    void namesOfARow();
};

void TestTouchKeysA11y::holdEditsTapClicks_data()
{
    QTest::addColumn<QString>("target");  // C1 of the main window or l01 of sheet 1
    QTest::addColumn<bool>("finger");
    QTest::addColumn<bool>("heldLong");
    QTest::newRow("finger held on a category") << "C1" << true << true;
    QTest::newRow("finger held on a price") << "l01" << true << true;
    QTest::newRow("finger tap on a category") << "C1" << true << false;
    QTest::newRow("mouse held on a category") << "C1" << false << true;
}

void TestTouchKeysA11y::holdEditsTapClicks()
{
    QFETCH(QString, target);
    QFETCH(bool, finger);
    QFETCH(bool, heldLong);
    const bool edits = finger && heldLong;
    Program program;
    openMainWindow(program);
    QWidget *control = target == QStringLiteral("l01")
                           ? static_cast<QWidget *>(openCategory(1).label(target))
                           : form2().button(target);
    const QString before = caption(control);
    const QPoint centre = control->rect().center();

    ModalWatch dialogs(confirmingInputBox(QStringLiteral("饺子")));
    if (finger)
        QTest::touchEvent(control, touchScreen).press(0, centre, control);
    else
        QTest::mousePress(control, Qt::LeftButton, {}, centre);
    if (edits)
        QTRY_COMPARE(dialogs.count(), 1);
    else if (heldLong)
        QTest::qWait(2 * tillinput::holdMilliseconds);  // nothing may happen meanwhile
    if (finger) {  // a finger never lies quite still
        QTest::touchEvent(control, touchScreen).move(0, centre + QPoint(1, 0), control);
        QTest::touchEvent(control, touchScreen).release(0, centre, control);
    }
    else
        QTest::mouseRelease(control, Qt::LeftButton, {}, centre);

    QCOMPARE(dialogs.count(), edits ? 1 : 0);
    QCOMPARE(caption(control), edits ? QStringLiteral("饺子") : before);
    if (target == QStringLiteral("C1"))
        QCOMPARE(sheetOpened(program), !edits);
}

void TestTouchKeysA11y::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("renames");
    QTest::newRow("Enter") << int(Qt::Key_Return) << Qt::KeyboardModifiers() << false;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier)
                                  << false;
    QTest::newRow("F2") << int(Qt::Key_F2) << Qt::KeyboardModifiers() << true;
    QTest::newRow("menu key") << int(Qt::Key_Menu) << Qt::KeyboardModifiers() << true;
}

void TestTouchKeysA11y::keys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, renames);
    Program program;
    openMainWindow(program);
    QPushButton *c1 = form2().button(QStringLiteral("C1"));
    const QString before = c1->text();

    ModalWatch dialogs(confirmingInputBox(QStringLiteral("饺子")));
    QTest::keyClick(c1, Qt::Key(key), modifiers);
    QCOMPARE(dialogs.count(), renames ? 1 : 0);
    QCOMPARE(c1->text(), renames ? QStringLiteral("饺子") : before);
    QCOMPARE(sheetOpened(program), !renames);
}

void TestTouchKeysA11y::namesOfARow()
{
    Program program;
    openMainWindow(program);
    OrderSheet &sheet = openCategory(1);  // empty store: names, headings and prices blank
    set(sheet, QStringLiteral("l01"), QStringLiteral("6"));
    auto named = [&sheet](const char *control) {
        return spoken(sheet.findChild<QWidget *>(QString::fromUtf8(control)));
    };
    const QList<std::pair<const char *, const char *>> blankRow = {
        {"Command3", "第1行 小份 减一"},    {"Command6", "第1行 大份 加一"},
        {"L1", "第1行 小份 数量 0"},        {"l01", "第1行 小份 单价 6"},
        {"l02", "第1行 大份 单价 空"},      {"la1", "第1行 金额 0"},
        {"Label1", "第1行 菜名 空"},        {"Label8", "左栏 小份标题 空"},
    };
    for (const auto &[control, name] : blankRow)
        QCOMPARE(named(control), QString::fromUtf8(name));

    // Names follow edits of the dish name and the heading.
    set(sheet, QStringLiteral("Label1"), QStringLiteral("牛肉面"));
    set(sheet, QStringLiteral("Label8"), QStringLiteral("小碗"));
    QCOMPARE(named("Command4"), QStringLiteral("牛肉面 小碗 加一"));
    QCOMPARE(named("l01"), QStringLiteral("牛肉面 小碗 单价 6"));

    // No button or label of any window is nameless.
    for (QWidget *window : {static_cast<QWidget *>(&sheet), static_cast<QWidget *>(&form2()),
                            static_cast<QWidget *>(&form1())})
        for (QWidget *control : window->findChildren<QWidget *>())
            if (qobject_cast<QLabel *>(control) || qobject_cast<QPushButton *>(control))
                QVERIFY2(!spoken(control).trimmed().isEmpty(),
                         qPrintable(control->objectName()));
}

QTEST_MAIN(TestTouchKeysA11y)
#include "tst_touch_keys_a11y.moc"
