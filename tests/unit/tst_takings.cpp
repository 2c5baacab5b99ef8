// The owner's menu opens from the main window's heading by every gesture
// meant for it (the menu key still renames a focused category); the takings
// window opened from it shows a day's orders as the journal holds them, with
// figures that add up, and says when the journal cannot be read; an order is
// voided with a reason, unless a 交班 has counted it; orders put aside (挂单)
// are listed apart from every figure, and 交班 with any asks first.

#include "common/caption_number.h"
#include "common/design.h"
#include "journal/journal.h"
#include "journal/journal_service.h"
#include "journal/report.h"
#include "main_window/form2.h"
#include "shell/form1.h"
#include "shell/program.h"
#include "shell/takings_command.h"
#include "payment/cash_up.h"
#include "payment/cash_up_window.h"
#include "payment/receipt.h"
#include "takings/day_rows.h"
#include "takings/takings_window.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextLayout>
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

// The text of a cell of `table`, a list or a table of figures.
QString cell(const QTableView *table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

int rowCount(const QTableView *table)
{
    return table->model()->rowCount();
}

double columnSum(const QTableView *table, int column)
{
    double sum = 0;
    for (int row = 0; row < rowCount(table); ++row)
        sum += captionValue(cell(table, row, column)).value_or(0);
    return sum;
}

// The cells of column `column`, top to bottom.
QStringList column(const QTableView *table, int column)
{
    QStringList cells;
    for (int row = 0; row < rowCount(table); ++row)
        cells << cell(table, row, column);
    return cells;
}

// `o` paid in cash, exactly.
journal::Order paidInCash(journal::Order o)
{
    const journal::Fen total = journal::toFen(o.grandTotal);
    o.status = journal::OrderStatus::Paid;
    o.payment = journal::Payment{total, 0, QString(), 0, total, {{QStringLiteral("现金"), total}}, total, 0};
    return o;
}

// `label`'s text as it breaks into lines `width` pixels wide, each as read
// (word joiners left out).
QStringList wrappedLines(const QLabel *label, int width)
{
    QStringList lines;
    QTextOption wrapping;
    wrapping.setWrapMode(QTextOption::WordWrap);
    for (const QString &paragraph : label->text().split(u'\n')) {
        QTextLayout layout(paragraph, label->font());
        layout.setTextOption(wrapping);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << paragraph.mid(line.textStart(), line.textLength())
                         .remove(QChar(0x2060))
                         .replace(QChar(QChar::Nbsp), u' ')
                         .trimmed();
        }
        layout.endLayout();
    }
    return lines;
}

