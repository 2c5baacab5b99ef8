// The main window: its design layout, the category names loaded from the
// store, renaming by right click, opening a category, and "关闭" with its
// save, including a save that fails and a fresh process that reads it back.

#include "common/caption_fit.h"
#include "main_window/form2.h"
#include "sheets/order_sheet.h"
#include "shell/form1.h"
#include "shell/program.h"
#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <cstdio>

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

using namespace testsupport;

namespace {

// Set in the environment of a child copy of this test: it then only loads the
// main window and prints its six category names.
constexpr char printNamesVariable[] = "TAVELKO_TEST_PRINT_CATEGORY_NAMES";

const QStringList categoryButtons = {QStringLiteral("C1"), QStringLiteral("C2"),
                                     QStringLiteral("C3"), QStringLiteral("c4"),
                                     QStringLiteral("c5"), QStringLiteral("c6")};

QPushButton *button(const QString &name)
{
    return form2().button(name);
}

QWidget *control(const QString &name)
{
    return form2().findChild<QWidget *>(name);
}

// Where a control lies in the window, whatever it sits in.
QRect placeInWindow(QWidget *w)
{
    return QRect(w->mapTo(&form2(), QPoint(0, 0)), w->size());
}

// "菜单" on the welcome window.
void pressMenu()
{
    QTest::mouseClick(form1().findChild<QPushButton *>(QStringLiteral("C1")), Qt::LeftButton);
}

void openMainWindow(Program &program)
{
    program.start();
    pressMenu();
}

QStringList shownNames()
{
    QStringList names;
    for (const QString &name : categoryButtons)
        names << button(name)->text();
    return names;
}

QVariant stored(const QString &key)
{
    return openStore().value(QStringLiteral("Form2/") + key);
}

// Right-presses category button `name` and confirms `typed` in the input box
// that opens.
void renameCategory(const QString &name, const QString &typed)
{
    QCOMPARE(answerModals(confirmingInputBox(typed), [&] { rightPress(button(name)); }), 1);
}

int printCategoryNames()
{
    Program program;
    openMainWindow(program);
    QJsonArray names;
    for (const QString &name : shownNames())
        names.append(name);
    std::fputs(QJsonDocument(names).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { clearStore(); }
    void cleanup() { unblockStore(); }

    void controlsAtTheirDesignPlace_data();
    void controlsAtTheirDesignPlace();
    void windowDesign();
    void billScrollsToTheTotal();
    void categoryCaptionsWrapAsWords_data();
    void categoryCaptionsWrapAsWords();
    void focusOrder();
    void emptyStoreGivesSpaces();

    void rightPressRenames_data();
    void rightPressRenames();
    void cancelKeepsTheName_data();
    void cancelKeepsTheName();
    void confirmingEmptyOrUnchanged();
    void onlyTheRightButtonRenames_data();
    void onlyTheRightButtonRenames();
    void leftClickOpensTheCategory();

    void savesOnlyOnClose();
    void namesComeBackInTheNextRun();
    void failedSaveIsReported_data();
    void failedSaveIsReported();
    void titleBarCloseActsAsCloseButton();
};

void TestMainWindow::controlsAtTheirDesignPlace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<double>("points");
    QTest::addColumn<QString>("caption");  // "*": the stored category name

    auto row = [](const char *name, QRect twips, double points, const QString &caption) {
        QTest::newRow(name) << QString::fromLatin1(name) << twips << points << caption;
    };
    row("Label1", {120, 120, 7935, 615}, 26.25, QStringLiteral("请选择类别"));
    row("C1", {240, 960, 1290, 2865}, 18, QStringLiteral("*"));
    row("C2", {1530, 960, 1290, 2865}, 18, QStringLiteral("*"));
    row("C3", {2820, 960, 1290, 2865}, 18, QStringLiteral("*"));
    row("c4", {4110, 960, 1290, 2865}, 18, QStringLiteral("*"));
    row("c5", {5400, 960, 1290, 2865}, 18, QStringLiteral("*"));
    row("c6", {6690, 960, 1290, 2865}, 18, QStringLiteral("*"));
    for (int k = 0; k < 6; ++k)
        row(qPrintable(QStringLiteral("L%1").arg(k + 1)), {360 + 1320 * k, 4080, 975, 375}, 15.75,
            QStringLiteral("0"));
    row("L7", {360, 5040, 3375, 1095}, 42, QStringLiteral("0"));
    row("Command1", {3960, 4920, 2325, 1245}, 18, QStringLiteral("一键归零"));
    row("Cm4", {6720, 4920, 1245, 1245}, 18, QStringLiteral("关闭"));
    row("Label2", {8400, 120, 90, 180}, 9, QString());
    for (int n = 3; n <= 8; ++n)
        row(qPrintable(QStringLiteral("Label%1").arg(n)), {8400, 720 + 480 * (n - 3), 90, 180}, 9,
            QString());
    row("Label9", {8400, 3600, 90, 180}, 9, QStringLiteral("0"));
    row("Command2", {8280, 4920, 975, 1215}, 14.25, QStringLiteral("清单"));
    row("Command4", {9360, 4920, 975, 1215}, 14.25, QStringLiteral("复制"));
    row("Command3", {10440, 4920, 975, 1215}, 14.25, QStringLiteral("打印"));
    // Rules: a one-pixel line between their design end points.
    row("Line1", {0, 840, 8160, 15}, 0, QString());
    row("Line2", {8160, 0, 15, 6840}, 0, QString());
}

void TestMainWindow::controlsAtTheirDesignPlace()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(double, points);
    QFETCH(QString, caption);

