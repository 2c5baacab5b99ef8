// A till killed (SIGKILL) while its uploader is in the middle of a batch, on a
// real PostgreSQL 15 (the test runs inside pg_virtualenv): each time it is
// started again it goes on from where the shop says it is, and in the end
// every order is on the server once, nothing lost and nothing doubled. The
// till is this very executable, started as a child with "--upload-child
// FOLDER": an uploader over that folder's journal and nothing else.

#include "journal/journal.h"
#include "journal/outbox.h"
#include "journal/sqlite_db.h"
#include "shop/pg_db.h"
#include "throwaway_server.h"
#include "shop/shop_schema.h"
#include "shop/shop_server.h"
#include "shop/uploader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

using namespace shop;

namespace {

QString newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

journal::Order paid(int n)
{
    journal::Order order;
    order.uid = newUid();
    order.receiptNumber = QStringLiteral("20261208-21-%1").arg(n, 4, 10, QLatin1Char('0'));
    order.status = journal::OrderStatus::Paid;
    order.endedAt = QDateTime(QDate(2026, 12, 8), QTime(10, 0)).addSecs(n);
    const journal::Fen fen = 1000 + n;
    order.grandTotal = fen / 100.0;
    order.lines.append({1, QStringLiteral("面条"), QStringLiteral("牛肉面"), 1, QStringLiteral("小份"), 0,
                        QStringLiteral("大份"), fen / 100.0});
    journal::Payment payment;
    payment.total = payment.due = payment.cashGiven = fen;
    payment.parts = {{QStringLiteral("现金"), fen}};
    order.payment = payment;
    return order;
}

qint64 scalar(pg::Connection &db, const char *sql, const QStringList &params = {})
{
    const std::optional<pg::Result> answer = db.exec(sql, params);
    return answer ? answer->integer(0, 0).value_or(-1) : -1;
}

}  // namespace

class TestShopKill : public QObject {
    Q_OBJECT

private slots:
    void killedInTheMiddleOfABatch()
    {
        constexpr int orders = 4000;
        constexpr int kills = 3;
        QTemporaryDir folder;
        const journal::TillIdentity till{newUid(), 21, QStringLiteral("后厨旁")};
        pg::Connection db;
        QVERIFY2(db.connect(serverAddress()), qPrintable(db.describeFailure()));
        QCOMPARE(ensureSchema(db), QString());
        QCOMPARE(joinShop(db, {till.uid, till.number, till.name}, false), QString());
        {
            journal::Journal local(folder.path());
            QVERIFY(local.open());
            QVERIFY(local.joinShop(till));
            QList<journal::Order> day;
            for (int n = 1; n <= orders; ++n)
                day << paid(n);
            QVERIFY2(local.recordAll(day), qPrintable(local.error()));
        }
        journal::sql::Database outbox;
        QVERIFY(journal::openOutboxReader(outbox, folder.path()));
        const qint64 end = journal::outboxEnd(outbox).value_or(0);
        QCOMPARE(end, qint64(orders));

        pg::Connection watcher;
        QVERIFY(watcher.connect(serverAddress()));
        auto stored = [&] { return storedUpTo(watcher, till.uid).value_or(-1); };
        // A batch of this till's is being stored right now.
        auto inABatch = [&] {
            return scalar(watcher, "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'tavelko' "
                                   "AND state = 'active' AND query LIKE '%tavelko.apply%'") > 0;
        };
        int killedInBatch = 0;
        for (int round = 0; round <= kills; ++round) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--upload-child"), folder.path()});
            QVERIFY(child.waitForStarted(10000));
            QElapsedTimer waited;
            waited.start();
            if (round == kills) {
                while (stored() < end && waited.elapsed() < 60000)
                    QTest::qWait(50);
            } else {
                const qint64 before = stored();
                // Killed once a batch is in flight after some progress, or
                // after a while whatever it is doing.
                while (waited.elapsed() < 20000 && !(stored() > before && inABatch()))
                    ;
                killedInBatch += inABatch() ? 1 : 0;
            }
            child.kill();  // SIGKILL: no clean-up of any kind
            QVERIFY(child.waitForFinished(10000));
            QVERIFY2(stored() <= end, "the shop holds more than the till recorded");
        }
        QCOMPARE(stored(), end);
        QCOMPARE(scalar(db, "SELECT count(*) FROM tavelko.orders WHERE till = $1::uuid", {till.uid}), qint64(orders));
        QCOMPARE(scalar(db, "SELECT count(*) FROM tavelko.changes WHERE till = $1::uuid", {till.uid}), end);
        QCOMPARE(scalar(db, "SELECT count(*) FROM tavelko.kept_aside WHERE till = $1::uuid", {till.uid}), qint64(0));
        QCOMPARE(scalar(db, "SELECT sum(due_fen) FROM tavelko.orders WHERE till = $1::uuid", {till.uid}),
                 qint64(orders) * 1000 + qint64(orders) * (orders + 1) / 2);
        if (killedInBatch == 0)
            qWarning("no kill fell inside a batch this time: the kills came between batches");
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--upload-child") {
        QCoreApplication app(argc, argv);
        Uploader uploader(QString::fromLocal8Bit(argv[2]), serverAddress());
        uploader.batchSize = 400;
        uploader.idleMs = 50;
        uploader.start();
        return app.exec();
    }
    QCoreApplication app(argc, argv);
    TestShopKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shop_kill.moc"