// Waits for the window's reading of the journal to end.
bool readingEnds(takings::TakingsWindow *window)
{
    return QTest::qWaitFor([window] { return !window->isReading(); }, 10000);
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
    void journalThatCannotBeRead_data();
    void journalThatCannotBeRead();
    void voidsWithAReason();
    void whatLeftTheTillForEachOrder_data();
    void whatLeftTheTillForEachOrder();
    void openOrdersApartFromTheFigures();
    void commandLine_data();
    void commandLine();
    void keysClose_data();
    void keysClose();

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
        QPushButton *owner = window.button(QStringLiteral("OwnerButton"));
        QTest::mouseMove(owner);
        QTest::mouseClick(owner, Qt::LeftButton);
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
                                       QStringLiteral("店铺信息…"), QStringLiteral("店铺数据库…"),
                                       QStringLiteral("导出菜单…"),
                                       QStringLiteral("导入菜单…"), QStringLiteral("关于 Tavelko")}));
        // Opened by keys on its first entry, which a screen reader then
        // names; by the mouse or a finger on none, so Down takes the first.
        const bool byKeys = gesture == MenuKey || gesture == ShiftF10;
        QCOMPARE(menu->activeAction(), byKeys ? menu->actions().constFirst() : nullptr);
        QVERIFY(menu->font().pointSizeF() >= design::readingPoints);
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
    QList<journal::Order> orders{
        order(today.addDays(-1), "23:59:59", 7, {noodles("牛肉面", 1, 0, 6)}),
        order(today, "00:00:00", 8, {noodles("牛肉面", 2, 1, 20), friedRice}),
        order(today, "12:30:00", std::nullopt, {noodles("阳春面", 1, 0, 9)}),
        paidInCash(order(today, "23:59:59", 9, {noodles("牛肉面", 0, 3, 24), noodles("阳春面", 1, 1, 11)})),
    };
    orders[1].printed = true;
    orders[2].copied = true;
    for (journal::Order &o : orders) {
        o.categoryNames = {QStringLiteral("面条"), QStringLiteral("小炒"), QStringLiteral("包子"),
                           QStringLiteral("饺子"), QStringLiteral("米饭"), QStringLiteral("饮料")};
        QVERIFY2(journal::programJournal().record(o), qPrintable(journal::programJournal().error()));
    }

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
    auto *orderList = static_cast<QTableView *>(find("orderList"));
    auto *dishes = static_cast<QTableView *>(find("dishTotals"));
    auto *categories = static_cast<QTableWidget *>(find("categoryTotals"));
    auto *payments = static_cast<QTableWidget *>(find("paymentTotals"));
    auto *reprint = static_cast<QPushButton *>(find("reprintButton"));
    auto *figure = static_cast<QLabel *>(find("takings"));
    QVERIFY(find("readingNotice")->isVisible());  // the journal answers on its own thread
    QVERIFY(readingEnds(takings));
    QVERIFY(!find("readingNotice")->isVisible());

    // Today (as opened), then yesterday through the date picker: what the
    // journal says, and every way of adding it up gives the same.
    for (const auto &[day, count, sum, taken] :
         {std::tuple{today, 3, 76.5, 35.0}, std::tuple{today.addDays(-1), 1, 6.0, 0.0}}) {
        static_cast<QDateEdit *>(find("dayPicker"))->setDate(day);
        QVERIFY(readingEnds(takings));
        const std::optional<journal::DaySummary> said = journal::programJournal().summaryOf(day);
        QVERIFY(said);
        QCOMPARE(said->orderCount, count);
        QCOMPARE(said->takings, journal::toFen(taken));
        QCOMPARE(static_cast<QLabel *>(find("orderCount"))->text(), QString::number(count));
        QCOMPARE(figure->text(), captionText(taken));
        QCOMPARE(figure->accessibleName(), QStringLiteral("营业额 %1元").arg(captionText(taken)));
        QCOMPARE(column(payments, 2)[column(payments, 0).indexOf(QStringLiteral("营业额"))], captionText(taken));
        QCOMPARE(rowCount(orderList), count);
        QCOMPARE(columnSum(orderList, 2), sum);
        QCOMPARE(columnSum(dishes, 4), sum);
        QCOMPARE(columnSum(categories, 1), sum);
        QCOMPARE(rowCount(dishes), int(said->dishes.size()));
        for (int row = 1; row < rowCount(dishes); ++row)
            QVERIFY(captionValue(cell(dishes, row - 1, 4)) >= captionValue(cell(dishes, row, 4)));
        // The latest order is selected, with what reprints: its receipt
        // when it was paid, else its bill.
        QCOMPARE(takings->selectedOrder(), count - 1);
        const journal::Order &latest = takings->orders().last();
        QCOMPARE(static_cast<QPlainTextEdit *>(find("billText"))->toPlainText(),
                 QString(latest.payment ? payment::receiptText(latest, payment::loadShop()) : latest.billText)
                     .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QVERIFY(reprint->isEnabled());
    }

    takings->showDay(today);
    QVERIFY(readingEnds(takings));
    // All six categories in view, even in the smallest window; each
    // portion's quantity in its column; how each bill left the till; the
    // cash taken.
    takings->resize(takings->minimumSizeHint());
    QApplication::processEvents();
    QCOMPARE(categories->rowCount(), 6);
    QVERIFY(categories->visualItemRect(categories->item(5, 0)).bottom() <= categories->viewport()->height());
    const int beef = int(column(dishes, 0).indexOf(QStringLiteral("牛肉面")));
    QCOMPARE(cell(dishes, beef, 2), QStringLiteral("2小份"));
    QCOMPARE(cell(dishes, beef, 3), QStringLiteral("4大份"));
    QCOMPARE(column(orderList, 4), QStringList({"清单已打印", "清单已复制", "结账单未打印"}));
    QCOMPARE(column(orderList, 3), QStringList({"未结账", "未结账", "已结账 现金"}));
    QVERIFY(column(payments, 0).contains(QStringLiteral("　现金")));
    // An order without a bill has nothing to print again.
    takings->selectOrder(1);
    QVERIFY(static_cast<QPlainTextEdit *>(find("billText"))->toPlainText().isEmpty());
    QVERIFY(!reprint->isEnabled());

    // One day's lines exported; a range the wrong way round is refused.
    QTemporaryDir out;
    const QString file = out.filePath(QStringLiteral("lines.csv"));
    QSignalSpy done(takings, &takings::TakingsWindow::done);
    takings->exportDays(today, today, journal::CsvKind::Lines, file);
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(done.last().first().toBool(), true);
    QFile csv(file);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll().count("\r\n"), 1 + 5);  // the heading and today's five lines
    QString message;
    QCOMPARE(answerModals(acceptingMessageBox(&message),
                          [&] { takings->exportDays(today, today.addDays(-1), journal::CsvKind::Orders, file); }),
             1);
    QVERIFY(message.contains(QStringLiteral("起始日期晚于结束日期")));
}