    openStore().setValue(QStringLiteral("Form2/") + name, QStringLiteral("饺子"));
    Program program;
    openMainWindow(program);
    QWidget *widget = control(name);
    QVERIFY(widget);
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(placeInWindow(widget), pixels);

    if (points > 0) {
        QCOMPARE(widget->font().pointSizeF(), points);
        QVERIFY(!widget->font().bold());
        QVERIFY(!widget->font().italic());
        const QString shown = qobject_cast<QLabel *>(widget)
                                  ? static_cast<QLabel *>(widget)->text()
                                  : static_cast<QPushButton *>(widget)->text();
        QCOMPARE(shown, caption == QStringLiteral("*") ? QStringLiteral("饺子") : caption);
    }
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(!label->wordWrap());
        const bool centred = name == QStringLiteral("Label1") || name == QStringLiteral("L7");
        QCOMPARE(bool(label->alignment() & Qt::AlignHCenter), centred);
    }

    // The main window does not rescale: resizing moves nothing.
    for (const QSize size : {QSize(1200, 800), QSize(300, 200), QSize(769, 413)}) {
        form2().resize(size);
        QCOMPARE(form2().size(), size);
        QCOMPARE(placeInWindow(widget), pixels);
    }
}

void TestMainWindow::windowDesign()
{
    Program program;
    openMainWindow(program);
    QCOMPARE(form2().objectName(), QStringLiteral("Form2"));
    QCOMPARE(form2().windowTitle(), QStringLiteral("Form2"));
    QCOMPARE(form2().size(), QSize(769, 413));  // 11535 x 6195 twips

    QVERIFY(control(QStringLiteral("Label2"))->isVisible());
    for (int n = 3; n <= 9; ++n) {
        QWidget *holder = control(QStringLiteral("Label%1").arg(n));
        QVERIFY2(!holder->isVisible(), qPrintable(holder->objectName()));
    }
    // Hidden holders stay hidden after the window is hidden and shown again.
    form2().hide();
    form2().showForm();
    QVERIFY(!control(QStringLiteral("Label3"))->isVisible());
    QVERIFY(control(QStringLiteral("Label2"))->isVisible());
}

