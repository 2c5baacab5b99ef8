// The shop's database as a till sees it, on a real PostgreSQL 15 (the test
// runs inside pg_virtualenv): what each way of failing to reach it is called,
// the shop's tables made once even by two tills at a time and a later
// version left alone, joining under a number, batches of changes that
// land once however often they are sent, and the link's faults: an answer
// lost after the server committed, a hung server, a full disk.

#include "journal/journal.h"
#include "journal/outbox.h"
#include "journal/sqlite_db.h"
#include "shop/pg_db.h"
#include "throwaway_server.h"
#include "shop/shop_figures.h"
#include "shop/uploader.h"
#include "shop/shop_config.h"
#include "payment/shop_settings.h"
#include "settings/caption_store.h"
#include "shop/shop_link_window.h"
#include "takings/shop_day_view.h"
#include "testsupport.h"
#include "journal/journal_service.h"
#include "shop/shop_schema.h"
#include "shop/shop_server.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QProcess>
#include <QSpinBox>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTcpSocket>
#include <QThread>
#include <QUuid>
#include <QtTest>

#include <QtEndian>

#include <atomic>
#include <memory>
#include <thread>

#include <cerrno>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

using namespace shop;

namespace {

QString newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Listens on loopback and, for each caller, either answers `reply` and
// hangs up, or (empty reply) says nothing at all.
class FakeServer : public QThread {
public:
    explicit FakeServer(QByteArray reply) : m_reply(std::move(reply)) {}
    quint16 port = 0;
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        port = server.serverPort();
        m_ready.release();
        while (!isInterruptionRequested()) {
            if (!server.waitForNewConnection(100))
                continue;
            QTcpSocket *caller = server.nextPendingConnection();
            caller->waitForReadyRead(1000);
            if (m_reply.isEmpty()) {
                m_silent << caller;  // kept open and silent
                continue;
            }
            caller->write(m_reply);
            caller->waitForBytesWritten(1000);
            caller->disconnectFromHost();
            delete caller;
        }
        qDeleteAll(m_silent);
    }
    void startAndWait()
    {
        start();
        m_ready.acquire();
    }
    ~FakeServer() override
    {
        requestInterruption();
        wait();
    }

private:
    QByteArray m_reply;
    QList<QTcpSocket *> m_silent;
    QSemaphore m_ready;
};

OutgoingChange orderChange(qint64 seq, const QString &uid, qint64 fen, const QString &method = QStringLiteral("现金"))
{
    const QString json = QStringLiteral(R"({"receipt":"20261208-1-%1","status":"paid","day":"2026-12-08",)"
                                        R"("endedAt":"2026-12-08 12:00:00.000","totalFen":%2,"dueFen":%2,)"
                                        R"("parts":[{"method":"%3","fen":%2}]})")
                             .arg(seq, 4, 10, QLatin1Char('0'))
                             .arg(fen)
                             .arg(method);
    return {seq, QStringLiteral("order"), uid, QStringLiteral("2026-12-08 12:00:00.000"), json.toUtf8()};
}

qint64 scalar(pg::Connection &db, const char *sql, const QStringList &params = {})
{
    const std::optional<pg::Result> answer = db.exec(sql, params);
    if (!answer)
        qWarning() << db.message();
    return answer ? answer->integer(0, 0).value_or(-1) : -1;
}

journal::Order paid(int n, journal::Fen fen, const QList<journal::PaymentPart> &parts)
{
    journal::Order order;
    order.uid = newUid();
    order.receiptNumber = QStringLiteral("20261208-5-%1").arg(n, 4, 10, QLatin1Char('0'));
    order.status = journal::OrderStatus::Paid;
    order.endedAt = QDateTime(QDate(2026, 12, 8), QTime(10, 0).addSecs(n));
    order.grandTotal = fen / 100.0;
    order.lines.append({1, QStringLiteral("面条"), QStringLiteral("牛肉面"), 1, QStringLiteral("小份"), 0,
                        QStringLiteral("大份"), fen / 100.0});
    journal::Payment payment;
    payment.total = payment.due = fen;
    payment.parts = parts;
    payment.cashGiven = parts.first().method == QLatin1String("现金") ? parts.first().amount : 0;
    order.payment = payment;
    return order;
}

// The throwaway server, stopped at once or started again.
bool server(const char *action)
{
    QStringList arguments = {QStringLiteral("15"), QStringLiteral("regress"), QString::fromLatin1(action)};
    if (QByteArray(action) == "stop")
        arguments << QStringLiteral("-m") << QStringLiteral("immediate");
    QProcess ctl;
    ctl.start(QStringLiteral("timeout"), QStringList{QStringLiteral("60"), QStringLiteral("pg_ctlcluster")} + arguments);
    return ctl.waitForFinished(70000) && ctl.exitCode() == 0;
}

// Waits (with events) until `ready` holds, at most `ms`.
bool waitUntil(const std::function<bool()> &ready, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!ready()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(50);
    }
    return true;
}


// A till's own journal, joined to the shop as `number`: unset on failure.
journal::TillIdentity joinTill(journal::Journal &local, int number, const QString &name)
{
    const journal::TillIdentity till{newUid(), number, name};
    pg::Connection db;
    if (!db.connect(serverAddress()) || !ensureSchema(db).isEmpty() ||
        !joinShop(db, {till.uid, till.number, till.name}, false).isEmpty() || !local.joinShop(till))
        return {};
    return till;
}

std::unique_ptr<Uploader> startUploader(const QString &folder, const pg::Address &address)
{
    auto uploader = std::make_unique<Uploader>(folder, address);
    uploader->idleMs = 100;
    uploader->retryMs = uploader->maxRetryMs = 300;
    uploader->start();
    return uploader;
}