void TestTakings::journalThatCannotBeRead_data()
{
    QTest::addColumn<bool>("damaged");  // else a file where the journal's folder belongs
    QTest::newRow("no folder for the journal") << false;
    QTest::newRow("a damaged journal, set aside") << true;
}

void TestTakings::journalThatCannotBeRead()
{
    QFETCH(bool, damaged);
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("journal"));
    QFile blocker(damaged ? folder + QStringLiteral("/journal.sqlite") : folder);
    QVERIFY(QDir().mkpath(damaged ? folder : root.path()));
    QVERIFY(blocker.open(QIODevice::WriteOnly) && blocker.write(QByteArray(8192, 'x')) > 0);
    blocker.close();
    journal::JournalService service(folder);
    if (!damaged)
        service.record(order(QDate::currentDate(), "12:00:00", 1, {noodles("牛肉面", 1, 0, 6)}));

    takings::TakingsWindow window(service);
    QSignalSpy shown(&window, &takings::TakingsWindow::dayShown);
    QString message;
    QCOMPARE(answerModals(acceptingMessageBox(&message), [&] {
                 window.showDay(QDate::currentDate());
                 QTRY_COMPARE(shown.count(), 1);
             }),
             1);
    QCOMPARE(shown.first().first().toBool(), damaged);
    QVERIFY2(message.contains(damaged ? QStringLiteral("损坏") : QStringLiteral("无法读取营业记录")), qPrintable(message));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("pendingNotice"))->isHidden(), damaged);
    if (!damaged)
        QVERIFY(window.findChild<QLabel *>(QStringLiteral("pendingNotice"))->text().contains(QStringLiteral("另有 1 笔订单")));
}

void TestTakings::whatLeftTheTillForEachOrder_data()
{
    QTest::addColumn<bool>("bill");
    QTest::addColumn<bool>("paid");
    QTest::addColumn<int>("printedBill");  // 1 打印, 2 复制, 3 both
    QTest::addColumn<int>("receipt");      // as recorded at 结账
    QTest::addColumn<QList<int>>("marks"); // marked afterwards, in turn
    QTest::addColumn<QString>("fate");
    using journal::ReceiptFailed, journal::ReceiptReprinted, journal::ReceiptSent;
    QTest::newRow("no bill") << false << false << 0 << 0 << QList<int>() << "无清单";
    QTest::newRow("a bill left alone") << true << false << 0 << 0 << QList<int>() << "清单未打印";
    QTest::newRow("a bill printed and copied") << true << false << 3 << 0 << QList<int>() << "清单已打印、已复制";
    QTest::newRow("a bill printed again") << true << false << 1 << 0 << QList<int>{ReceiptReprinted}
                                          << "清单已打印，清单已重打";
    QTest::newRow("paid without a receipt") << false << true << 0 << 0 << QList<int>() << "结账单未打印";
    QTest::newRow("paid, the receipt printed") << false << true << 0 << int(ReceiptSent) << QList<int>()
                                               << "结账单已打印";
    QTest::newRow("paid, the bill copied, the receipt printed")
        << true << true << 2 << int(ReceiptSent) << QList<int>() << "清单已复制，结账单已打印";
    QTest::newRow("paid, the receipt's print failed") << false << true << 0 << int(ReceiptSent)
                                                      << QList<int>{ReceiptFailed} << "结账单打印失败";
    QTest::newRow("failed, then printed again") << false << true << 0 << int(ReceiptSent)
                                                << QList<int>{ReceiptFailed, ReceiptReprinted} << "结账单已重打";
}