// A 39-line bill scrolls in the bill area (right of Line2, above the three
// buttons, inside the window whatever its size), shown from its end: the total.
void TestMainWindow::billScrollsToTheTotal()
{
    Program program;
    openMainWindow(program);
    const QString line = QStringLiteral("\r\n红烧牛肉面加蛋加肠 12小份 10大份 1234.5");
    form2().label(QStringLiteral("Label3"))->setText(line.repeated(30));
    pressMain("Command2");
    auto *bill = form2().label(QStringLiteral("Label2"));
    QCOMPARE(bill->text().count(QStringLiteral("\r\n")), 38);
    auto *pane = qobject_cast<QScrollArea *>(bill->parentWidget()->parentWidget());
    QVERIFY(pane);
    const QRect area = placeInWindow(pane);
    QVERIFY(area.left() > control(QStringLiteral("Line2"))->geometry().right());
    QVERIFY(area.bottom() < button(QStringLiteral("Command2"))->geometry().top());

    // At the end, left edge, also once the scroll bars have taken their room.
    QTRY_VERIFY(pane->horizontalScrollBar()->isVisible() && pane->verticalScrollBar()->isVisible());
    QCOMPARE(bill->pos(), QPoint(0, pane->viewport()->height() - bill->height()));
    for (const QSize size : {QSize(700, 300), QSize(1200, 800), QSize(769, 413)}) {
        form2().resize(size);
        const QRect now = placeInWindow(pane);
        QCOMPARE(now.topLeft(), area.topLeft());
        QCOMPARE(now.right(), size.width() - 1);
        QVERIFY(now.bottom() <= std::min(size.height() - 1, area.bottom()));
    }
    // Once the cashier scrolls, the pane stays where it was put.
    form2().resize(700, 300);
    pane->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    form2().resize(769, 413);
    QCOMPARE(pane->verticalScrollBar()->value(), 0);
    pressMain("Command1");
    QCOMPARE(bill->y(), 0);
}

void TestMainWindow::categoryCaptionsWrapAsWords_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("lines");  // as drawn at the design size, 18 pt
    QTest::newRow("at the space") << QStringLiteral("包子 馒头")
                                  << QStringList{QStringLiteral("包子"), QStringLiteral("馒头")};
    QTest::newRow("one long word") << QStringLiteral("酒水饮料")
                                   << QStringList{QStringLiteral("酒水"), QStringLiteral("饮料")};
    QTest::newRow("six characters")
        << QStringLiteral("宫保鸡丁盖饭")
        << QStringList{QStringLiteral("宫保鸡"), QStringLiteral("丁盖饭")};
    QTest::newRow("word and long word")
        << QStringLiteral("凉菜 特色小吃")
        << QStringList{QStringLiteral("凉菜"), QStringLiteral("特色"), QStringLiteral("小吃")};
    QTest::newRow("blank: its hint") << QStringLiteral(" ")
                                     << QStringList{QStringLiteral("右键"), QStringLiteral("输入"),
                                                    QStringLiteral("类别")};
}

// A category caption breaks like words: at its spaces first, then between the
// characters of a word wider than the button, and keeps its design size while
// the lines fit; a blank one shows its hint, and stays blank.
void TestMainWindow::categoryCaptionsWrapAsWords()
{
    QFETCH(QString, caption);
    QFETCH(QStringList, lines);
    Program program;
    openMainWindow(program);
    QPushButton *c3 = button(QStringLiteral("C3"));
    c3->setText(caption);
    QStyleOptionButton option;
    option.initFrom(c3);
    const QRect area = c3->style()->subElementRect(QStyle::SE_PushButtonContents, &option, c3);
    const fit::Fitted fitted = fit::buttonCaption(*c3, area.size(), caption);
    QCOMPARE(fitted.lines, lines);
    QCOMPARE(fitted.font.pointSizeF(), 18.0);
    QVERIFY(!fitted.elided);

    // Drawn so: as tall as its lines, each line as wide as its widest.
    const QImage image = c3->grab().toImage();
    QRect ink;
    for (int y = 4; y < image.height() - 4; ++y)
        for (int x = 4; x < image.width() - 4; ++x)
            if (qGray(image.pixel(x, y)) < 160)
                ink |= QRect(x, y, 1, 1);
    const QFontMetrics metrics(c3->font());
    QVERIFY(ink.height() > metrics.height() * (lines.size() - 1));
    QVERIFY(ink.width() <= metrics.horizontalAdvance(lines.first()) + 2);
    QCOMPARE(c3->text(), caption);
}

