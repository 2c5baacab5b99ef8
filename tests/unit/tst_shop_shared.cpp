// Two tills of one shop against a throwaway PostgreSQL 15: each with its own
// journal and its own link to the server, as two PCs have. What one till
// changes of the menu or of the open tables reaches the other through the
// server, and what the shop decided (the later edit, the closing change,
// a name already taken) is the same on both.

#include "journal/journal.h"
#include "journal/outbox.h"
#include "journal/sqlite_db.h"
#include "main_window/shop_menu.h"
#include "settings/caption_store.h"
#include "shop/shop_join.h"
#include "shop/shop_server.h"
#include "shop/shop_shared.h"
#include "shop/uploader.h"
#include "testsupport.h"
#include "throwaway_server.h"
#include "till/open_orders.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <memory>

using namespace shop;

namespace {

QString newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// One till: its folder and journal, joined to the throwaway shop, and its
// link (started on demand). What the link last heard is kept.
struct Till {
    QTemporaryDir folder;
    journal::TillIdentity identity;
    std::unique_ptr<journal::Journal> journal;
    std::unique_ptr<Uploader> link;
    QObject context;
    QList<MenuEdit> edits;
    TablesView view;
    int views = 0;

    Till(int number, const QString &name)
    {
        identity = {newUid(), number, name};
        journal = std::make_unique<journal::Journal>(folder.path());
        QVERIFY(journal->open());
        const JoinReply joined = joinServer(serverAddress(), {}, {identity.uid, number, name}, false);
        QVERIFY2(joined.ok, qPrintable(joined.text));
        QVERIFY(journal->joinShop(identity));
    }
    ~Till() { stop(); }
    void start()
    {
        link = std::make_unique<Uploader>(folder.path(), serverAddress(), 0);
        link->idleMs = 100;
        QObject::connect(link.get(), &Uploader::menuArrived, &context,
                         [this](const QList<MenuEdit> &more) { edits += more; });
        QObject::connect(link.get(), &Uploader::tablesChanged, &context, [this](const TablesView &seen) {
            view = seen;
            ++views;
        });
        link->start();
    }
    void stop()
    {
        if (link) {
            link->stop();
            link->wait();
            link.reset();
        }
    }
    // Everything this till recorded is stored in the shop.
    bool upToDate()
    {
        journal::sql::Database local;
        pg::Connection db;
        if (!journal::openOutboxReader(local, folder.path()) || !db.connect(serverAddress()))
            return false;
        return storedUpTo(db, identity.uid) == journal::outboxEnd(local);
    }
    const ShopTable *table(const QString &name) const
    {
        for (const ShopTable &t : view.open)
            if (t.name == name)
                return &t;
        return nullptr;
    }
};

// 3号桌 with two 牛肉面, both already sent to the kitchen.
till::HeldOrder tableThree(const QString &name = QStringLiteral("3号桌"))
{
    till::HeldOrder held;
    held.uid = newUid();
    held.name = name;
    held.heldAt = QDateTime::currentDateTime();
    held.total = 2400;
    held.dishes = {{1, 1, QStringLiteral("牛肉面"), QStringLiteral("小份"), QStringLiteral("大份"),
                    QStringLiteral("12"), QStringLiteral("15"), 2, 0}};
    held.sentToKitchen = held.dishes;
    return held;
}

}  // namespace

