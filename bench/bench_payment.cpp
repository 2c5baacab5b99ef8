// Taking the money, timed: opening the 结账 window (it must show within a
// frame, 16 ms), recording a paid order (the press hands it to the journal's
// thread; the write itself, one synced transaction, is timed apart), and the
// 交班 of a day of 1,000 orders (reading them since the last 交班 and working
// out the figures, under 100 ms).

#include "journal/journal.h"
#include "payment/cash_up.h"
#include "payment/payment_window.h"
#include "payment/shop_settings.h"
#include "till/order_in_progress.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

namespace {

journal::Order paidOrder(const QDateTime &endedAt, int number)
{
    journal::Order order;
    order.uid = QStringLiteral("bench-%1-%2").arg(endedAt.toMSecsSinceEpoch()).arg(number);
    order.receiptNumber = QStringLiteral("%1-%2").arg(endedAt.toString(QStringLiteral("yyyyMMdd"))).arg(number, 4, 10, QLatin1Char('0'));
    order.endedAt = endedAt;
    order.status = journal::OrderStatus::Paid;
    for (int dish = 1; dish <= 4; ++dish)
        order.lines.append({1, QStringLiteral("面条"), QStringLiteral("牛肉面%1").arg(dish), 2,
                            QStringLiteral("小份"), 1, QStringLiteral("大份"), 20.25});
    order.categoryNames[0] = QStringLiteral("面条");
    order.categoryTotals[0] = order.grandTotal = 81;
    journal::Payment paid;
    paid.total = paid.due = 8100;
    paid.parts = {{QStringLiteral("微信"), 5000}, {QStringLiteral("现金"), 3100}};
    paid.cashGiven = 5000;
    paid.change = 1900;
    order.payment = paid;
    return order;
}

}  // namespace

class BenchPayment : public QObject {
    Q_OBJECT

private slots:
    void openCheckoutWindow()
    {
        QWidget main;
        main.show();
        QBENCHMARK {
            payment::PaymentWindow window(4050, payment::ShopSettings{}, &main);
            window.show();
            QCoreApplication::processEvents();  // laid out and painted
        }
    }

    void recordPaidOrderFromThePress()
    {
        // As the program does it: numbered on the counter in shop.ini.
        QTemporaryDir folder;
        till::OrderInProgress order;
        order.setNumbering([&](const QDate &day) { return payment::nextReceiptNumber(day, folder.path()); });
        QList<journal::Order> ended;
        connect(&order, &till::OrderInProgress::ended, this, [&](const journal::Order &o) { ended << o; });
        journal::Payment paid;
        paid.total = paid.due = 2800;
        paid.parts = {{QStringLiteral("现金"), 2800}};
        QBENCHMARK {
            order.handOff(1, QStringLiteral("面条"), 28,
                          {{1, {}, QStringLiteral("牛肉面"), 2, QStringLiteral("小份"), 1, QStringLiteral("大份"), 28}});
            order.end(journal::OrderStatus::Paid, paid);
        }
    }

    void writePaidOrder()
    {
        QTemporaryDir folder;
        journal::Journal journal(folder.path());
        QVERIFY(journal.open());
        int number = 0;
        const QDateTime start = QDateTime::currentDateTime();
        QBENCHMARK {
            QVERIFY(journal.record(paidOrder(start.addSecs(number), ++number)));
        }
    }

    void cashUpOfADay()
    {
        QTemporaryDir folder;
        journal::Journal journal(folder.path());
        QVERIFY(journal.open());
        QList<journal::Order> day;
        const QDateTime start(QDate::currentDate(), QTime(8, 0));
        for (int i = 0; i < 1000; ++i)
            day.append(paidOrder(start.addSecs(i * 43), i + 1));
        QVERIFY2(journal.recordAll(day), qPrintable(journal.error()));
        QBENCHMARK {
            const auto orders = journal.ordersSinceLastCashUp();
            QVERIFY(orders && orders->size() == 1000);
            const journal::CashUp up = payment::cashUpFigures(*orders, 20000, {QStringLiteral("现金")});
            QCOMPARE(up.paidCount, 1000);
        }
    }
};

QTEST_MAIN(BenchPayment)
#include "bench_payment.moc"