// Each order recorded, marked through the journal's own changes, read back
// from the disk and listed as 营业记录 lists it.
void TestTakings::whatLeftTheTillForEachOrder()
{
    QFETCH(bool, bill);
    QFETCH(bool, paid);
    QFETCH(int, printedBill);
    QFETCH(int, receipt);
    QFETCH(QList<int>, marks);
    QFETCH(QString, fate);
    const QDate today = QDate::currentDate();
    journal::Order o = order(today, "12:00:00", bill ? std::optional(3) : std::nullopt,
                             {noodles("牛肉面", 1, 0, 12)});
    if (paid)
        o = paidInCash(o);
    o.printed = printedBill & 1;
    o.copied = printedBill & 2;
    o.receipt = receipt;
    o.uid = QStringLiteral("fate-order");
    QTemporaryDir folder;
    journal::Journal writing(folder.path());
    QVERIFY2(writing.record(o), qPrintable(writing.error()));
    for (int mark : marks)
        QVERIFY2(writing.apply(journal::Change::mark(o.uid, mark)), qPrintable(writing.error()));
    const auto read = journal::Journal(folder.path(), journal::Journal::Mode::Reading).ordersOf(today);
    QVERIFY(read && read->size() == 1);
    QCOMPARE(takings::dayRows(today, *read).orders.value(0).value(4), fate);
}

void TestTakings::voidsWithAReason()
{
    // Two orders paid in cash; a 交班 counts the first. The second is voided
    // with a typed reason; the first cannot be, and the button says why.
    QTemporaryDir folder;
    const QDate today = QDate::currentDate();
    {
        journal::Journal j(folder.path());
        QVERIFY(j.record(paidInCash(order(today, "00:00:01", 1, {noodles("牛肉面", 2, 0, 12)}))));
        journal::CashUp cashUp;
        cashUp.at = QDateTime(today, QTime(0, 0, 2));
        QVERIFY2(j.recordCashUp(cashUp), qPrintable(j.error()));
        QVERIFY(j.record(paidInCash(order(today, "00:00:03", 2, {noodles("阳春面", 1, 0, 8)}))));
    }
    journal::JournalService service(folder.path());
    takings::TakingsWindow window(service);
    window.showDay(today);
    QVERIFY(readingEnds(&window));
    QCOMPARE(window.summary().takings, 2000);
    auto *voidButton = window.findChild<QPushButton *>(QStringLiteral("voidButton"));
    QSignalSpy done(&window, &takings::TakingsWindow::done);

    QStringList reasons;
    const auto typeReason = [&](QWidget *dialog) {
        if (auto *reason = dialog->findChild<QComboBox *>(QStringLiteral("voidReason"))) {
            for (int i = 0; i < reason->count(); ++i)
                reasons << reason->itemText(i);
            reason->setEditText(QStringLiteral("顾客走了"));
        }
        static_cast<QDialog *>(dialog)->accept();
    };
    QCOMPARE(window.selectedOrder(), 1);
    QCOMPARE(answerModals(typeReason, [&] { QTest::mouseClick(voidButton, Qt::LeftButton); }), 1);
    QCOMPARE(reasons, QStringList({"点错", "退单", "测试"}));
    QTRY_COMPARE(done.count(), 1);
    QVERIFY(readingEnds(&window));
    QCOMPARE(window.orders().size(), 2);  // never deleted
    QCOMPARE(window.selectedOrder(), 1);
    QCOMPARE(window.orders()[1].voidReason, QStringLiteral("顾客走了"));
    QCOMPARE(window.summary().takings, 1200);
    QCOMPARE(window.summary().voidedTotal, 800);
    QVERIFY(!voidButton->isEnabled());
    QCOMPARE(cell(window.findChild<QTableView *>(QStringLiteral("orderList")), 1, 3),
             QStringLiteral("已作废（顾客走了）"));
    QVERIFY(window.findChild<QPlainTextEdit *>(QStringLiteral("billText"))->toPlainText().startsWith(QStringLiteral("已作废（顾客走了）\n结账单")));
    QVERIFY(journal::summaryText(window.summary()).contains(QStringLiteral("已作废 1笔 8元")));

    window.selectOrder(0);
    QVERIFY(!voidButton->isEnabled());
    QCOMPARE(voidButton->toolTip(), QStringLiteral("这一单已计入第 1 次交班，不能再作废。"));
    QCOMPARE(voidButton->accessibleDescription(), voidButton->toolTip());
    QCOMPARE(answerModals(acceptingMessageBox(), [&] { QTest::mouseClick(voidButton, Qt::LeftButton); }), 0);
    window.selectOrder(1);
    QCOMPARE(voidButton->toolTip(), QStringLiteral("这一单已经作废过了。"));
    QCOMPARE(window.summary().takings, 1200);
    // The day's 日结 names its 交班 and what the drawer came to.
    const std::optional<journal::DaySummary> day = journal::Journal(folder.path(), journal::Journal::Mode::Reading).summaryOf(today);
    QVERIFY(day);
    QVERIFY2(journal::summaryText(*day).contains(QStringLiteral("交班 第1次 00:00 无差额")), qPrintable(journal::summaryText(*day)));
    QString message;

    // "备份…" copies the journal, voids and all, and says where.
    const QString copy = folder.filePath(QStringLiteral("copy.sqlite"));
    QCOMPARE(answerModals(acceptingMessageBox(&message), [&] {
                 window.backUpTo(copy);
                 QTRY_COMPARE(done.count(), 2);
             }),
             1);
    QVERIFY2(done.last().first().toBool(), qPrintable(message));
    QVERIFY(message.contains(QDir::toNativeSeparators(copy)));
    QTemporaryDir restored;
    QVERIFY(QFile::copy(copy, restored.filePath(QStringLiteral("journal.sqlite"))));
    QCOMPARE(journal::Journal(restored.path(), journal::Journal::Mode::Reading).summaryOf(today)->voidedCount, 1);
}

