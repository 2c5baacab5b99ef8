// The owner's menu opens from the main window's heading by every gesture
// meant for it (the menu key still renames a focused category); the takings
// window opened from it shows a day's orders as the journal holds them, with
// figures that add up, and says when the journal cannot be read.

#include "common/caption_number.h"
#include "journal/journal.h"
#include "main_window/form2.h"
#include "shell/form1.h"
#include "shell/program.h"
#include "takings/takings_window.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

namespace {

QPointingDevice *touchScreen = nullptr;

Form2 &openMainWindow(Program &program)
{
    program.start();
    QTest::mouseClick(form1().findChild<QPushButton *>(QStringLiteral("C1")), Qt::LeftButton);
    return form2();
}

QMenu *shownOwnerMenu(Form2 &window)
{
    auto *menu = window.findChild<QMenu *>(QStringLiteral("ownerMenu"));
    return menu && menu->isVisible() ? menu : nullptr;
}

// An order ending at `time` of `day` with a bill numbered `number` (if any).
journal::Order order(const QDate &day, const char *time, std::optional<int> number,
                     const QList<journal::OrderLine> &lines)
{
    journal::Order o;
    o.endedAt = QDateTime(day, QTime::fromString(QString::fromLatin1(time)));
    o.billNumber = number;
    o.lines = lines;
    for (const journal::OrderLine &l : lines) {
        o.categoryNames[l.category - 1] = l.categoryName;
        o.categoryTotals[l.category - 1] += l.lineTotal;
        o.grandTotal += l.lineTotal;
    }
    if (number)
        o.billText = QStringLiteral("第%1位\r\n\r\n总计   %2元").arg(*number).arg(captionText(o.grandTotal));
    return o;
}

journal::OrderLine noodles(const char *dish, double small, double large, double total)
{
    return {1, QStringLiteral("面条"), QString::fromUtf8(dish), small, QStringLiteral("小份"),
            large, QStringLiteral("大份"), total};
}

double columnSum(const QTableWidget *table, int column)
{
    double sum = 0;
    for (int row = 0; row < table->rowCount(); ++row)
        sum += captionValue(table->item(row, column)->text()).value_or(0);
    return sum;
}

enum Gesture { RightClick, FingerHeld, MenuKey, ShiftF10, OwnerButton };

}  // namespace

class TestTakings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_data.isValid());
        qputenv("XDG_DATA_HOME", m_data.path().toLocal8Bit());
        touchScreen = QTest::createTouchDevice();
    }
    void init() { clearStore(); }

    void ownerMenuGestures_data();
    void ownerMenuGestures();
    void dayFromTheMenu();
    void journalThatCannotBeRead();

private:
    QTemporaryDir m_data;
};

void TestTakings::ownerMenuGestures_data()
{
    QTest::addColumn<int>("gesture");
    QTest::addColumn<QString>("focused");  // the main window's button with the focus
    QTest::addColumn<bool>("opens");       // the owner's menu, rather than renaming
    QTest::newRow("right click on the heading") << int(RightClick) << "C1" << true;
    QTest::newRow("finger held on the heading") << int(FingerHeld) << "C1" << true;
    QTest::newRow("menu key on 清单") << int(MenuKey) << "Command2" << true;
    QTest::newRow("Shift+F10 on 一键归零") << int(ShiftF10) << "Command1" << true;
    QTest::newRow("the 店主 button") << int(OwnerButton) << "C1" << true;
    QTest::newRow("menu key on a category renames") << int(MenuKey) << "C1" << false;
}

void TestTakings::ownerMenuGestures()
{
    QFETCH(int, gesture);
    QFETCH(QString, focused);
    QFETCH(bool, opens);
    Program program;
    Form2 &window = openMainWindow(program);
    QLabel *heading = window.label(QStringLiteral("Label1"));
    const QRect headingPlace = heading->geometry();
    QPushButton *button = window.button(focused);
    button->setFocus();
    const QPoint centre = heading->rect().center();

    ModalWatch dialogs(confirmingInputBox(QStringLiteral("饺子")));
    if (gesture == RightClick) {
        QTest::mouseClick(heading, Qt::RightButton, {}, centre);
    } else if (gesture == FingerHeld) {
        QTest::touchEvent(heading, touchScreen).press(0, centre, heading);
        QTRY_VERIFY(shownOwnerMenu(window));
        QTest::touchEvent(heading, touchScreen).release(0, centre, heading);
    } else if (gesture == MenuKey) {
        // What the platform makes of the menu key: a request to the focus.
        QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(), button->mapToGlobal(QPoint()));
        QApplication::sendEvent(button, &request);
    } else if (gesture == ShiftF10) {
        QTest::keyClick(button, Qt::Key_F10, Qt::ShiftModifier);
    } else {
        QTest::mouseClick(window.button(QStringLiteral("OwnerButton")), Qt::LeftButton);
    }

    QMenu *menu = shownOwnerMenu(window);
    QCOMPARE(menu != nullptr, opens);
    QCOMPARE(dialogs.count(), opens ? 0 : 1);
    QCOMPARE(button->text() == QStringLiteral("饺子"), !opens);
    if (menu) {
        QStringList entries;
        for (const QAction *action : menu->actions())
            if (!action->isSeparator())
                entries << action->text();
        QCOMPARE(entries, QStringList({QStringLiteral("营业记录…"), QStringLiteral("交班…"),
                                       QStringLiteral("店铺信息…"), QStringLiteral("导出菜单…"),
                                       QStringLiteral("导入菜单…"), QStringLiteral("关于 Tavelko")}));
        menu->hide();
    }
    QCOMPARE(heading->geometry(), headingPlace);
    QVERIFY(heading->toolTip().contains(QStringLiteral("营业记录")));
}

