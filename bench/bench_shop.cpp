// The shop's database benchmarks, against a throwaway PostgreSQL 15 (run
// inside pg_virtualenv, as `make bench` does): recording an order with a shop
// joined, as the cashier's press does (the GUI thread's part, and the
// journal thread's one transaction with its outbox row), next to a till of no
// shop; uploading 10,000 waiting changes from the server's return until the
// last lands; the shop's day of 5 tills of 1,000 orders each, as 全店
// reads it; and a menu edit saved on one till until it is on another till's
// windows (aim: under 5 s), both links at their everyday pace.

#include "busy_day.h"
#include "journal/journal.h"
#include "journal/journal_service.h"
#include "journal/outbox.h"
#include "journal/sqlite_db.h"
#include "main_window/shop_menu.h"
#include "settings/caption_store.h"
#include "shop/shop_figures.h"
#include "shop/shop_schema.h"
#include "shop/shop_server.h"
#include "shop/uploader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cstdio>

namespace {

shop::pg::Address server()
{
    shop::pg::Address address;
    address.host = qEnvironmentVariable("PGHOST", QStringLiteral("localhost"));
    address.port = qEnvironmentVariableIntValue("PGPORT");
    address.database = qEnvironmentVariable("PGDATABASE", QStringLiteral("postgres"));
    address.user = qEnvironmentVariable("PGUSER", QStringLiteral("postgres"));
    return address;
}

const QDate day(2026, 12, 8);

QList<journal::Order> busyDay(int count, int from = 0)
{
    QList<journal::Order> orders;
    for (int i = from; i < from + count; ++i)
        orders << bench::busyOrder(i, QDateTime(day, QTime(10, 0)).addSecs(i % 40000));
    return orders;
}

// A till with its own journal in `folder`, joined to the shop as `number`.
journal::TillIdentity joined(const QString &folder, int number)
{
    const journal::TillIdentity till{QUuid::createUuid().toString(QUuid::WithoutBraces), number,
                                     QStringLiteral("收银机%1").arg(number)};
    shop::pg::Connection db;
    if (!db.connect(server()) || !shop::ensureSchema(db).isEmpty() ||
        !shop::joinShop(db, {till.uid, till.number, till.name}, true).isEmpty())
        qFatal("the shop cannot be joined: %s", qPrintable(db.describeFailure()));
    journal::Journal local(folder);
    if (!local.open() || !local.joinShop(till))
        qFatal("the journal did not join: %s", qPrintable(local.error()));
    return till;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// Recording one order as "一键归零" does, `runs` times: the GUI thread's
// hand-over and the journal's transaction, median microseconds.
void recording(const QString &folder, const char *what)
{
    QList<double> handed, written;
    journal::Journal local(folder);
    if (!local.open())
        qFatal("%s", qPrintable(local.error()));
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        if (!local.record(bench::busyOrder(i, QDateTime(day, QTime(12, 0)).addSecs(i))))
            qFatal("%s", qPrintable(local.error()));
        written << t.nsecsElapsed() / 1000.0;
    }
    journal::JournalService service(folder);
    service.start();
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        service.record(bench::busyOrder(i, QDateTime(day, QTime(13, 0)).addSecs(i)));
        handed << t.nsecsElapsed() / 1000.0;
    }
    service.finish(std::chrono::seconds(30));
    std::printf("recording an order, %s: GUI thread %.1f us, journal thread %.0f us (medians of 200)\n", what,
                median(handed), median(written));
}