void TestTakings::openOrdersApartFromTheFigures()
{
    // One order paid, two put aside.
    QTemporaryDir folder;
    const QDate today = QDate::currentDate();
    {
        journal::Journal j(folder.path());
        QVERIFY(j.record(paidInCash(order(today, "11:00:00", 1, {noodles("牛肉面", 2, 0, 12)}))));
        for (const auto &[uid, name, time, total] : {std::tuple{"a", "3号桌", "12:00:00", 4050},
                                                     std::tuple{"b", "外卖 王", "12:30:00", 2200}})
            QVERIFY(j.keepOpen({QString::fromLatin1(uid), QString::fromUtf8(name),
                                QDateTime(today, QTime::fromString(QString::fromLatin1(time))), total, 3, "{}"}));
    }
    journal::JournalService service(folder.path());
    takings::TakingsWindow window(service);
    window.showDay(today);
    QVERIFY(readingEnds(&window));
    auto *openList = window.findChild<QTableWidget *>(QStringLiteral("openOrderList"));
    QCOMPARE(column(openList, 0), QStringList({"3号桌", "外卖 王"}));
    QCOMPARE(column(openList, 1), QStringList({"12:00", "12:30"}));
    QCOMPARE(columnSum(openList, 2), 62.5);
    const QString apart = QStringLiteral("挂单中 2 张，合计 62.5 元（尚未结账，不计入营业额）");
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("openOrderSummary"))->text(), apart);
    QCOMPARE(window.summary().orderCount, 1);  // in no figure of the day
    QCOMPARE(window.summary().takings, 1200);
    QCOMPARE(window.summary().unpaidCount, 0);

    // 交班 shows them the same way and counts them nowhere; "交班并打印"
    // asks, and 取消 records nothing: the one 交班 recorded is the one
    // confirmed after it.
    journal::CashUp figures = payment::cashUpFigures(window.orders(), 0, {QStringLiteral("现金")});
    figures.at = QDateTime::currentDateTime();
    QCOMPARE(figures.paidTotal + figures.unpaidTotal, 1200);
    payment::CashUpWindow cashUp(figures, false, payment::ShopSettings{});
    cashUp.showOpenOrders(window.openOrders());
    auto *note = cashUp.findChild<QLabel *>(QStringLiteral("OpenOrders"));
    QVERIFY(note->text().startsWith(apart));
    // At its narrowest the note breaks its lines around the names, times
    // and amounts, never inside one.
    const QStringList shown = wrappedLines(note, note->minimumSizeHint().width());
    QVERIFY2(shown.size() > note->text().count(u'\n') + 1, qPrintable(shown.join(u'|')));
    for (const char *whole : {"3号桌", "外卖 王", "12:30", "40.5元"})
        QVERIFY2(shown.filter(QString::fromUtf8(whole)).size() == 1, qPrintable(shown.join(u'|')));
    const auto cashUpsRecorded = [] {
        const auto last = journal::Journal(journal::defaultFolder(), journal::Journal::Mode::Reading).lastCashUp();
        return last && *last ? (*last)->id : 0;
    };
    const qint64 before = cashUpsRecorded();
    QString asked;
    const auto answer = [&asked](const char *button) {
        return [&asked, button](QWidget *dialog) {
            auto *box = qobject_cast<QMessageBox *>(dialog);
            if (!box || box->objectName() != QStringLiteral("OpenOrdersQuestion"))
                return acceptingMessageBox()(dialog);  // the printer's failure, here
            asked = box->text();
            for (QAbstractButton *b : box->buttons())
                if (b->text() == QString::fromUtf8(button))
                    b->click();
        };
    };
    auto *confirm = cashUp.findChild<QPushButton *>(QStringLiteral("CashUpButton"));
    QVERIFY(!confirm->isEnabled());  // until the drawer is counted
    QTest::keyClicks(cashUp.findChild<QLineEdit *>(QStringLiteral("CountedTotal")), QStringLiteral("12"));
    QCOMPARE(answerModals(answer("取消"), [&] { QTest::mouseClick(confirm, Qt::LeftButton); }), 1);
    QVERIFY2(asked.startsWith(QStringLiteral("还有 2 张挂单未结账（合计 62.5 元），仍要交班吗？")), qPrintable(asked));
    QVERIFY(confirm->isEnabled() && cashUp.result() != QDialog::Accepted);
    answerModals(answer("仍要交班"), [&] {
        QTest::mouseClick(confirm, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(cashUp.result(), int(QDialog::Accepted), 10000);
    });
    QCOMPARE(cashUpsRecorded(), before + 1);
}

