// A till worked without a mouse: a finger held on an editable control opens
// its input box instead of clicking, a tap clicks, the mouse keeps its ways;
// Enter presses the focused button and F2 or the menu key renames; the menu
// key on a row's "-" or "+" edits the row's texts; a screen reader hears what
// each control of a dish row is, what a press changed, the windows as
// windows and the settle list and the bill line by line.

#include "common/touch_keys.h"
#include "main_window/form2.h"
#include "sheets/order_sheet.h"
#include "shell/form1.h"
#include "sheets/settle_list.h"
#include "sheets/sheet_design.h"
#include "shell/program.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace testsupport;

namespace {

QPointingDevice *touchScreen = nullptr;

QString spoken(QWidget *control)
{
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
}

QString described(QWidget *control)
{
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Description);
}

// The names of a list's items, and the list's own role and name first.
QStringList listed(QWidget *box)
{
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(box);
    QStringList names{QString::number(list->role()), list->text(QAccessible::Name)};
    for (int i = 0; i < list->childCount(); ++i) {
        if (list->child(i)->role() != QAccessible::ListItem)
            return {QStringLiteral("not an item: %1").arg(i)};
        names << list->child(i)->text(QAccessible::Name);
    }
    return names;
}

QString windowSpoken(QWidget *window)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(window);
    return face->role() == QAccessible::Window ? face->text(QAccessible::Name)
                                               : QStringLiteral("not a window");
}

// Starts the program and opens the main window.
Form2 &openMainWindow(Program &program)
{
    program.start();
    QTest::mouseClick(form1().findChild<QPushButton *>(QStringLiteral("C1")), Qt::LeftButton);
    return form2();
}

enum Gesture { FingerHeld, FingerTap, FingerSlides, MouseHeld, KeyPress, KeyHeld };

}  // namespace

class TestTouchKeysA11y : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { touchScreen = QTest::createTouchDevice(); }
    void init() { clearStore(); }

    void gestures_data();
    void gestures();
    void namesOfARow();
    void rowMenu_data();
    void rowMenu();
    void windowsAndClearing();
    void readAloud();
};

void TestTouchKeysA11y::gestures_data()
{
    QTest::addColumn<QString>("target");  // C1 of the main window or l01 of sheet 1
    QTest::addColumn<int>("gesture");
    QTest::addColumn<int>("key");  // Key_Menu: the request the platform makes of it
    QTest::addColumn<bool>("edits");
    QTest::addColumn<int>("clicks");  // of a category button
    QTest::newRow("finger held on a category") << "C1" << int(FingerHeld) << 0 << true << 0;
    QTest::newRow("finger held on a price") << "l01" << int(FingerHeld) << 0 << true << 0;
    QTest::newRow("finger tap on a category") << "C1" << int(FingerTap) << 0 << false << 1;
    QTest::newRow("finger slides on a price") << "l01" << int(FingerSlides) << 0 << false << 0;
    QTest::newRow("mouse held on a category") << "C1" << int(MouseHeld) << 0 << false << 1;
    QTest::newRow("Enter") << "C1" << int(KeyPress) << int(Qt::Key_Return) << false << 1;
    QTest::newRow("keypad Enter") << "C1" << int(KeyPress) << int(Qt::Key_Enter) << false << 1;
    QTest::newRow("Enter held down") << "C1" << int(KeyHeld) << int(Qt::Key_Return) << false << 1;
    QTest::newRow("F2") << "C1" << int(KeyPress) << int(Qt::Key_F2) << true << 0;
    QTest::newRow("menu key") << "C1" << int(KeyPress) << int(Qt::Key_Menu) << true << 0;
}