void TestTakings::dayFromTheMenu()
{
    const QDate today = QDate::currentDate();
    const journal::OrderLine friedRice{2, QStringLiteral("小炒"), QStringLiteral("炒饭"), 0,
                                       QStringLiteral("小份"), 1, QStringLiteral("大份"), 12.5};
    for (const journal::Order &o : {
             order(today.addDays(-1), "23:59:59", 7, {noodles("牛肉面", 1, 0, 6)}),
             order(today, "00:00:00", 8, {noodles("牛肉面", 2, 1, 20), friedRice}),
             order(today, "12:30:00", std::nullopt, {noodles("阳春面", 1, 0, 9)}),
             order(today, "23:59:59", 9, {noodles("牛肉面", 0, 3, 24), noodles("阳春面", 1, 1, 11)}),
         })
        QVERIFY2(journal::programJournal().record(o), qPrintable(journal::programJournal().error()));

    Program program;
    Form2 &window = openMainWindow(program);
    QLabel *heading = window.label(QStringLiteral("Label1"));
    QTest::mouseClick(heading, Qt::RightButton, {}, heading->rect().center());
    QVERIFY(shownOwnerMenu(window));
    shownOwnerMenu(window)->findChild<QAction *>(QStringLiteral("takingsAction"))->trigger();
    auto *takings = window.findChild<takings::TakingsWindow *>();
    QVERIFY(takings && takings->isVisible());
    QCOMPARE(takings->windowTitle(), QStringLiteral("营业记录"));
    auto find = [takings](const char *name) { return takings->findChild<QWidget *>(QString::fromLatin1(name)); };
    auto *orderList = static_cast<QTableWidget *>(find("orderList"));
    auto *dishes = static_cast<QTableWidget *>(find("dishTotals"));
    auto *reprint = static_cast<QPushButton *>(find("reprintButton"));

    // Today (as opened), then yesterday through the date picker: what the
    // journal says, and every way of adding it up gives the takings.
    for (const auto &[day, count, sum] : {std::tuple{today, 3, 76.5}, std::tuple{today.addDays(-1), 1, 6.0}}) {
        static_cast<QDateEdit *>(find("dayPicker"))->setDate(day);
        const std::optional<journal::DaySummary> said = journal::programJournal().summaryOf(day);
        QVERIFY(said);
        QCOMPARE(said->orderCount, count);
        QCOMPARE(said->takings, sum);
        QCOMPARE(static_cast<QLabel *>(find("orderCount"))->text(), QString::number(count));
        QCOMPARE(static_cast<QLabel *>(find("takings"))->text(), captionText(sum));
        QCOMPARE(orderList->rowCount(), count);
        QCOMPARE(columnSum(orderList, 2), sum);
        QCOMPARE(columnSum(dishes, 4), sum);
        QCOMPARE(columnSum(static_cast<QTableWidget *>(find("categoryTotals")), 1), sum);
        QCOMPARE(dishes->rowCount(), int(said->dishes.size()));
        for (int row = 1; row < dishes->rowCount(); ++row)
            QVERIFY(captionValue(dishes->item(row - 1, 4)->text()) >= captionValue(dishes->item(row, 4)->text()));
        // The latest order is selected, with its bill.
        QCOMPARE(takings->selectedOrder(), count - 1);
        QCOMPARE(static_cast<QPlainTextEdit *>(find("billText"))->toPlainText(),
                 QString(takings->orders().last().billText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QVERIFY(reprint->isEnabled());
    }

    // An order without a bill has nothing to print again.
    takings->showDay(today);
    takings->selectOrder(1);
    QVERIFY(static_cast<QPlainTextEdit *>(find("billText"))->toPlainText().isEmpty());
    QVERIFY(!reprint->isEnabled());
}

void TestTakings::journalThatCannotBeRead()
{
    QTemporaryDir root;
    QFile blocker(root.filePath(QStringLiteral("journal")));  // a file where its folder belongs
    QVERIFY(blocker.open(QIODevice::WriteOnly) && blocker.write("x") > 0);
    blocker.close();
    journal::Journal unwritable(blocker.fileName());
    QVERIFY(!unwritable.record(order(QDate::currentDate(), "12:00:00", 1, {noodles("牛肉面", 1, 0, 6)})));

    takings::TakingsWindow window(unwritable);
    QString message;
    QCOMPARE(answerModals(acceptingMessageBox(&message), [&] { QVERIFY(!window.showDay(QDate::currentDate())); }), 1);
    QVERIFY(message.startsWith(QStringLiteral("无法读取营业记录")));
    QVERIFY(!window.findChild<QLabel *>(QStringLiteral("pendingNotice"))->isHidden());
    QVERIFY(window.findChild<QLabel *>(QStringLiteral("pendingNotice"))->text().contains(QStringLiteral("另有 1 笔订单")));
}

QTEST_MAIN(TestTakings)
#include "tst_takings.moc"