void TestTakings::commandLine_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("unreadable");  // a journal that is no database
    QTest::addColumn<int>("exitCode");
    QTest::newRow("--takings of a date too long") << "--takings" << QStringList{"-2026-03-14"} << false << 2;
    QTest::newRow("--takings with more") << "--takings" << QStringList{"today", "today"} << false << 2;
    QTest::newRow("--export-takings with more") << "--export-takings" << QStringList{"today", "today", "a.csv", "b.csv"} << false << 2;
    QTest::newRow("--export-lines with less") << "--export-lines" << QStringList{"today", "today"} << false << 2;
    QTest::newRow("--takings, unreadable journal") << "--takings" << QStringList{} << true << 1;
    QTest::newRow("--export-lines, unreadable journal") << "--export-lines" << QStringList{"today", "today", "a.csv"} << true << 1;
    QTest::newRow("--export-lines of one day") << "--export-lines" << QStringList{"today", "today", "a.csv"} << false << 0;
}

void TestTakings::commandLine()
{
    QFETCH(QString, option);
    QFETCH(QStringList, arguments);
    QFETCH(bool, unreadable);
    QFETCH(int, exitCode);
    QTemporaryDir data;
    const QByteArray ownData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    if (unreadable) {
        QDir().mkpath(data.filePath(QStringLiteral("Tavelko")));
        QFile file(data.filePath(QStringLiteral("Tavelko/journal.sqlite")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(8192, 'x')) > 0);
    }
    for (QString &argument : arguments)
        if (argument.endsWith(QStringLiteral(".csv")))
            argument = data.filePath(argument);
    const CommandLineAnswer answer = option == QStringLiteral("--takings")          ? answerTakings(arguments)
                                     : option == QStringLiteral("--export-takings") ? answerExportTakings(arguments)
                                                                                    : answerExportLines(arguments);
    qputenv("XDG_DATA_HOME", ownData);
    QCOMPARE(answer.exitCode, exitCode);
    QCOMPARE(QFile::exists(data.filePath(QStringLiteral("a.csv"))), exitCode == 0);
    QVERIFY(exitCode == 0 || !answer.text.empty());
}

void TestTakings::keysClose_data()
{
    QTest::addColumn<QString>("focused");
    QTest::addColumn<int>("key");
    QTest::newRow("Enter on 关闭") << "closeButton" << int(Qt::Key_Return);
    QTest::newRow("keypad Enter on 关闭") << "closeButton" << int(Qt::Key_Enter);
    QTest::newRow("Escape on the day") << "dayPicker" << int(Qt::Key_Escape);
}

// The window is left by keys alone, as by the mouse.
void TestTakings::keysClose()
{
    QFETCH(QString, focused);
    QFETCH(int, key);
    QTemporaryDir folder;
    journal::JournalService service(folder.path());
    takings::TakingsWindow window(service);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *control = window.findChild<QWidget *>(focused);
    control->setFocus();
    QTest::keyClick(control, Qt::Key(key));
    QTRY_VERIFY(!window.isVisible());
}

QTEST_MAIN(TestTakings)
#include "tst_takings.moc"