// The shop holds the till's last change, and the till knows it.
bool upToDate(pg::Connection &watcher, const Uploader &uploader, const QString &till,
              journal::sql::Database &outbox)
{
    if (!watcher.isOpen() && !watcher.connect(serverAddress()))
        return false;
    const LinkState state = uploader.state();
    return storedUpTo(watcher, till) == journal::outboxEnd(outbox) && state.connected && state.waiting == 0;
}

// Empty when the shop holds each of the till's changes once and its orders
// as its journal has them, to the 分; otherwise what differs.
QString differences(pg::Connection &db, const QString &till, journal::Journal &local,
                    journal::sql::Database &outbox)
{
    const std::optional<journal::DaySummary> own = local.summaryOf(QDate(2026, 12, 8));
    const qint64 end = journal::outboxEnd(outbox).value_or(-1);
    const struct {
        const char *what;
        qint64 shop, till;
    } counts[] = {
        {"changes", scalar(db, "SELECT count(*) FROM tavelko.changes WHERE till = $1::uuid", {till}), end},
        {"last change", scalar(db, "SELECT coalesce(max(seq), 0) FROM tavelko.changes WHERE till = $1::uuid", {till}),
         end},
        {"orders", scalar(db, "SELECT count(*) FROM tavelko.orders WHERE till = $1::uuid", {till}),
         own ? own->orderCount : -1},
        {"paid fen",
         scalar(db, "SELECT coalesce(sum(amount_fen), 0) FROM tavelko.order_payments p JOIN tavelko.orders o "
                    "ON o.uid = p.order_uid WHERE o.till = $1::uuid",
                {till}),
         own ? own->takings : -1},
        {"kept aside", scalar(db, "SELECT count(*) FROM tavelko.kept_aside WHERE till = $1::uuid", {till}), 0},
    };
    QStringList wrong;
    for (const auto &count : counts)
        if (count.shop != count.till)
            wrong << QStringLiteral("%1: shop %2, till %3").arg(QLatin1String(count.what)).arg(count.shop).arg(count.till);
    return wrong.join(QStringLiteral("; "));
}

// Stands on loopback between a till and the real server, passing the bytes
// both ways. The first time the till calls tavelko.apply and the server
// answers it without an error, the till gets that answer but its last
// message (ReadyForQuery: the transaction is over and committed) and both
// connections are cut there: the server stored the batch, the till never
// heard so. Later batches pass untouched.
class AnswerCutter : public QThread {
public:
    explicit AnswerCutter(const pg::Address &server) : m_host(server.host), m_port(quint16(server.port)) {}
    quint16 port = 0;
    std::atomic<int> applies{0};  // batches the till sent through here
    std::atomic<int> cuts{0};
    void startAndWait()
    {
        start();
        m_ready.acquire();
    }
    ~AnswerCutter() override
    {
        quit();
        wait();
    }

protected:
    void run() override
    {
        QTcpServer listener;
        listener.listen(QHostAddress::LocalHost);
        port = listener.serverPort();
        QObject::connect(&listener, &QTcpServer::newConnection, &listener, [&] {
            while (listener.hasPendingConnections())
                pass(listener.nextPendingConnection());  // a child of the listener
        });
        m_ready.release();
        exec();
    }

private:
    void pass(QTcpSocket *till)
    {
        auto *server = new QTcpSocket(till);
        server->connectToHost(m_host, m_port);
        if (!server->waitForConnected(5000)) {
            till->abort();
            return;
        }
        struct Watch {
            bool on = false;      // the answer to a batch is on its way
            bool failed = false;  // and it is an error: let it pass
            QByteArray answer;    // its bytes not yet passed on
            QByteArray tail;      // the till's last bytes, for a call split across reads
        };
        auto watch = std::make_shared<Watch>();
        QObject::connect(till, &QTcpSocket::readyRead, till, [=, this] {
            const QByteArray bytes = till->readAll();
            if ((watch->tail + bytes).contains("FROM tavelko.apply(")) {
                ++applies;
                if (cuts == 0)
                    *watch = Watch{true, false, {}, {}};
            }
            watch->tail = bytes.right(32);
            server->write(bytes);
        });
        QObject::connect(server, &QTcpSocket::readyRead, till, [=, this] {
            const QByteArray bytes = server->readAll();
            if (!watch->on) {
                till->write(bytes);
                return;
            }
            watch->answer += bytes;
            // Whole messages: a type byte, then a length counting itself.
            qsizetype at = 0;
            while (watch->answer.size() - at >= 5) {
                const char type = watch->answer.at(at);
                const qsizetype length = qFromBigEndian<quint32>(watch->answer.constData() + at + 1);
                if (watch->answer.size() - at < 1 + length)
                    break;
                watch->failed = watch->failed || type == 'E';
                if (type == 'Z' && !watch->failed) {
                    till->write(watch->answer.left(at));
                    ++cuts;
                    watch->on = false;
                    server->abort();
                    till->disconnectFromHost();  // after what was written has gone
                    return;
                }
                at += 1 + length;
                if (type == 'Z')
                    watch->on = false;
            }
            till->write(watch->answer.left(at));
            watch->answer.remove(0, at);
            if (!watch->on) {
                till->write(watch->answer);
                watch->answer.clear();
            }
        });
        QObject::connect(till, &QTcpSocket::disconnected, server, [server] { server->disconnectFromHost(); });
        QObject::connect(server, &QTcpSocket::disconnected, till, [till] { till->disconnectFromHost(); });
    }

    const QString m_host;
    const quint16 m_port;
    QSemaphore m_ready;
};

