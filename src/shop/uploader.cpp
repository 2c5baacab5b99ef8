#include "shop/uploader.h"

#include "journal/outbox.h"
#include "journal/sqlite_db.h"
#include "shop/shop_schema.h"
#include "shop/shop_server.h"

#include <QElapsedTimer>

namespace shop {

QString describeLink(const LinkState &state)
{
    if (!state.joined)
        return {};
    if (state.connected && state.waiting == 0)
        return QStringLiteral("全店：已连接");
    if (state.connected)
        return QStringLiteral("全店：已连接，正在上传 %1 笔").arg(state.waiting);
    const QString since = state.awaySince.isValid()
                              ? QStringLiteral("（%1 起）").arg(state.awaySince.toString(QStringLiteral("HH:mm")))
                              : QString();
    return state.waiting > 0 ? QStringLiteral("全店：未连接，%1 笔待上传%2").arg(state.waiting).arg(since)
                             : QStringLiteral("全店：未连接%1").arg(since);
}

Uploader::Uploader(QString folder, pg::Address address, qint64 menuSeen, QObject *parent)
    : QThread(parent), m_folder(std::move(folder)), m_address(std::move(address)), m_menuSeen(menuSeen)
{
    qRegisterMetaType<shop::LinkState>();
    qRegisterMetaType<shop::TablesView>();
    qRegisterMetaType<QList<shop::MenuEdit>>();
    m_state.joined = true;
}

Uploader::~Uploader()
{
    stop();
    wait();
}

LinkState Uploader::state() const
{
    QMutexLocker locked(&m_lock);
    return m_state;
}

void Uploader::nudge()
{
    QMutexLocker locked(&m_lock);
    m_nudged = true;
    m_wake.wakeAll();
}

void Uploader::stop()
{
    QMutexLocker locked(&m_lock);
    m_stop = true;
    m_wake.wakeAll();
}

void Uploader::pause(int ms)
{
    QMutexLocker locked(&m_lock);
    if (!m_stop && !m_nudged)
        m_wake.wait(&m_lock, ms);
    m_nudged = false;
}

void Uploader::publish(const LinkState &state)
{
    bool changed = false;
    {
        QMutexLocker locked(&m_lock);
        changed = state.connected != m_state.connected || state.waiting != m_state.waiting ||
                  state.why != m_state.why || state.keptAside != m_state.keptAside;
        m_state = state;
    }
    if (changed)
        emit linkChanged(state);
}

void Uploader::run()
{
    journal::sql::Database local;
    pg::Connection server;
    journal::TillIdentity till;
    LinkState state = this->state();
    qint64 stored = -1;  // how far the shop has this till's changes; -1: ask it again
    qint64 known = -1;   // the last the shop told, kept while it is away; -1: never heard
    int retry = retryMs;
    qint64 reportedEnd = -1;
    journal::PutAside reportedAside{-1, 0};
    qint64 tablesSeen = -1;      // the tables' version last told; -1: tell them again
    QStringList localTables;     // this till's own put aside, as last asked about
    bool toldUnreachable = false;
    QElapsedTimer reportedAt;
    reportedAt.start();
    auto away = [&](const QString &why) {
        if (known >= 0)
            if (const std::optional<qint64> end = journal::outboxEnd(local))
                state.waiting = qMax<qint64>(0, *end - known);
        server.close();
        stored = -1;
        tablesSeen = -1;
        if (!toldUnreachable) {
            toldUnreachable = true;
            emit tablesChanged(TablesView{});
        }
        if (state.connected || !state.awaySince.isValid())
            state.awaySince = QDateTime::currentDateTime();
        state.connected = false;
        state.why = why;
        publish(state);
        pause(retry);
        retry = qMin(retry * 2, maxRetryMs);
    };
    for (;;) {
        {
            QMutexLocker locked(&m_lock);
            if (m_stop)
                return;
        }
        if (!local.isOpen() && !journal::openOutboxReader(local, m_folder)) {
            away(QStringLiteral("本机的营业记录打不开：%1").arg(local.message()));
            continue;
        }
        if (!till.isSet())
            till = journal::tillIdentity(local);
        const std::optional<qint64> end = journal::outboxEnd(local);
        if (!till.isSet() || !end) {
            local.close();
            away(QStringLiteral("本机还没有加入店铺"));
            continue;
        }
        if (!server.isOpen()) {
            if (!server.connect(m_address)) {
                away(server.describeFailure());
                continue;
            }
            const QString schema = ensureSchema(server);
            if (!schema.isEmpty()) {
                away(schema);
                continue;
            }
            // A server made anew (or restored) learns this till again.
            const QString joined = joinShop(server, {till.uid, till.number, till.name}, false);
            if (!joined.isEmpty()) {
                away(joined);
                continue;
            }
            const std::optional<qint64> there = storedUpTo(server, till.uid);
            if (!there) {
                away(server.describeFailure());
                continue;
            }
            stored = known = *there;
        }
        if (stored < *end) {
            const std::optional<QList<journal::OutboxRow>> rows = journal::readOutbox(local, stored, batchSize);
            if (!rows || rows->isEmpty() || rows->first().seq != stored + 1) {
                local.close();
                away(QStringLiteral("本机待上传的记录读不出来"));
                continue;
            }
            QList<OutgoingChange> batch;
            batch.reserve(rows->size());
            for (const journal::OutboxRow &row : *rows)
                batch.append({row.seq, row.kind, row.entity, row.at, row.payload});
            const std::optional<BatchAnswer> answer = storeBatch(server, till.uid, batch);
            if (!answer) {
                away(server.failure() == pg::Failure::None ? QStringLiteral("店铺数据库的应答看不懂，没有当作已上传")
                                                           : server.describeFailure());
                continue;
            }
            stored = known = answer->lastSeq;
            if (answer->keptAside > 0) {
                state.keptAside += answer->keptAside;
                emit keptAside(answer->keptAside);
            }
        }
        // The shop learns how far this till's outbox goes, so its figures
        // can tell what a till holds that the shop has not.
        // So does what it holds put aside, which no change of the outbox tells.
        const journal::PutAside aside = journal::putAside(local).value_or(
            reportedAside.count >= 0 ? reportedAside : journal::PutAside{});
        if (*end != reportedEnd || aside.count != reportedAside.count || aside.total != reportedAside.total ||
            reportedAt.elapsed() > 10000) {
            if (!reportOutbox(server, till.uid, *end, aside.count, aside.total)) {
                away(server.describeFailure());
                continue;
            }
            reportedEnd = *end;
            reportedAside = aside;
            reportedAt.restart();
        }
        // With all of this till's changes up, what the others changed: the
        // menu, then the open tables (only when they changed, or this
        // till's own list did).
        if (stored >= *end) {
            const std::optional<QList<MenuEdit>> edits = menuSince(server, m_menuSeen);
            if (!edits) {
                away(server.describeFailure());
                continue;
            }
            if (!edits->isEmpty()) {
                m_menuSeen = edits->last().version;
                emit menuArrived(*edits);
            }
            const std::optional<qint64> version = tablesVersion(server);
            const std::optional<QStringList> mine = journal::openOrderUids(local);
            if (!version) {
                away(server.describeFailure());
                continue;
            }
            if (*version != tablesSeen || (mine && *mine != localTables)) {
                TablesView view;
                view.reachable = true;
                const std::optional<QList<ShopTable>> open = openTables(server);
                const std::optional<QStringList> closed = closedOf(server, mine.value_or(QStringList()));
                if (!open || !closed) {
                    away(server.describeFailure());
                    continue;
                }
                view.open = *open;
                view.closed = *closed;
                tablesSeen = *version;
                localTables = mine.value_or(localTables);
                toldUnreachable = false;
                emit tablesChanged(view);
            }
        }
        retry = retryMs;
        state.connected = true;
        state.awaySince = QDateTime();
        state.why.clear();
        state.waiting = qMax<qint64>(0, *end - stored);
        publish(state);
        if (stored >= *end)
            pause(idleMs);
    }
}

}  // namespace shop