void TestTouchKeysA11y::gestures()
{
    QFETCH(QString, target);
    QFETCH(int, gesture);
    QFETCH(int, key);
    QFETCH(bool, edits);
    Program program;
    QWidget *control = openMainWindow(program).button(target);
    if (!control)
        control = openCategory(1).label(target);
    const QString before = control->property("text").toString();
    const QPoint centre = control->rect().center();
    int clicks = 0;
    if (auto *button = qobject_cast<QPushButton *>(control))
        connect(button, &QPushButton::clicked, button, [&clicks] { ++clicks; });

    ModalWatch dialogs(confirmingInputBox(QStringLiteral("饺子")));
    if (gesture == FingerSlides) {
        // Over the time of a hold, but moving: a finger passing by.
        QTest::touchEvent(control, touchScreen).press(0, centre, control);
        QTest::touchEvent(control, touchScreen).move(0, centre + QPoint(0, 20), control);
        QTest::qWait(2 * tillinput::holdMilliseconds);  // nothing may happen meanwhile
        QTest::touchEvent(control, touchScreen).release(0, centre + QPoint(0, 20), control);
    } else if (gesture == KeyHeld) {
        // The key's own press, then what its auto-repeat sends.
        for (bool repeated : {false, true, true, true}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(), repeated);
            QApplication::sendEvent(control, &press);
        }
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(control, &release);
    } else if (gesture == FingerHeld || gesture == FingerTap) {
        QTest::touchEvent(control, touchScreen).press(0, centre, control);
        if (gesture == FingerHeld)
            QTRY_COMPARE(dialogs.count(), 1);
        // A finger never lies quite still.
        QTest::touchEvent(control, touchScreen).move(0, centre + QPoint(1, 0), control);
        QTest::touchEvent(control, touchScreen).release(0, centre, control);
        // Where the platform keeps the finger on the control over the box,
        // its last move and its lifting arrive there afterwards.
        if (gesture == FingerHeld) {
            QMouseEvent move(QEvent::MouseMove, centre, control->mapToGlobal(centre), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier, touchScreen);
            QMouseEvent lift(QEvent::MouseButtonRelease, centre, control->mapToGlobal(centre),
                             Qt::LeftButton, Qt::NoButton, Qt::NoModifier, touchScreen);
            QApplication::sendEvent(control, &move);
            QApplication::sendEvent(control, &lift);
        }
    } else if (gesture == MouseHeld) {
        QTest::mousePress(control, Qt::LeftButton, {}, centre);
        QTest::qWait(2 * tillinput::holdMilliseconds);  // nothing may happen meanwhile
        QTest::mouseRelease(control, Qt::LeftButton, {}, centre);
    } else if (key == Qt::Key_Menu) {
        QContextMenuEvent request(QContextMenuEvent::Keyboard, centre,
                                  control->mapToGlobal(centre));
        QApplication::sendEvent(control, &request);
    } else {
        QTest::keyClick(control, Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    }

    QCOMPARE(dialogs.count(), edits ? 1 : 0);
    if (target == QStringLiteral("C1"))
        QTEST(clicks, "clicks");
    QCOMPARE(control->property("text").toString(), edits ? QStringLiteral("饺子") : before);
    if (target == QStringLiteral("C1"))
        QCOMPARE(program.sheetExists(1) && orderSheet(1).isVisible(), !edits);
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
    const std::pair<const char *, const char *> blankRow[] = {
        {"Command3", "第1行 小份 减一"}, {"Command6", "第1行 大份 加一"},
        {"L1", "第1行 小份 数量 0"},     {"l01", "第1行 小份 单价 6"},
        {"l02", "第1行 大份 单价 空"},   {"la1", "第1行 金额 0"},
        {"Label1", "第1行 菜名 空"},     {"Label8", "左栏 小份标题 空"},
    };
    for (const auto &[control, name] : blankRow)
        QCOMPARE(named(control), QString::fromUtf8(name));

    // Names follow edits of the dish name and the heading.
    set(sheet, QStringLiteral("Label1"), QStringLiteral("牛肉面"));
    set(sheet, QStringLiteral("Label8"), QStringLiteral("小碗"));
    QCOMPARE(named("Command4"), QStringLiteral("牛肉面 小碗 加一"));
    QCOMPARE(named("l01"), QStringLiteral("牛肉面 小碗 单价 6"));

    // Assistive tools can press a button, as a click does.
    QAccessibleActionInterface *actions =
        QAccessible::queryAccessibleInterface(sheet.button(QStringLiteral("Command4")))->actionInterface();
    QVERIFY(actions);
    QCOMPARE(actions->actionNames().value(0), QAccessibleActionInterface::pressAction());
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(sheet.label(QStringLiteral("L1"))->text(), QStringLiteral("1"));

    // No button or label of any window is nameless.
    for (QWidget *window : {static_cast<QWidget *>(&sheet), static_cast<QWidget *>(&form2()),
                            static_cast<QWidget *>(&form1())})
        for (QWidget *control : window->findChildren<QWidget *>())
            if (qobject_cast<QLabel *>(control) || qobject_cast<QPushButton *>(control))
                QVERIFY2(!spoken(control).trimmed().isEmpty(), qPrintable(control->objectName()));
}