// Every process of the throwaway cluster: its postmaster (from the pid file
// in its data folder) and the postmaster's children.
QList<pid_t> clusterProcesses(pg::Connection &db)
{
    const std::optional<pg::Result> folder = db.exec("SELECT setting FROM pg_settings WHERE name = 'data_directory'");
    if (!folder)
        return {};
    QFile pidFile(folder->text(0, 0) + QStringLiteral("/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return {};
    const pid_t postmaster = pid_t(pidFile.readLine().trimmed().toLongLong());
    if (postmaster <= 0)
        return {};
    QList<pid_t> all = {postmaster};
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (name) state ppid ...": the name may hold spaces and brackets.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == postmaster)
            all << pid_t(entry.toLongLong());
    }
    return all;
}

// Runs an outside tool, at most 30 s: empty on success, else what it said.
QString runTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("timeout"), QStringList{QStringLiteral("30"), tool} + arguments);
    if (!process.waitForFinished(40000))
        return tool + QStringLiteral(" did not end");
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return {};
    const QString said = QString::fromLocal8Bit(process.readAll()).trimmed();
    return said.isEmpty() ? tool + QStringLiteral(" failed") : said;
}


// Runs `done` when it goes out of scope, a check that failed included.
struct Finally {
    std::function<void()> done;
    ~Finally() { done(); }
};

}  // namespace