void TestMainWindow::focusOrder()
{
    Program program;
    openMainWindow(program);
    QCOMPARE(form2().focusWidget(), button(QStringLiteral("C1")));

    // As the eye reads the window: categories, totals, the bill, the buttons
    // under it from left to right, the table buttons (下单 hidden without a
    // kitchen printer), and last those that clear and leave.
    const QStringList expected = {"C1", "C2", "C3", "c4", "c5", "c6", "L1", "L2", "L3",
                                  "L4", "L5", "L6", "L7", "Label2", "Command2", "CheckoutButton",
                                  "Command4", "Command3", "OwnerButton", "HoldButton", "RecallButton",
                                  "Command1", "Cm4"};
    QStringList order;
    QWidget *w = button(QStringLiteral("C1"));
    do {
        if (w->window() == &form2() && (w->focusPolicy() & Qt::TabFocus) && w->isVisible())
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != button(QStringLiteral("C1")));
    QCOMPARE(order, expected);

    // Back from a sheet, the focus is on its category, even after a press
    // that moved no focus (a screen reader's): one Enter reopens the sheet,
    // none leaves the main window.
    button(QStringLiteral("Cm4"))->setFocus();
    button(QStringLiteral("C3"))->click();
    orderSheet(3).button(QStringLiteral("Command2"))->click();
    QVERIFY(form2().isVisible());
    QCOMPARE(form2().focusWidget(), button(QStringLiteral("C3")));
}

void TestMainWindow::emptyStoreGivesSpaces()
{
    Program program;
    openMainWindow(program);
    QCOMPARE(shownNames(), QStringList(6, QStringLiteral(" ")));

    // "关闭" stores a single space for each of them.
    pressMain("Cm4");
    for (const QString &name : categoryButtons)
        QCOMPARE(stored(name), QVariant(QStringLiteral(" ")));
}

void TestMainWindow::rightPressRenames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("C1") << QStringLiteral("C1") << Qt::KeyboardModifiers();
    QTest::newRow("c6") << QStringLiteral("c6") << Qt::KeyboardModifiers();
    QTest::newRow("C2 with Shift")
        << QStringLiteral("C2") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("c4 with Ctrl") << QStringLiteral("c4")
                                  << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("C3 with Shift and Ctrl")
        << QStringLiteral("C3") << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier);
}