void TestTouchKeysA11y::rowMenu_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("button");  // 0 to 3: small "-", small "+", large "-", large "+"
    QTest::addColumn<int>("request"); // Key_Menu: the request the platform makes of it
    QTest::addColumn<int>("entry");   // -1: no menu expected
    QTest::addColumn<QString>("edited");
    QTest::newRow("menu key, dish name") << 1 << 1 << int(Qt::Key_Menu) << 0 << "Label1";
    QTest::newRow("menu key, small price") << 1 << 0 << int(Qt::Key_Menu) << 1 << "l01";
    QTest::newRow("Shift+F10, large price") << 14 << 3 << int(Qt::Key_F10) << 2 << "l028";
    QTest::newRow("menu key, small heading") << 8 << 2 << int(Qt::Key_Menu) << 3 << "Label9";
    QTest::newRow("menu key, large heading") << 7 << 1 << int(Qt::Key_Menu) << 4 << "Label45";
    QTest::newRow("right mouse press: no menu") << 1 << 1 << int(Qt::RightButton) << -1 << "";
}

void TestTouchKeysA11y::rowMenu()
{
    QFETCH(int, row);
    QFETCH(int, button);
    QFETCH(int, request);
    QFETCH(int, entry);
    QFETCH(QString, edited);
    Program program;
    openMainWindow(program);
    OrderSheet &sheet = openCategory(1);
    QWidget *pressed = sheet.button(sheet::dishRows()[row - 1].buttons[button].name);
    const QPoint centre = pressed->rect().center();
    if (request == Qt::Key_Menu) {
        QContextMenuEvent asked(QContextMenuEvent::Keyboard, centre, pressed->mapToGlobal(centre));
        QApplication::sendEvent(pressed, &asked);
    } else if (request == Qt::Key_F10) {
        QTest::keyClick(pressed, Qt::Key_F10, Qt::ShiftModifier);
    } else {
        rightPress(pressed);
    }
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (entry < 0) {
        QVERIFY(!menu);
        return;
    }
    QVERIFY(menu);
    QStringList entries;
    for (QAction *action : menu->actions())
        entries << action->text();
    QCOMPARE(entries, QStringList({"修改菜名", "修改小份价格", "修改大份价格", "修改小份名称",
                                   "修改大份名称"}));

    QLabel *target = sheet.label(edited);
    target->setText(QStringLiteral("旧"));
    QString opened, title;
    ModalWatch dialogs(confirmingInputBox(QStringLiteral("饺子"), &opened, &title));
    menu->setActiveAction(menu->actions()[entry]);
    QTest::keyClick(menu, Qt::Key_Return);
    QTRY_COMPARE(dialogs.count(), 1);
    QCOMPARE(opened, QStringLiteral("旧"));
    QCOMPARE(title, QStringLiteral("修改"));
    QCOMPARE(target->text(), QStringLiteral("饺子"));
    QVERIFY(!QApplication::activePopupWidget());
}