class TestShop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Each run's server is new: so is the program's own journal, which
        // would otherwise remember joining the last run's shop.
        QVERIFY(QDir(journal::defaultFolder()).removeRecursively());
        pg::Connection db;
        QVERIFY2(db.connect(serverAddress()), qPrintable(db.describeFailure()));
    }

    void failuresAreNamed_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("failure");
        QTest::newRow("wrong password") << "password" << int(pg::Failure::WrongPassword);
        QTest::newRow("no such database") << "database" << int(pg::Failure::NoDatabase);
        QTest::newRow("nothing listens") << "closed" << int(pg::Failure::NoRoute);
        QTest::newRow("not PostgreSQL") << "http" << int(pg::Failure::NotPostgres);
        QTest::newRow("silent server") << "silent" << int(pg::Failure::TimedOut);
        QTest::newRow("encryption required") << "tls" << int(pg::Failure::NeedsTls);
    }
    void failuresAreNamed()
    {
        QFETCH(QString, what);
        QFETCH(int, failure);
        pg::Address address = serverAddress();
        const QByteArray password = qgetenv("PGPASSWORD");
        std::unique_ptr<FakeServer> fake;
        if (what == QLatin1String("password"))
            qputenv("PGPASSWORD", "not-the-password");
        if (what == QLatin1String("database"))
            address.database = QStringLiteral("no_such_shop");
        if (what == QLatin1String("tls"))
            address.sslMode = QStringLiteral("require");  // the throwaway server has no certificate
        if (what == QLatin1String("closed") || what == QLatin1String("http") || what == QLatin1String("silent")) {
            fake = std::make_unique<FakeServer>(what == QLatin1String("http")
                                                    ? QByteArray("HTTP/1.0 400 Bad Request\r\n\r\n")
                                                    : QByteArray());
            fake->startAndWait();
            address.host = QStringLiteral("127.0.0.1");
            address.port = fake->port;
            if (what == QLatin1String("closed"))
                fake.reset();  // the port is free again: nothing listens there
        }
        pg::Connection db;
        const bool reached = db.connect(address);
        qputenv("PGPASSWORD", password);
        QVERIFY(!reached);
        QCOMPARE(int(db.failure()), failure);
        QVERIFY(!db.describeFailure().isEmpty());
    }

    // "店铺数据库…": a wrong password is told and nothing is kept; the right
    // one joins: the journal holds the till, shop.ini the address, libpq's
    // own file (this user's alone) the password, and the window shows none.
    void ownerJoinsFromTheWindow()
    {
        QTemporaryDir folder;
        const QString passFile = folder.filePath(QStringLiteral("pgpass"));
        qputenv("PGPASSFILE", passFile.toLocal8Bit());
        const QByteArray password = qgetenv("PGPASSWORD");
        qunsetenv("PGPASSWORD");  // what the owner types is all the window has
        journal::programJournalService().start();
        const pg::Address server = serverAddress();
        ShopLinkWindow window(nullptr, folder.path());
        window.findChild<QLineEdit *>(QStringLiteral("ShopHost"))->setText(server.host);
        window.findChild<QSpinBox *>(QStringLiteral("ShopPort"))->setValue(server.port);
        window.findChild<QLineEdit *>(QStringLiteral("ShopDatabase"))->setText(server.database);
        window.findChild<QLineEdit *>(QStringLiteral("ShopUser"))->setText(server.user);
        window.findChild<QSpinBox *>(QStringLiteral("TillNumber"))->setValue(9);
        window.findChild<QLineEdit *>(QStringLiteral("TillName"))->setText(QStringLiteral("二楼"));
        QLineEdit *typed = window.findChild<QLineEdit *>(QStringLiteral("ShopPassword"));
        QSignalSpy answers(&window, &ShopLinkWindow::answered);
        QSignalSpy joined(&window, &ShopLinkWindow::joined);

        typed->setText(QStringLiteral("not-the-password"));
        window.save();
        QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 1, 20000);
        qputenv("PGPASSWORD", password);
        QCOMPARE(answers[0][0].toBool(), false);
        QVERIFY2(answers[0][1].toString().contains(QStringLiteral("密码")), qPrintable(answers[0][1].toString()));
        QVERIFY(!loadAddress(folder.path()));
        QVERIFY(!QFile::exists(passFile));

        qunsetenv("PGPASSWORD");
        typed->setText(QString::fromLocal8Bit(password));
        window.tryIt();
        QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 2, 20000);
        QVERIFY2(answers[1][0].toBool(), qPrintable(answers[1][1].toString()));
        {
            // A shop without a menu offers to take this till's (one with
            // something on it).
            QVERIFY(settings::saveCaptions({{QStringLiteral("Form2/C1"), QStringLiteral("面条")}}));
            QString asked;
            testsupport::ModalWatch offer([&asked](QWidget *dialog) {
                auto *box = qobject_cast<QMessageBox *>(dialog);
                asked = box ? box->text() : QString();
                for (QPushButton *button : dialog->findChildren<QPushButton *>())
                    if (button->text() == QStringLiteral("用本机的菜单"))
                        button->click();
            });
            window.save();
            QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 3, 20000);
            QTRY_COMPARE_WITH_TIMEOUT(offer.count(), 1, 20000);
            QVERIFY2(asked.contains(QStringLiteral("店铺还没有菜单")), qPrintable(asked));
        }
        qputenv("PGPASSWORD", password);
        QVERIFY2(answers[2][0].toBool(), qPrintable(answers[2][1].toString()));
        QCOMPARE(joined.count(), 1);
        QVERIFY(typed->text().isEmpty());

        QCOMPARE(loadAddress(folder.path()).value_or(pg::Address{}).host, server.host);
        QFile shopIni(payment::shopFile(folder.path()));
        QVERIFY(shopIni.open(QIODevice::ReadOnly));
        QVERIFY(!shopIni.readAll().contains(password));
        QFile kept(passFile);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QVERIFY(kept.readAll().contains(password));
        QCOMPARE(kept.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        const journal::TillIdentity till = joined[0][0].value<journal::TillIdentity>();
        pg::Connection db;
        QVERIFY(db.connect(server));
        QCOMPARE(scalar(db, "SELECT number FROM tavelko.tills WHERE uid = $1::uuid AND replaced_at IS NULL",
                        {till.uid}),
                 9);
        // Saved again from a window that has not heard of the till yet: still
        // the same till to the shop, not a stranger asking for its number.
        {
            ShopLinkWindow again(nullptr, folder.path());
            again.findChild<QSpinBox *>(QStringLiteral("TillNumber"))->setValue(9);
            again.findChild<QLineEdit *>(QStringLiteral("TillName"))->setText(QStringLiteral("二楼"));
            QSignalSpy joinedAgain(&again, &ShopLinkWindow::joined);
            again.save();
            QTRY_COMPARE_WITH_TIMEOUT(joinedAgain.count(), 1, 20000);
            QCOMPARE(joinedAgain[0][0].value<journal::TillIdentity>().uid, till.uid);
        }

        // 营业记录's 全店 reads it back, and tells a day the shop lacks part of.
        takings::ShopDayView view(nullptr, folder.path());
        QSignalSpy shown(&view, &takings::ShopDayView::dayShown);
        for (int unsent : {0, 3}) {
            QVERIFY(db.exec("UPDATE tavelko.tills SET outbox_end = coalesce((SELECT max(seq) FROM tavelko.changes "
                            "WHERE till = $1::uuid), 0) + $2::bigint WHERE uid = $1::uuid",
                            {till.uid, QString::number(unsent)}));
            view.showDay(QDate::currentDate());
            QTRY_COMPARE_WITH_TIMEOUT(shown.count(), unsent ? 2 : 1, 20000);
            QVERIFY(shown.last()[0].toBool());
            const auto *tills = view.findChild<QTableWidget *>(QStringLiteral("shopTills"));
            QVERIFY(!tills->findItems(QStringLiteral("9 号 二楼"), Qt::MatchExactly).isEmpty());
            const auto *warning = view.findChild<QLabel *>(QStringLiteral("shopUnsent"));
            QCOMPARE(warning->isVisibleTo(&view), unsent > 0);
            QCOMPARE(warning->text().contains(QStringLiteral("“二楼” 3 笔")), unsent > 0);
        }
        // 打印全店日结 of a partial day asks first; "不打印" prints nothing.
        QString asked;
        QCOMPARE(testsupport::answerModals(
                     [&asked](QWidget *dialog) {
                         auto *box = qobject_cast<QMessageBox *>(dialog);
                         asked = box ? box->text() : QString();
                         if (box)
                             box->button(QMessageBox::No)->click();
                         else
                             dialog->close();
                     },
                     [&view] { view.printDay(); }),
                 1);
        QVERIFY2(asked.contains(QStringLiteral("“二楼” 3 笔")), qPrintable(asked));
        QVERIFY(journal::programJournalService().finish(std::chrono::seconds(5)).isEmpty());
        journal::Journal own(journal::defaultFolder());
        QVERIFY(own.open());
        QCOMPARE(own.tillIdentity().uid, till.uid);
    }

    void schemaIsMadeOnceAndLaterOnesAreLeftAlone()
    {
        {
            pg::Connection db;  // a shop's server with none of its tables yet
            QVERIFY(db.connect(serverAddress()));
            QVERIFY(db.exec("DROP SCHEMA IF EXISTS tavelko CASCADE"));
        }
        // Two tills starting together: both find the tables made, neither fails.
        QString first, second;
        std::thread one([&first] {
            pg::Connection db;
            first = db.connect(serverAddress()) ? ensureSchema(db) : db.describeFailure();
        });
        std::thread two([&second] {
            pg::Connection db;
            second = db.connect(serverAddress()) ? ensureSchema(db) : db.describeFailure();
        });
        one.join();
        two.join();
        QCOMPARE(first, QString());
        QCOMPARE(second, QString());
        pg::Connection db;
        QVERIFY(db.connect(serverAddress()));
        QCOMPARE(schemaVersionOf(db).value_or(-1), shopSchemaVersion);

        // Tables of the first version are brought up to this one.
        QVERIFY(db.run("DROP TABLE tavelko.menu, tavelko.open_tables; DROP SEQUENCE tavelko.versions; "
                       "DROP FUNCTION tavelko.apply(uuid, jsonb), tavelko.take_table(uuid, text, boolean), "
                       "tavelko.free_name(text, text), tavelko.close_table(uuid, text); "
                       "ALTER FUNCTION tavelko.apply_sales(uuid, jsonb) RENAME TO apply"));
        QVERIFY(db.exec("ALTER TABLE tavelko.tills DROP COLUMN put_aside_count, DROP COLUMN put_aside_fen"));
        QVERIFY(db.exec("UPDATE tavelko.meta SET value = '1' WHERE key = 'schema'"));
        QCOMPARE(ensureSchema(db), QString());
        QCOMPARE(schemaVersionOf(db).value_or(-1), shopSchemaVersion);
        QVERIFY(db.exec("SELECT put_aside_count, put_aside_fen FROM tavelko.tills"));
        QVERIFY(db.exec("SELECT count(*) FROM tavelko.menu, tavelko.open_tables"));

        // Tables of a later version are refused and not touched.
        QVERIFY(db.exec("UPDATE tavelko.meta SET value = '99' WHERE key = 'schema'"));
        const QString refused = ensureSchema(db);
        QVERIFY(refused.contains(QStringLiteral("新版本")));
        QCOMPARE(schemaVersionOf(db).value_or(-1), 99);
        QVERIFY(db.exec("UPDATE tavelko.meta SET value = $1 WHERE key = 'schema'",
                        {QString::number(shopSchemaVersion)}));
    }

    void aNumberIsHeldByOneTill()
    {
        pg::Connection db;
        QVERIFY(db.connect(serverAddress()));
        QCOMPARE(ensureSchema(db), QString());
        const TillIdentity front{newUid(), 7, QStringLiteral("前台")};
        const TillIdentity stranger{newUid(), 7, QStringLiteral("新电脑")};
        QCOMPARE(joinShop(db, front, false), QString());
        QCOMPARE(joinShop(db, front, false), QString());  // joining again is no change
        QVERIFY(joinShop(db, stranger, false).contains(QStringLiteral("前台")));
        QCOMPARE(joinShop(db, stranger, true), QString());
        QCOMPARE(scalar(db, "SELECT count(*) FROM tavelko.tills WHERE number = 7 AND replaced_at IS NULL"), 1);
        QCOMPARE(scalar(db, "SELECT count(*) FROM tavelko.tills WHERE uid = $1::uuid AND replaced_at IS NULL",
                        {stranger.uid}),
                 1);
    }

    void changesLandOnce()
    {
        pg::Connection db;
        QVERIFY(db.connect(serverAddress()));
        QCOMPARE(ensureSchema(db), QString());
        const TillIdentity till{newUid(), 11, QStringLiteral("二楼")};
        const TillIdentity other{newUid(), 12, QStringLiteral("前台")};
        QCOMPARE(joinShop(db, till, false), QString());
        QCOMPARE(joinShop(db, other, false), QString());
        const QString a = newUid(), b = newUid();
        const QList<OutgoingChange> batch = {orderChange(1, a, 8850), orderChange(2, b, 1200, QStringLiteral("微信"))};

        struct Step {
            const char *what;
            QList<OutgoingChange> sent;
            int stored, aside;
            qint64 orders, fen;  // the till's orders on the server and their sum
        };
        OutgoingChange otherContent = orderChange(2, b, 9999);
        OutgoingChange sameOrderAgain = orderChange(3, a, 7777);
        OutgoingChange voided{4, QStringLiteral("void"), b, QStringLiteral("2026-12-08 13:00:00.000"),
                              R"({"reason":"点错","at":"2026-12-08 13:00:00.000"})"};
        const QList<Step> steps = {
            {"first send", batch, 2, 0, 2, 10050},
            {"sent again (its answer was lost)", batch, 0, 0, 2, 10050},
            {"a sequence number with other content", {otherContent}, 0, 1, 2, 10050},
            {"an order identity with other content", {sameOrderAgain}, 1, 1, 2, 10050},
            {"a void", {voided}, 1, 0, 2, 10050},
        };
        for (const Step &step : steps) {
            const std::optional<BatchAnswer> answer = storeBatch(db, till.uid, step.sent);
            QVERIFY2(answer, qPrintable(QString::fromLatin1(step.what) + u' ' + db.message()));
            QCOMPARE(answer->lastSeq, step.sent.last().seq);
            QVERIFY2(answer->stored == step.stored && answer->keptAside == step.aside, step.what);
            QCOMPARE(scalar(db, "SELECT count(*) FROM tavelko.orders WHERE till = $1::uuid", {till.uid}), step.orders);
            QCOMPARE(scalar(db, "SELECT sum(amount_fen) FROM tavelko.order_payments p JOIN tavelko.orders o "
                                "ON o.uid = p.order_uid WHERE o.till = $1::uuid",
                            {till.uid}),
                     step.fen);
        }
        QCOMPARE(scalar(db, "SELECT count(*) FROM tavelko.orders WHERE uid = $1 AND status = 'voided'", {b}), 1);
        QCOMPARE(storedUpTo(db, till.uid).value_or(-1), 4);
        // Another till cannot void this till's order.
        OutgoingChange foreign{1, QStringLiteral("void"), a, QString(), R"({"reason":"x"})"};
        QVERIFY(storeBatch(db, other.uid, {foreign}));
        QCOMPARE(scalar(db, "SELECT count(*) FROM tavelko.orders WHERE uid = $1 AND status = 'paid'", {a}), 1);
    }

    // A till records on its own journal whether the server is there or not;
    // everything lands once, and the shop's day is the till's day to the 分.
    void salesGoUpAcrossAStoppedServer()
    {
        QTemporaryDir folder;
        journal::Journal local(folder.path());
        QVERIFY(local.open());
        const journal::TillIdentity till{newUid(), 5, QStringLiteral("前台")};
        QVERIFY(local.recordAll({paid(1, 1250, {{QStringLiteral("现金"), 1250}})}));  // before joining
        {
            pg::Connection db;
            QVERIFY(db.connect(serverAddress()));
            QCOMPARE(ensureSchema(db), QString());
            QCOMPARE(joinShop(db, {till.uid, till.number, till.name}, false), QString());
        }
        QVERIFY2(local.joinShop(till), qPrintable(local.error()));
        Uploader uploader(folder.path(), serverAddress());
        uploader.idleMs = 100;
        uploader.retryMs = uploader.maxRetryMs = 300;
        uploader.start();
        // Up to date: the shop holds the till's last change, and the till knows it.
        journal::sql::Database outbox;
        QVERIFY(journal::openOutboxReader(outbox, folder.path()));
        pg::Connection watcher;
        auto upToDate = [&] {
            if (!watcher.isOpen() && !watcher.connect(serverAddress()))
                return false;
            return storedUpTo(watcher, till.uid) == journal::outboxEnd(outbox) && uploader.state().connected &&
                   uploader.state().waiting == 0;
        };

        struct Step {
            const char *what;
            const char *serverAction;  // before the step's orders
            QList<journal::Order> orders;
        };
        const QList<Step> steps = {
            {"a split and 微信", nullptr,
             {paid(2, 8850, {{QStringLiteral("现金"), 5000}, {QStringLiteral("微信"), 3850}}),
              paid(3, 1200, {{QStringLiteral("微信"), 1200}})}},
            {"while the server is stopped", "stop", {paid(4, 333, {{QStringLiteral("现金"), 333}})}},
            {"after it returns", "start", {paid(5, 4050, {{QStringLiteral("支付宝"), 4050}})}},
        };
        for (const Step &step : steps) {
            if (step.serverAction)
                QVERIFY2(server(step.serverAction), step.serverAction);
            for (const journal::Order &order : step.orders)
                QVERIFY2(local.record(order), qPrintable(local.error()));
            if (QByteArray(step.serverAction) == "stop") {
                QVERIFY2(waitUntil([&] { return !uploader.state().connected && uploader.state().waiting > 0; }, 20000),
                         step.what);
                continue;
            }
            QVERIFY2(waitUntil(upToDate, 20000), qPrintable(QString::fromLatin1(step.what) + u' ' + uploader.state().why));
        }
        local.voidOrder(local.ordersOf(QDate(2026, 12, 8))->at(2).id, QStringLiteral("点错"),
                        QDateTime(QDate(2026, 12, 8), QTime(11, 0)));
        QVERIFY(waitUntil(upToDate, 20000));
        // A 交班 goes up like an order.
        journal::CashUp cashUp;
        cashUp.at = QDateTime(QDate(2026, 12, 8), QTime(14, 0));
        QVERIFY2(local.recordCashUp(cashUp), qPrintable(local.error()));
        QVERIFY(waitUntil(upToDate, 20000));
        QCOMPARE(scalar(watcher, "SELECT count(*) FROM tavelko.cash_ups WHERE till = $1::uuid", {till.uid}), 1);
        // What the till holds put aside shows in the shop's day, though no
        // change of the outbox says it.
        QVERIFY(local.keepOpen({newUid(), QStringLiteral("3号桌"), QDateTime::currentDateTime(), 4300, 2, "{}"}));
        QVERIFY(waitUntil(
            [&] {
                const std::optional<ShopDay> now = readShopDay(watcher, QDate(2026, 12, 8));
                for (const TillDay &t : now ? now->tills : QList<TillDay>())
                    if (t.number == 5)
                        return t.putAsideCount == 1 && t.putAsideTotal == 4300;
                return false;
            },
            20000));
        uploader.stop();
        uploader.wait();

        const std::optional<journal::DaySummary> own = local.summaryOf(QDate(2026, 12, 8));
        pg::Connection db;
        QVERIFY(db.connect(serverAddress()));
        const std::optional<ShopDay> shopDay = readShopDay(db, QDate(2026, 12, 8));
        QVERIFY(own && shopDay);
        const TillDay *mine = nullptr;
        for (const TillDay &t : shopDay->tills)
            if (t.number == 5)
                mine = &t;
        QVERIFY(mine);
        QCOMPARE(mine->paidCount, own->paidCount);
        QCOMPARE(mine->takings, own->takings);
        QCOMPARE(mine->voidedCount, 1);
        QCOMPARE(mine->notYetSent, 0);
        QCOMPARE(scalar(db, "SELECT count(*) FROM tavelko.orders WHERE till = $1::uuid", {till.uid}), 5);
        QCOMPARE(scalar(db, "SELECT count(*) FROM tavelko.changes WHERE till = $1::uuid", {till.uid}),
                 local.tillIdentity().isSet() ? 8 : -1);  // 5 orders, a void, a 交班, the order put aside
    }

    // "要求加密并验证服务器证书": the server's certificate, signed by the CA
    // file the owner chose and made out to the address the till dials, is
    // taken; signed by another CA, or for another name, it is refused and
    // said so, not taken for an unreachable server.
    void verifiedEncryption()
    {
        QTemporaryDir keys;
        auto openssl = [&keys](const QStringList &arguments) {
            QProcess tool;
            tool.setWorkingDirectory(keys.path());
            tool.start(QStringLiteral("timeout"), QStringList{QStringLiteral("60"), QStringLiteral("openssl")} + arguments);
            return tool.waitForFinished(70000) && tool.exitCode() == 0;
        };
        for (const char *ca : {"ca", "other-ca"})
            QVERIFY(openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                             QStringLiteral("/CN=%1").arg(QLatin1String(ca)), "-keyout",
                             QStringLiteral("%1.key").arg(QLatin1String(ca)), "-out",
                             QStringLiteral("%1.crt").arg(QLatin1String(ca))}));
        QVERIFY(openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", "server.key",
                         "-out", "server.csr"}));
        QVERIFY(openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial",
                         "-days", "2", "-out", "server.crt"}));

        pg::Connection admin;
        QVERIFY(admin.connect(serverAddress()));
        const std::optional<pg::Result> data = admin.exec("SHOW data_directory");
        QVERIFY(data && data->rows() == 1);
        const QString folder = data->text(0, 0);
        const QFileInfo owner(folder);
        for (const char *file : {"server.crt", "server.key"}) {
            const QString target = folder + u'/' + QLatin1String(file);
            QFile::remove(target);
            QVERIFY(QFile::copy(keys.filePath(QLatin1String(file)), target));
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
            QVERIFY(::chown(QFile::encodeName(target).constData(), owner.ownerId(), owner.groupId()) == 0);
        }
        auto configure = [&admin](bool on) {
            return admin.exec(on ? "ALTER SYSTEM SET ssl = on" : "ALTER SYSTEM RESET ssl") &&
                   admin.exec(on ? "ALTER SYSTEM SET ssl_cert_file = 'server.crt'" : "ALTER SYSTEM RESET ssl_cert_file") &&
                   admin.exec(on ? "ALTER SYSTEM SET ssl_key_file = 'server.key'" : "ALTER SYSTEM RESET ssl_key_file") &&
                   admin.exec("SELECT pg_reload_conf()");
        };
        QVERIFY(configure(true));
        struct Case {
            const char *what, *host, *ca;
            pg::Failure failure;
        };
        const Case cases[] = {
            {"its own CA, its own name", "localhost", "ca.crt", pg::Failure::None},
            {"another CA", "localhost", "other-ca.crt", pg::Failure::Untrusted},
            {"another name", "127.0.0.1", "ca.crt", pg::Failure::Untrusted},
        };
        for (const Case &c : cases) {
            pg::Address address = serverAddress();
            address.host = QLatin1String(c.host);
            address.sslMode = QStringLiteral("verify-full");
            address.caFile = keys.filePath(QLatin1String(c.ca));
            pg::Connection db;
            bool reached = false;
            // The server takes its certificate at the reload, a moment later.
            for (int tries = 0; tries < 50; ++tries) {
                reached = db.connect(address);
                if (reached || db.failure() != pg::Failure::NeedsTls)
                    break;
                QThread::msleep(100);
            }
            QVERIFY2(reached == (c.failure == pg::Failure::None), qPrintable(QString::fromLatin1(c.what) + u' ' + db.message()));
            QVERIFY2(db.failure() == c.failure, qPrintable(QString::fromLatin1(c.what) + u' ' + db.describeFailure()));
            QCOMPARE(db.usesTls(), reached);
        }
        QVERIFY(configure(false));
    }

    // The server stores a batch but its answer never reaches the till: the
    // till goes on from what the server holds, and nothing lands twice.
    void aLostAnswerLandsOnce()
    {
        QTemporaryDir folder;
        journal::Journal local(folder.path());
        QVERIFY(local.open());
        const journal::TillIdentity till = joinTill(local, 31, QStringLiteral("楼下"));
        QVERIFY(till.isSet());
        journal::sql::Database outbox;
        QVERIFY(journal::openOutboxReader(outbox, folder.path()));
        pg::Connection watcher;
        QVERIFY(watcher.connect(serverAddress()));
        AnswerCutter cutter(serverAddress());
        cutter.startAndWait();
        pg::Address through = serverAddress();
        through.host = QStringLiteral("127.0.0.1");
        through.port = cutter.port;
        through.sslMode = QStringLiteral("disable");  // a plain stream, for the cutter to read
        const std::unique_ptr<Uploader> uploader = startUploader(folder.path(), through);

        const struct {
            const char *what;
            QList<journal::Order> orders;
        } steps[] = {
            {"the first batch, its answer lost",
             {paid(1, 1250, {{QStringLiteral("现金"), 1250}}),
              paid(2, 8850, {{QStringLiteral("现金"), 5000}, {QStringLiteral("微信"), 3850}}),
              paid(3, 1200, {{QStringLiteral("微信"), 1200}})}},
            {"the next batch", {paid(4, 333, {{QStringLiteral("现金"), 333}}), paid(5, 4050, {{QStringLiteral("支付宝"), 4050}})}},
        };
        for (const auto &step : steps) {
            QVERIFY2(local.recordAll(step.orders), qPrintable(local.error()));
            QVERIFY2(waitUntil([&] { return cutter.cuts == 1 && upToDate(watcher, *uploader, till.uid, outbox); }, 20000),
                     qPrintable(QStringLiteral("%1: cut %2, %3").arg(QLatin1String(step.what)).arg(cutter.cuts.load())
                                    .arg(uploader->state().why)));
            const QString wrong = differences(watcher, till.uid, local, outbox);
            QVERIFY2(wrong.isEmpty(), qPrintable(QLatin1String(step.what) + QStringLiteral(": ") + wrong));
        }
        QVERIFY(cutter.applies >= 2);
    }

    // The whole server hangs (its processes stopped): the till records at
    // once, tells the link away when its deadlines pass, stops when asked,
    // and everything lands once when the server goes on.
    void aHungServerHoldsNothingUp()
    {
        constexpr int hangSeconds = 30;
        constexpr int stopWithinMs = 8000;  // a connection attempt may be under way
        QTemporaryDir folder;
        journal::Journal local(folder.path());
        QVERIFY(local.open());
        const journal::TillIdentity till = joinTill(local, 32, QStringLiteral("二楼"));
        QVERIFY(till.isSet());
        journal::sql::Database outbox;
        QVERIFY(journal::openOutboxReader(outbox, folder.path()));
        std::unique_ptr<Uploader> uploader = startUploader(folder.path(), serverAddress());
        QList<pid_t> stopped;
        {
            pg::Connection watcher;
            QVERIFY(watcher.connect(serverAddress()));
            QVERIFY(local.record(paid(1, 1250, {{QStringLiteral("现金"), 1250}})));
            QVERIFY2(waitUntil([&] { return upToDate(watcher, *uploader, till.uid, outbox); }, 20000),
                     qPrintable(uploader->state().why));
            stopped = clusterProcesses(watcher);
        }
        QVERIFY2(stopped.size() > 1, "the server's processes were not found");
        if (::kill(stopped.first(), 0) != 0 && errno == EPERM)
            QSKIP("the server's processes belong to another user and this one may not stop them");
        auto resume = [&stopped] {
            for (const pid_t pid : std::as_const(stopped))
                ::kill(pid, SIGCONT);
            stopped.clear();
        };
        const Finally resumed{resume};
        QElapsedTimer hung;
        hung.start();
        for (const pid_t pid : std::as_const(stopped))
            QVERIFY(::kill(pid, SIGSTOP) == 0 || errno == ESRCH);  // a backend may have just ended

        // A batch waits on the hung server; the till records on meanwhile.
        QVERIFY(local.recordAll({paid(2, 8850, {{QStringLiteral("现金"), 5000}, {QStringLiteral("微信"), 3850}}),
                                 paid(3, 1200, {{QStringLiteral("微信"), 1200}})}));
        QCOMPARE(journal::outboxEnd(outbox).value_or(-1), 3);
        QVERIFY2(waitUntil([&] { return !uploader->state().connected; }, hangSeconds * 1000 - int(hung.elapsed())),
                 "the link still counts as connected to a hung server");
        QVERIFY(uploader->state().waiting > 0);
        QVERIFY(local.record(paid(4, 333, {{QStringLiteral("现金"), 333}})));
        QCOMPARE(journal::outboxEnd(outbox).value_or(-1), 4);
        uploader->stop();
        QVERIFY2(uploader->wait(stopWithinMs), "the uploader did not stop while the server hung");
        QTest::qWait(qMax(0, hangSeconds * 1000 - int(hung.elapsed())));  // the rest of the hang
        resume();

        // The till's next start sends what waits.
        uploader = startUploader(folder.path(), serverAddress());
        pg::Connection watcher;
        QVERIFY2(waitUntil([&] { return upToDate(watcher, *uploader, till.uid, outbox); }, 30000),
                 qPrintable(uploader->state().why));
        const QString wrong = differences(watcher, till.uid, local, outbox);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    // The server's disk is full: the till is told why, nothing counts as
    // stored that is not, and all lands once there is room again.
    void aFullDiskIsToldAndNothingCountsAsStored()
    {
        QTemporaryDir folder;
        journal::Journal local(folder.path());
        QVERIFY(local.open());
        const journal::TillIdentity till = joinTill(local, 33, QStringLiteral("办公室"));
        QVERIFY(till.isSet());
        journal::sql::Database outbox;
        QVERIFY(journal::openOutboxReader(outbox, folder.path()));

        // A small disk of its own holds the tables a batch writes.
        QTemporaryDir disk;
        const QString mounted = runTool(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                                  QStringLiteral("-o"), QStringLiteral("size=4m"),
                                                                  QStringLiteral("tavelko-full"), disk.path()});
        if (!mounted.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no small disk could be mounted: ") + mounted));
        const char *const tables[] = {"tavelko.changes", "tavelko.orders", "tavelko.order_payments",
                                      "tavelko.cash_ups", "tavelko.kept_aside"};
        const Finally unmounted{[&] {
            {
                pg::Connection db;
                if (db.connect(serverAddress())) {
                    db.run("SET client_min_messages = warning");
                    db.run("DROP TABLE IF EXISTS public.tavelko_filler");
                    for (const char *table : tables) {
                        db.run((QByteArray("ALTER TABLE ") + table + " SET TABLESPACE pg_default").constData());
                        db.run((QByteArray("ALTER TABLE ") + table + " RESET (fillfactor)").constData());
                    }
                    db.run("DROP TABLESPACE IF EXISTS tavelko_full");
                }
            }
            if (!runTool(QStringLiteral("umount"), {disk.path()}).isEmpty())
                runTool(QStringLiteral("umount"), {QStringLiteral("-l"), disk.path()});
        }};
        QCOMPARE(runTool(QStringLiteral("chown"), {QStringLiteral("postgres:postgres"), disk.path()}), QString());
        pg::Connection db;
        QVERIFY(db.connect(serverAddress()));
        QVERIFY2(db.run(("CREATE TABLESPACE tavelko_full LOCATION '" + disk.path() + "'").toUtf8().constData()),
                 qPrintable(db.message()));
        // New rows need new pages: the pages there are taken as full.
        for (const char *table : tables) {
            QVERIFY2(db.run((QByteArray("ALTER TABLE ") + table + " SET TABLESPACE tavelko_full").constData()), qPrintable(db.message()));
            QVERIFY(db.run((QByteArray("ALTER TABLE ") + table + " SET (fillfactor = 10)").constData()));
        }
        QVERIFY(db.run("CREATE TABLE public.tavelko_filler (pad text) WITH (fillfactor = 10) TABLESPACE tavelko_full"));
        QVERIFY(db.run("ALTER TABLE public.tavelko_filler ALTER pad SET STORAGE PLAIN"));
        QString full;
        for (int grown = 0; grown < 1000 && full.isEmpty(); ++grown)
            if (!db.run("INSERT INTO public.tavelko_filler SELECT repeat('x', 1500) FROM generate_series(1, 50)"))
                full = db.sqlState();
        QCOMPARE(full, QStringLiteral("53100"));

        const std::unique_ptr<Uploader> uploader = startUploader(folder.path(), serverAddress());
        QVERIFY(local.recordAll({paid(1, 1250, {{QStringLiteral("现金"), 1250}}),
                                 paid(2, 8850, {{QStringLiteral("现金"), 5000}, {QStringLiteral("微信"), 3850}}),
                                 paid(3, 1200, {{QStringLiteral("微信"), 1200}}),
                                 paid(4, 333, {{QStringLiteral("现金"), 333}})}));
        const QString told = pg::describe(pg::Failure::DiskFull, {});
        QVERIFY2(waitUntil([&] { return uploader->state().why.startsWith(told); }, 20000),
                 qPrintable(uploader->state().why));
        QVERIFY(!uploader->state().connected);
        QCOMPARE(uploader->state().waiting, 4);
        QCOMPARE(storedUpTo(db, till.uid).value_or(-1), 0);

        QVERIFY(db.run("DROP TABLE public.tavelko_filler"));
        QVERIFY2(waitUntil([&] { return upToDate(db, *uploader, till.uid, outbox); }, 20000),
                 qPrintable(uploader->state().why));
        const QString wrong = differences(db, till.uid, local, outbox);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
};

QTEST_MAIN(TestShop)
#include "tst_shop.moc"