class TestShopShared : public QObject {
    Q_OBJECT

private slots:
    // An edit of the menu on one till reaches the other; two edits of one
    // price made without seeing each other end as the one the server stored
    // later, on both tills, and the till whose edit lost hears so.
    void theMenuIsTheShops()
    {
        Till front(1, QStringLiteral("前台")), upstairs(2, QStringLiteral("二楼"));
        const QString price = QStringLiteral("Form3/l012");
        QVERIFY(front.journal->shareMenu({{price, QStringLiteral("14")}}, 0));
        front.start();
        upstairs.start();
        QTRY_VERIFY_WITH_TIMEOUT(!upstairs.edits.isEmpty(), 10000);
        QCOMPARE(upstairs.edits.last().value, QStringLiteral("14"));
        QCOMPARE(upstairs.edits.last().tillName, QStringLiteral("前台"));
        const qint64 seen = upstairs.edits.last().version;

        // Both change it on top of what they saw; the front till's goes up first.
        upstairs.stop();
        QVERIFY(front.journal->shareMenu({{price, QStringLiteral("15")}}, seen));
        QVERIFY(upstairs.journal->shareMenu({{price, QStringLiteral("16")}}, seen));
        QTRY_VERIFY_WITH_TIMEOUT(front.upToDate() && front.edits.last().value == QStringLiteral("15"), 10000);
        upstairs.start();
        QTRY_VERIFY_WITH_TIMEOUT(!front.edits.isEmpty() && front.edits.last().value == QStringLiteral("16"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(upstairs.edits.last().value == QStringLiteral("16"), 10000);

        // The front till takes the edits as they came: it ends at 16 and is told its 15 lost.
        settings::saveCaptions({{price, QStringLiteral("14")}});
        ShopMenu menu;
        menu.start(front.identity);
        QSignalSpy told(&menu, &ShopMenu::told);
        menu.take(front.edits);
        QMap<QString, QString> now;
        QString problem;
        QVERIFY(settings::readCaptions({price}, &now, &problem));
        QCOMPARE(now.value(price), QStringLiteral("16"));
        QCOMPARE(told.count(), 1);
        const QString text = told[0][0].toString();
        QVERIFY2(text.contains(QStringLiteral("菜单已更新")) && text.contains(QStringLiteral("14 → 16")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("二楼 改的")), qPrintable(text));
        // What the shop sent is not handed back up as this till's own edit;
        // an edit made here is.
        int handedUp = 0;
        settings::setChangedHook([&handedUp](const QMap<QString, QString> &) { ++handedUp; });
        QVERIFY(settings::saveCaptions({{price, QStringLiteral("14")}}));
        QCOMPARE(handedUp, 1);
        menu.take(front.edits);
        QCOMPARE(handedUp, 1);
        menu.stop();
    }

    // 3号桌 put aside on the front till is brought back upstairs with what
    // the kitchen had; the front till cannot take it meanwhile; paid upstairs,
    // it is gone from the front till, and the front till's late copy never
    // opens it again. A till that died holding a table leaves it to the owner.
    void aTableGoesFromTillToTill()
    {
        Till front(3, QStringLiteral("前台")), upstairs(4, QStringLiteral("二楼"));
        const till::HeldOrder held = tableThree();
        QVERIFY(front.journal->keepOpen(held.toOpen()));
        front.start();
        upstairs.start();
        QTRY_VERIFY_WITH_TIMEOUT(upstairs.table(held.name), 10000);
        QCOMPARE(upstairs.table(held.name)->putByName, QStringLiteral("前台"));

        pg::Connection db;
        QVERIFY(db.connect(serverAddress()));
        const std::optional<TakeAnswer> taken = takeTable(db, upstairs.identity.uid, held.uid, true);
        QVERIFY(taken && taken->outcome == TakeAnswer::Outcome::Taken);
        const std::optional<till::HeldOrder> back = till::HeldOrder::fromOpen(
            {held.uid, taken->name, held.heldAt, held.total, 2, taken->state, {}});
        QVERIFY(back);
        QCOMPARE(back->sentToKitchen, held.sentToKitchen);  // the kitchen is not told twice

        const std::optional<TakeAnswer> refused = takeTable(db, front.identity.uid, held.uid, true);
        QVERIFY(refused && refused->outcome == TakeAnswer::Outcome::Held);
        QCOMPARE(refused->holderName, QStringLiteral("二楼"));
        QTRY_VERIFY_WITH_TIMEOUT(front.table(held.name) && front.table(held.name)->heldBy == 4, 10000);

        // 取单 on the front till lists it as upstairs' beside its own not yet
        // up; with the server away, only its own, not the copy upstairs has.
        {
            const till::HeldOrder takeaway = tableThree(QStringLiteral("外卖 王"));
            till::OpenOrders listed;
            listed.joinShop(3, front.identity.uid);
            listed.load({held.toOpen(), takeaway.toOpen()});
            listed.setShopView(front.view);
            QStringList seen;
            for (const till::TableEntry &entry : listed.listing())
                seen << entry.held.name + u'@' + QString::number(entry.heldBy);
            QCOMPARE(seen.filter(QStringLiteral("号桌")), QStringList{QStringLiteral("3号桌@4")});
            QVERIFY(seen.contains(QStringLiteral("外卖 王@0")));
            listed.setShopView(TablesView{});
            QVERIFY(!listed.shopReachable());
            QCOMPARE(listed.listing().size(), 1);
            QCOMPARE(listed.listing().first().held.name, QStringLiteral("外卖 王"));
        }

        // The owner frees it (the till upstairs died), and upstairs takes it again.
        const std::optional<TakeAnswer> freed = takeTable(db, front.identity.uid, held.uid, false);
        QVERIFY(freed && freed->outcome == TakeAnswer::Outcome::Freed);
        QCOMPARE(freed->holderName, QStringLiteral("二楼"));
        QVERIFY(takeTable(db, upstairs.identity.uid, held.uid, true)->outcome == TakeAnswer::Outcome::Taken);

        // Paid upstairs: closed in the shop, dropped on the front till.
        journal::Order order;
        order.endedAt = QDateTime::currentDateTime();
        order.status = journal::OrderStatus::Paid;
        order.payment = journal::Payment{2400, 0, {}, 0, 2400, {{QStringLiteral("现金"), 2400}}, 2400, 0};
        order.grandTotal = 24;
        order.lines = {{1, QStringLiteral("面条"), QStringLiteral("牛肉面"), 2, QStringLiteral("小份"), 0,
                        QStringLiteral("大份"), 24}};
        order.closesOpenUid = held.uid;
        QVERIFY(upstairs.journal->record(order));
        till::OpenOrders frontTables;
        frontTables.joinShop(3, front.identity.uid);
        frontTables.load({held.toOpen()});
        QSignalSpy dropped(&frontTables, &till::OpenOrders::dropped);
        QTRY_VERIFY_WITH_TIMEOUT(front.view.closed.contains(held.uid), 10000);
        QVERIFY(!front.table(held.name));
        frontTables.setShopView(front.view);
        QCOMPARE(dropped.count(), 1);
        QVERIFY(frontTables.listing().isEmpty());

        // The front till's older copy, put aside again late, reopens nothing.
        QVERIFY(front.journal->keepOpen(held.toOpen()));
        QTRY_VERIFY_WITH_TIMEOUT(front.upToDate(), 10000);
        QCOMPARE(takeTable(db, upstairs.identity.uid, held.uid, true)->outcome, TakeAnswer::Outcome::Closed);
        QVERIFY(!front.table(held.name));
    }

    // With the server away, both tills put aside a 5号桌: after it returns
    // there is one 5号桌 and one 5号桌（2）, both told, every dish kept.
    void oneNameTwoTables()
    {
        Till front(5, QStringLiteral("前台")), upstairs(6, QStringLiteral("二楼"));
        const till::HeldOrder mine = tableThree(QStringLiteral("5号桌")), theirs = tableThree(QStringLiteral("5号桌"));
        QVERIFY(front.journal->keepOpen(mine.toOpen()));
        QVERIFY(upstairs.journal->keepOpen(theirs.toOpen()));
        front.start();
        QTRY_VERIFY_WITH_TIMEOUT(front.upToDate(), 10000);
        upstairs.start();
        QTRY_VERIFY_WITH_TIMEOUT(upstairs.table(QStringLiteral("5号桌（2）")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(front.table(QStringLiteral("5号桌（2）")), 10000);
        QCOMPARE(front.table(QStringLiteral("5号桌"))->uid, mine.uid);
        QCOMPARE(front.table(QStringLiteral("5号桌（2）"))->uid, theirs.uid);
        QCOMPARE(till::HeldOrder::fromOpen({theirs.uid, {}, {}, 0, 0, front.table(QStringLiteral("5号桌（2）"))->state, {}})
                     ->dishes,
                 theirs.dishes);

        const struct {
            Till &till;
            int number;
            QString told;
        } cases[] = {{front, 5, QStringLiteral("二楼 收银机挂单的“5号桌”")},
                     {upstairs, 6, QStringLiteral("本机挂单的“5号桌”")}};
        for (const auto &c : cases) {
            till::OpenOrders tables;
            tables.joinShop(c.number, c.till.identity.uid);
            tables.load(c.number == 6 ? QList<journal::OpenOrder>{theirs.toOpen()} : QList<journal::OpenOrder>{mine.toOpen()});
            QSignalSpy told(&tables, &till::OpenOrders::told);
            tables.setShopView(c.till.view);
            QCOMPARE(told.count(), 1);
            QVERIFY2(told[0][0].toString().contains(c.told), qPrintable(told[0][0].toString()));
            QVERIFY(told[0][0].toString().contains(QStringLiteral("5号桌（2）")));
            QCOMPARE(tables.listing().size(), 2);
        }
    }
};

QTEST_MAIN(TestShopShared)
#include "tst_shop_shared.moc"