void TestMainWindow::rightPressRenames()
{
    QFETCH(QString, name);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    Program program;
    openMainWindow(program);
    button(name)->setText(QStringLiteral("面条"));

    QString opened, title, prompt;
    QStringList buttons;
    const ModalAnswer answer = confirmingInputBox(QStringLiteral(" 牛肉面 <b>大</b> "), &opened,
                                                  &title, &prompt, &buttons);
    QCOMPARE(answerModals(answer, [&] { rightPress(button(name), modifiers); }), 1);
    QCOMPARE(title, QStringLiteral("修改"));
    QCOMPARE(prompt, QStringLiteral("请输入新名称"));
    QCOMPARE(buttons, (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
    QCOMPARE(opened, QStringLiteral("面条"));
    QCOMPARE(button(name)->text(), QStringLiteral(" 牛肉面 <b>大</b> "));  // not trimmed

    // Only that button changed; the main window is still the one shown.
    for (const QString &other : categoryButtons)
        if (other != name)
            QCOMPARE(button(other)->text(), QStringLiteral(" "));
    QVERIFY(form2().isVisible());
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMainWindow::cancelKeepsTheName_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel button") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("closed") << 2;
}

void TestMainWindow::cancelKeepsTheName()
{
    QFETCH(int, how);
    Program program;
    openMainWindow(program);
    button(QStringLiteral("C2"))->setText(QStringLiteral("小炒"));

    bool answered = false;
    const ModalAnswer cancel = [how, &answered](QWidget *dialog) {
        auto *box = qobject_cast<QInputDialog *>(dialog);
        if (!box)
            return dialog->close(), void();
        box->setTextValue(QStringLiteral("不要"));
        answered = true;
        if (how == 0)
            box->reject();
        else if (how == 1)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    };
    QCOMPARE(answerModals(cancel, [] { rightPress(button(QStringLiteral("C2"))); }), 1);
    QVERIFY(answered);
    QCOMPARE(button(QStringLiteral("C2"))->text(), QStringLiteral("小炒"));
}

void TestMainWindow::confirmingEmptyOrUnchanged()
{
    Program program;
    openMainWindow(program);
    button(QStringLiteral("C1"))->setText(QStringLiteral("面条"));

    renameCategory(QStringLiteral("C1"), QStringLiteral("面条"));
    QCOMPARE(button(QStringLiteral("C1"))->text(), QStringLiteral("面条"));

    renameCategory(QStringLiteral("C1"), QString());
    QCOMPARE(button(QStringLiteral("C1"))->text(), QString());

    // The empty name still opens its sheet, with an empty title, and "关闭"
    // stores the empty text.
    pressMain("C1");
    QVERIFY(orderSheet(1).isVisible());
    QCOMPARE(orderSheet(1).windowTitle(), QString());
    orderSheet(1).hide();
    form2().showForm();
    pressMain("Cm4");
    QCOMPARE(stored(QStringLiteral("C1")), QVariant(QString()));
}

void TestMainWindow::onlyTheRightButtonRenames_data()
{
    QTest::addColumn<Qt::MouseButton>("mouseButton");
    QTest::addColumn<bool>("opensInputBox");
    QTest::addColumn<bool>("opensSheet");
    QTest::newRow("left") << Qt::LeftButton << false << true;
    QTest::newRow("middle") << Qt::MiddleButton << false << false;
    QTest::newRow("right") << Qt::RightButton << true << false;
}

void TestMainWindow::onlyTheRightButtonRenames()
{
    QFETCH(Qt::MouseButton, mouseButton);
    QFETCH(bool, opensInputBox);
    QFETCH(bool, opensSheet);
    Program program;
    openMainWindow(program);
    button(QStringLiteral("C3"))->setText(QStringLiteral("包子 馒头"));

    ModalWatch dialogs(cancellingInputBox());  // rejects any dialog: the name stays
    QTest::mousePress(button(QStringLiteral("C3")), mouseButton);
    QCOMPARE(dialogs.count(), opensInputBox ? 1 : 0);
    QVERIFY(!program.sheetExists(3));  // nothing opens on the press
    QTest::mouseRelease(button(QStringLiteral("C3")), mouseButton);
    QCOMPARE(dialogs.count(), opensInputBox ? 1 : 0);

    QCOMPARE(program.sheetExists(3) && orderSheet(3).isVisible(), opensSheet);
    QCOMPARE(form2().isVisible(), !opensSheet);
    QCOMPARE(button(QStringLiteral("C3"))->text(), QStringLiteral("包子 馒头"));
}

void TestMainWindow::leftClickOpensTheCategory()
{
    Program program;
    openMainWindow(program);
    renameCategory(QStringLiteral("c5"), QStringLiteral("饺子"));

    pressMain("c5");
    QVERIFY(!form2().isVisible());
    QVERIFY(orderSheet(5).isVisible());
    QCOMPARE(orderSheet(5).objectName(), QStringLiteral("Form7"));
    QCOMPARE(orderSheet(5).windowTitle(), QStringLiteral("饺子"));
    for (int k : {1, 2, 3, 4, 6})
        QVERIFY(!program.sheetExists(k) || !orderSheet(k).isVisible());

    // Back through the sheet's "关闭": the name is still on the button.
    press(orderSheet(5), "Command2");
    QVERIFY(form2().isVisible());
    QCOMPARE(button(QStringLiteral("c5"))->text(), QStringLiteral("饺子"));
}

void TestMainWindow::savesOnlyOnClose()
{
    Program program;
    openMainWindow(program);
    pressMain("Cm4");
    QCOMPARE(stored(QStringLiteral("C1")), QVariant(QStringLiteral(" ")));

    pressMenu();
    renameCategory(QStringLiteral("C1"), QStringLiteral("Noodles"));
    QCOMPARE(stored(QStringLiteral("C1")), QVariant(QStringLiteral(" ")));
    QVERIFY(!storeFile().isEmpty());
    {
        QFile file(storeFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("Noodles"));
    }
    // Opening and closing a sheet does not store the category names either.
    pressMain("C1");
    press(orderSheet(1), "Command2");
    QCOMPARE(stored(QStringLiteral("C1")), QVariant(QStringLiteral(" ")));

    pressMain("Cm4");
    QCOMPARE(stored(QStringLiteral("C1")), QVariant(QStringLiteral("Noodles")));
    QFile file(storeFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("Noodles"));  // on disk, not only in memory
}

namespace {
const QStringList savedNames = {QStringLiteral("牛肉面"),      QString(),
                                QStringLiteral(" 包子 馒头 "), QStringLiteral("a=b;#[x]\\\"\t"),
                                QStringLiteral("🍜"),           QStringLiteral("第一行\r\n第二行")};

void renameAllAndClose()
{
    for (int k = 0; k < 6; ++k)
        renameCategory(categoryButtons[k], savedNames[k]);
    QCOMPARE(shownNames(), savedNames);
    pressMain("Cm4");
}
}  // namespace

void TestMainWindow::namesComeBackInTheNextRun()
{
    {
        Program program;
        openMainWindow(program);
        renameAllAndClose();
    }
    {
        Program next;
        openMainWindow(next);
        QCOMPARE(shownNames(), savedNames);
    }

    // A fresh process (this test program, told to print the names) too.
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(printNamesVariable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 0);
    QStringList names;
    for (const QJsonValue &v : QJsonDocument::fromJson(child.readAllStandardOutput()).array())
        names << v.toString();
    QCOMPARE(names, savedNames);
}

void TestMainWindow::failedSaveIsReported_data()
{
    addBlockedStoreRows();
}

void TestMainWindow::failedSaveIsReported()
{
    QFETCH(bool, fileIsFolder);
    const QString file = storeFile();
    QVERIFY(blockStore(fileIsFolder));

    // A folder in the file's place cannot be read either: told at load.
    Program program;
    QString loadMessage;
    QCOMPARE(answerModals(acceptingMessageBox(&loadMessage), [&] { openMainWindow(program); }),
             fileIsFolder ? 1 : 0);
    QVERIFY(form2().isVisible());
    if (fileIsFolder)
        QVERIFY2(loadMessage.contains(file), qPrintable(loadMessage));

    renameCategory(QStringLiteral("C1"), QStringLiteral("面条"));
    QString message;
    QCOMPARE(answerModals(acceptingMessageBox(&message), [] { pressMain("Cm4"); }), 1);

    QVERIFY2(message.contains(QStringLiteral("未能保存")), qPrintable(message));
    QVERIFY2(message.contains(file), qPrintable(message));
    QVERIFY(form1().isVisible());
    QVERIFY(!form2().isVisible());
    QVERIFY(!program.hasEnded());

    // The names stay on screen and a later "关闭" tries again.
    pressMenu();
    QCOMPARE(button(QStringLiteral("C1"))->text(), QStringLiteral("面条"));
    unblockStore();
    pressMain("Cm4");
    QCOMPARE(stored(QStringLiteral("C1")), QVariant(QStringLiteral("面条")));
}

void TestMainWindow::titleBarCloseActsAsCloseButton()
{
    Program program;
    openMainWindow(program);
    renameCategory(QStringLiteral("C2"), QStringLiteral("小炒"));

    form2().close();
    QVERIFY(!form2().isVisible());
    QVERIFY(form1().isVisible());
    QVERIFY(!program.hasEnded());
    QCOMPARE(stored(QStringLiteral("C2")), QVariant(QStringLiteral("小炒")));

    // Not unloaded: "菜单" brings it back as it was.
    pressMenu();
    QCOMPARE(button(QStringLiteral("C2"))->text(), QStringLiteral("小炒"));
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (qEnvironmentVariableIsSet(printNamesVariable))
        return printCategoryNames();
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_main_window.moc"