// Starts an uploader on `folder` and waits until the shop holds all of it:
// the seconds it took.
double uploadAll(const QString &folder, const journal::TillIdentity &till)
{
    journal::sql::Database outbox;
    if (!journal::openOutboxReader(outbox, folder))
        qFatal("no outbox");
    const qint64 end = journal::outboxEnd(outbox).value_or(0);
    QElapsedTimer t;
    t.start();
    shop::Uploader uploader(folder, server());
    uploader.idleMs = 50;
    uploader.start();
    shop::pg::Connection watcher;
    if (!watcher.connect(server()))
        qFatal("%s", qPrintable(watcher.describeFailure()));
    while (shop::storedUpTo(watcher, till.uid).value_or(0) < end) {
        if (t.elapsed() > 600000)
            qFatal("the upload did not end in 10 minutes");
        QThread::msleep(20);
    }
    const double seconds = t.nsecsElapsed() / 1e9;
    uploader.stop();
    uploader.wait();
    return seconds;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIntValue("PGPORT") == 0) {
        std::printf("bench_shop: no PostgreSQL server (run inside pg_virtualenv -v 15)\n");
        return 2;
    }
    {
        QTemporaryDir alone, member;
        recording(alone.path(), "no shop");
        joined(member.path(), 1);
        recording(member.path(), "a shop joined");
    }
    {
        QTemporaryDir folder;
        const journal::TillIdentity till = joined(folder.path(), 2);
        journal::Journal local(folder.path());
        if (!local.open() || !local.recordAll(busyDay(10000)))
            qFatal("%s", qPrintable(local.error()));
        const double seconds = uploadAll(folder.path(), till);
        std::printf("uploading 10,000 waiting orders: %.1f s from the link's start until the last landed, %.0f orders/s\n",
                    seconds, 10000 / seconds);
    }
    {
        QList<QTemporaryDir *> folders;
        double seconds = 0;
        for (int number = 11; number <= 15; ++number) {
            folders << new QTemporaryDir;
            const journal::TillIdentity till = joined(folders.last()->path(), number);
            journal::Journal local(folders.last()->path());
            if (!local.open() || !local.recordAll(busyDay(1000, number * 1000)))
                qFatal("%s", qPrintable(local.error()));
            seconds += uploadAll(folders.last()->path(), till);
        }
        shop::pg::Connection db;
        if (!db.connect(server()))
            qFatal("%s", qPrintable(db.describeFailure()));
        QList<double> reads;
        int tills = 0;
        for (int i = 0; i < 7; ++i) {
            QElapsedTimer t;
            t.start();
            const std::optional<shop::ShopDay> shopDay = shop::readShopDay(db, day);
            reads << t.nsecsElapsed() / 1e6;
            if (!shopDay)
                qFatal("%s", qPrintable(db.describeFailure()));
            tills = int(shopDay->tills.size());
        }
        std::printf("the shop's day of %d tills (5 of 1,000 orders each, one of 10,000, one of none): %.1f ms (median of 7); "
                    "their 5,000 orders went up in %.1f s\n",
                    tills, median(reads), seconds);
        qDeleteAll(folders);
    }
    {
        // Till 21 edits a price; till 22's link brings it and its menu shows
        // it (the windows' part is the captions saved and handed to them).
        QTemporaryDir editing, showing;
        const journal::TillIdentity editor = joined(editing.path(), 21);
        const journal::TillIdentity other = joined(showing.path(), 22);
        shop::Uploader up(editing.path(), server());
        shop::Uploader down(showing.path(), server());
        ShopMenu menu;
        menu.start(other);
        QElapsedTimer clock;
        bool shown = false;
        menu.setShow([&shown](const QMap<QString, QString> &) { shown = true; });
        QObject::connect(&down, &shop::Uploader::menuArrived, &menu, &ShopMenu::take);
        up.start();
        down.start();
        journal::Journal local(editing.path());
        if (!local.open())
            qFatal("%s", qPrintable(local.error()));
        QList<double> seconds;
        for (int i = 0; i < 7; ++i) {
            shown = false;
            clock.start();
            if (!local.shareMenu({{QStringLiteral("Form3/l012"), QString::number(20 + i)}}, 0))
                qFatal("%s", qPrintable(local.error()));
            up.nudge();  // as the program does once the edit is in the outbox
            while (!shown) {
                if (clock.elapsed() > 60000)
                    qFatal("the edit did not reach the other till in a minute");
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            }
            seconds << clock.nsecsElapsed() / 1e9;
        }
        menu.stop();
        up.stop();
        down.stop();
        up.wait();
        down.wait();
        std::printf("a menu edit from its save on one till to the other till's windows: %.2f s (median of 7), "
                    "slowest %.2f s\n",
                    median(seconds), *std::max_element(seconds.begin(), seconds.end()));
    }
    return 0;
}
