// Several tables at once, timed with 50 orders put aside: putting the order
// on the windows aside and bringing one back (each must answer within a
// frame, 16 ms), and opening 取单's list of the 50 (shown and painted within
// a frame), and in a shop, 取单's list of 30 open tables across the shop
// (aim: under 100 ms on the GUI thread). The journal writes on its own thread
// meanwhile, as in the program.

#include "main_window/form2.h"
#include "main_window/open_order_dialogs.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "sheets/sheet_design.h"
#include "till/open_orders.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

till::HeldOrder tableOrder(int table)
{
    till::HeldOrder held;
    held.uid = QStringLiteral("bench-table-%1").arg(table);
    held.name = QStringLiteral("%1号桌").arg(table);
    held.heldAt = QDateTime::currentDateTime().addSecs(table - 100);
    for (int category = 1; category <= 6; ++category)
        for (int row = 1; row <= 3; ++row)
            held.dishes.append({category, row, QStringLiteral("菜%1").arg(row), QStringLiteral("小份"),
                                QStringLiteral("大份"), QStringLiteral("6"), QStringLiteral("8"), 2, 1});
    held.total = 18 * 2000;
    return held;
}

// Orders one of each portion on the first three rows of every sheet.
void orderSomething()
{
    for (int category = 1; category <= 6; ++category) {
        OrderSheet &sheet = orderSheet(category);
        for (int row = 0; row < 3; ++row) {
            sheet.setCaption(sheet.label(sheet::dishRows()[row].smallPrice), QStringLiteral("6"));
            sheet.setCaption(sheet.label(sheet::dishRows()[row].largePrice), QStringLiteral("8"));
            sheet.button(sheet::dishRows()[row].buttons[1].name)->click();
            sheet.button(sheet::dishRows()[row].buttons[3].name)->click();
        }
        sheet.button(QStringLiteral("Command2"))->click();
    }
}

}  // namespace

class BenchTables : public QObject {
    Q_OBJECT

    QTemporaryDir m_data;
    std::unique_ptr<Program> m_program;

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_data.path().toLocal8Bit());
        m_program = std::make_unique<Program>();
        m_program->start();
        form2().showForm();
        for (int table = 1; table <= 50; ++table)
            m_program->openOrders().keep(tableOrder(table));
        orderSomething();
        QCoreApplication::processEvents();
    }

    // One round trip returns to where it began, so that every round does
    // the same work; the two halves are timed apart as well.
    void putAsideThenBringBack()
    {
        till::OpenOrders &open = m_program->openOrders();
        const QString total = form2().label(QStringLiteral("L7"))->text();
        QCOMPARE(total, QStringLiteral("252"));  // 6 sheets x 3 rows x (6 + 8)
        QElapsedTimer clock;
        qint64 aside = 0, back = 0, rounds = 0;
        QBENCHMARK {
            clock.start();
            form2().holdAs(QStringLiteral("外卖 王"));
            aside += clock.nsecsElapsed();
            const QString uid = open.waiting().constLast().uid;
            clock.start();
            form2().bringBack(uid);
            back += clock.nsecsElapsed();
            ++rounds;
        }
        QCOMPARE(open.waiting().size(), 50);
        QCOMPARE(form2().label(QStringLiteral("L7"))->text(), total);  // back as it was
        qInfo("with 50 orders aside: putting one aside %.2f ms, bringing it back %.2f ms",
              aside / 1e6 / rounds, back / 1e6 / rounds);
    }

    void openTheListOf50()
    {
        const QList<till::HeldOrder> waiting = m_program->openOrders().waiting();
        QCOMPARE(waiting.size(), 50);
        QBENCHMARK {
            main_window::HeldOrderChooser list(&form2(), waiting);
            list.show();
            QCoreApplication::processEvents();  // laid out and painted
        }
    }

    // In a shop: 取单's list of 30 open tables across the shop, as the
    // link last read them (the reading itself is on the link's thread):
    // merged with this till's own, shown and painted.
    void openTheShopsListOf30()
    {
        till::OpenOrders shopTables;
        shopTables.joinShop(1, QStringLiteral("bench-till"));
        shop::TablesView view;
        view.reachable = true;
        for (int table = 1; table <= 30; ++table) {
            const journal::OpenOrder open = tableOrder(100 + table).toOpen();
            view.open.append({open.uid, open.name, open.name, 1 + table % 4, QStringLiteral("收银机"),
                              table % 5 == 0 ? 3 : 0, QStringLiteral("二楼"), open.state, open.total,
                              open.dishCount, open.heldAt, table});
        }
        shopTables.setShopView(view);
        QElapsedTimer clock;
        qint64 spent = 0, rounds = 0;
        QBENCHMARK {
            clock.start();
            const QList<till::TableEntry> listed = shopTables.listing();
            main_window::HeldOrderChooser list(&form2(), listed, true);
            list.show();
            QCoreApplication::processEvents();  // laid out and painted
            spent += clock.nsecsElapsed();
            ++rounds;
            QCOMPARE(listed.size(), 30);
        }
        qInfo("取单 in a shop, 30 open tables across it: %.2f ms from the press to the list painted",
              spent / 1e6 / rounds);
    }

    void cleanupTestCase()
    {
        m_program->end();
        m_program.reset();
    }
};

QTEST_MAIN(BenchTables)
#include "bench_tables.moc"