// The road itself, with the events a screen reader hears, is the AT-SPI
// end-to-end case; here what it does not walk: a blank category's sheet, the
// welcome window, "清零".
void TestTouchKeysA11y::windowsAndClearing()
{
    Program program;
    Form2 &main = openMainWindow(program);
    OrderSheet &blank = openCategory(4);
    const std::pair<QWidget *, const char *> windows[] = {
        {&form1(), "欢迎窗口 欢迎光临"}, {&main, "主窗口 请选择类别"}, {&blank, "类别4 点菜单"}};
    for (const auto &[window, name] : windows)
        QCOMPARE(windowSpoken(window), QString::fromUtf8(name));

    set(blank, QStringLiteral("l01"), QStringLiteral("6"));
    press(blank, QStringLiteral("Command4"));
    press(blank, QStringLiteral("Command1"));
    QCOMPARE(listed(blank.settleList()),
             QStringList({QString::number(QAccessible::List), "结算清单", "金额 6"}));
    // "已清零" is what a press did, said after it and not when the focus
    // comes to the button later.
    QWidget *clear = blank.button(QStringLiteral("Command59"));
    QCOMPARE(described(clear), QString());
    press(blank, QStringLiteral("Command59"));
    QCOMPARE(described(clear), QStringLiteral("已清零"));
    QVERIFY(QTest::qWaitForWindowActive(&blank));
    clear->setFocus();
    blank.button(QStringLiteral("Command1"))->setFocus();
    QCOMPARE(described(clear), QString());
    QCOMPARE(listed(blank.settleList()),
             QStringList({QString::number(QAccessible::List), "结算清单 空"}));
}

// What a screen reader reads of a row set up and counted: the "+" with its
// price and quantity, the input box with what it edits, the bill line with
// what each number counts.
void TestTouchKeysA11y::readAloud()
{
    Program program;
    openMainWindow(program);
    OrderSheet &sheet = openCategory(1);
    set(sheet, QStringLiteral("Label1"), QStringLiteral("牛肉面"));
    set(sheet, QStringLiteral("Label8"), QStringLiteral("小碗"));
    set(sheet, QStringLiteral("l01"), QStringLiteral("10"));
    set(sheet, QStringLiteral("l02"), QStringLiteral("12"));
    QWidget *plus = sheet.button(QStringLiteral("Command4"));
    QCOMPARE(described(plus), QStringLiteral("单价 10，数量 0"));
    press(sheet, QStringLiteral("Command4"), 2);
    press(sheet, QStringLiteral("Command6"));
    QCOMPARE(described(plus), QStringLiteral("数量 2，金额 32"));

    QString field, label;
    ModalWatch box([&field, &label](QWidget *dialog) {
        field = dialog->findChild<QLineEdit *>()->accessibleName();
        label = dialog->findChild<QLabel *>()->text() + u'|' +
                dialog->findChild<QLabel *>()->accessibleName();
        static_cast<QDialog *>(dialog)->reject();
    });
    rightPress(sheet.label(QStringLiteral("l01")));
    QCOMPARE(field, QStringLiteral("修改 牛肉面 的小碗价格"));
    QCOMPARE(label, QStringLiteral("请输入新名称|修改 牛肉面 的小碗价格"));

    sheet.button(QStringLiteral("Command2"))->click();  // 关闭: the hand-off
    pressMain(QStringLiteral("Command2"));                // 清单
    QLabel *bill = form2().findChild<QLabel *>(QStringLiteral("Label2"));
    QCOMPARE(listed(bill),
             QStringList({QString::number(QAccessible::List), "清单，第1位，总计 32元", "第1位",
                          "牛肉面 小碗 2 大份 1 金额 32", "总计 32元"}));

    // The arrow keys read it line by line, from the list itself down.
    QVERIFY(QTest::qWaitForWindowActive(&form2()));
    bill->setFocus(Qt::TabFocusReason);
    QAccessibleInterface *lines = QAccessible::queryAccessibleInterface(bill);
    QTest::keyClick(bill, Qt::Key_Down);
    QTest::keyClick(bill, Qt::Key_Down);
    QVERIFY(lines->child(1)->state().focused && !lines->child(0)->state().focused);
    QTest::keyClick(bill, Qt::Key_Up);
    QVERIFY(lines->child(0)->state().focused);
}

QTEST_MAIN(TestTouchKeysA11y)
#include "tst_touch_keys_a11y.moc"
