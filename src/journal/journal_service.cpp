#include "journal/journal_service.h"

#include "journal/rescue.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QUuid>

namespace journal {

namespace {

// The owner hears of orders still unwritten after this long, once.
constexpr qint64 tellAfterMs = 30000;
// Tries again after a failed write: 0.5 s at first, doubling up to 16 s.
constexpr int firstRetryMs = 500;
constexpr int lastRetryMs = 16000;

// What `changes` hold, as the owner reads it: "2 单（合计 13 元）",
// "1 张挂单", "2 单（合计 13 元）和 1 张挂单".
QString whatText(const QList<Change> &changes)
{
    const QList<Order> orders = rescue::ordersOf(changes);
    const int opens = rescue::openOrderCount(changes);
    const QString ordersText = QStringLiteral("%1 单（合计 %2 元）").arg(orders.size()).arg(rescue::amountText(orders));
    const QString opensText = QStringLiteral("%1 张挂单").arg(opens);
    if (opens == 0)
        return ordersText;
    return orders.isEmpty() ? opensText : ordersText + QStringLiteral("和 ") + opensText;
}

// `changes` less the marks on orders recorded: too small to tell the owner
// of, they are written (or rescued) with the rest all the same.
QList<Change> worthTelling(QList<Change> changes)
{
    changes.removeIf([](const Change &c) { return c.kind == Change::Kind::Mark; });
    return changes;
}

// "订单", "挂单" or "订单和挂单".
QString kindsText(const QList<Change> &changes)
{
    const bool orders = !rescue::ordersOf(changes).isEmpty();
    const bool opens = rescue::openOrderCount(changes) > 0;
    return orders && opens ? QStringLiteral("订单和挂单") : opens ? QStringLiteral("挂单") : QStringLiteral("订单");
}

}  // namespace

struct JournalService::Private {
    JournalService *q = nullptr;
    QString folder;
    QThread *thread = nullptr;
    QObject *worker = nullptr;  // lives on `thread`; jobs run in its context

    // On the thread only.
    std::unique_ptr<Journal> journal;
    QTimer *retry = nullptr;
    int retryMs = firstRetryMs;
    QSet<QString> handed;  // changes given to the journal, not yet written
    // Changes rescued at an earlier end that the start could not merge: they
    // wait in the journal before anything else, their files until they are in.
    QSet<QString> rescueWaiting;
    QStringList rescueFiles;
    QString rescueWhat;

    // Shared: what the GUI handed over and has not been written yet, with
    // when it was handed over; the last reason a write failed; whether the
    // end has saved its own rescue file (the rescue files then stay).
    struct Waiting {
        Change change;
        qint64 since;
    };
    mutable QMutex mutex;
    QList<Waiting> unwritten;
    QString reason;
    bool ended = false;

    // On the GUI thread.
    QTimer *watch = nullptr;
    bool told = false;

    Journal &journalHere()
    {
        if (!journal)
            journal = std::make_unique<Journal>(folder);
        return *journal;
    }
    void hand(const Change &change);
    void written(Journal &journal);
    void mergeRescued(Journal &journal, QStringList *told);
    void tellGui(const QString &message, bool cannotWrite);
    void checkWaiting();
};

// After a write: forgets what the journal has written, and tries again later
// while something is left.
void JournalService::Private::written(Journal &j)
{
    QSet<QString> stillPending;
    for (const Change &change : j.pendingChanges())
        stillPending.insert(change.id);
    QSet<QString> done;
    for (const QString &id : std::as_const(handed))
        if (!stillPending.contains(id))
            done.insert(id);
    handed -= done;
    // The rescued changes that waited are in: their files go, and the owner
    // hears of it before the GUI sees this write done.
    bool rescueIn = !rescueWaiting.isEmpty() && !rescueWaiting.intersects(stillPending);
    if (rescueIn) {
        {
            QMutexLocker lock(&mutex);
            rescueIn = !ended;  // the end's own rescue file is never taken away
            if (rescueIn)
                for (const QString &file : std::as_const(rescueFiles))
                    QFile::remove(file);
        }
        if (rescueIn && !rescueWhat.isEmpty())
            tellGui(QStringLiteral("上次程序结束时未能记入营业记录的 %1已补记。").arg(rescueWhat), false);
        rescueWaiting.clear();
        rescueFiles.clear();
    }
    {
        QMutexLocker lock(&mutex);
        unwritten.removeIf([&](const Waiting &w) { return done.contains(w.change.id); });
        reason = j.error();
    }
    if (!retry) {
        retry = new QTimer;
        retry->setSingleShot(true);
        QObject::connect(retry, &QTimer::timeout, worker, [this] {
            Journal &j = journalHere();
            j.flush();
            written(j);
        });
    }
    if (stillPending.isEmpty()) {
        retryMs = firstRetryMs;
        retry->stop();
    } else if (!retry->isActive()) {
        retry->start(retryMs);
        retryMs = std::min(retryMs * 2, lastRetryMs);
    }
}

void JournalService::Private::tellGui(const QString &message, bool cannotWrite)
{
    QMetaObject::invokeMethod(
        q,
        [this, message, cannotWrite] {
            // A journal that cannot be written is told at start; the orders
            // waiting on it are not told again.
            if (cannotWrite)
                told = true;
            emit q->notice(message);
        },
        Qt::QueuedConnection);
}

void JournalService::Private::checkWaiting()
{
    int count = 0;
    QList<Change> changes;
    QString why;
    qint64 oldest = 0;
    {
        QMutexLocker lock(&mutex);
        count = int(unwritten.size());
        if (count) {
            oldest = unwritten.first().since;
            for (const Waiting &w : std::as_const(unwritten))
                changes.append(w.change);
            why = reason;
        }
    }
    changes = worthTelling(changes);
    if (!count || changes.isEmpty()) {
        watch->stop();
        told = false;
        return;
    }
    if (told || QDateTime::currentMSecsSinceEpoch() - oldest < tellAfterMs)
        return;
    told = true;
    emit q->notice(QStringLiteral("有 %1超过 30 秒仍未能记入营业记录。%2\n"
                                  "这些%3暂存在内存中，程序会继续自动重试；程序结束时仍未写入的"
                                  "会另存起来，下次启动时补记。")
                       .arg(whatText(changes), why, kindsText(changes)));
}

JournalService::JournalService(const QString &folder, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->q = this;
    d->folder = folder;
    d->watch = new QTimer(this);
    d->watch->setInterval(1000);
    connect(d->watch, &QTimer::timeout, this, [this] { d->checkWaiting(); });
}

JournalService::~JournalService()
{
    if (d->thread && d->thread->isRunning())
        finish(std::chrono::seconds(2));
    if (d->thread && d->thread->isRunning()) {
        // Held in a call that does not return (a disk that hangs): the
        // thread goes with the process.
        (void)d.release();
        return;
    }
    delete d->worker;
    delete d->thread;
}

void JournalService::post(std::function<void(Journal &)> job)
{
    if (!d->thread) {
        d->thread = new QThread;
        d->thread->setObjectName(QStringLiteral("journal"));
        d->worker = new QObject;
        d->worker->moveToThread(d->thread);
    }
    if (!d->thread->isRunning())
        d->thread->start();
    QMetaObject::invokeMethod(
        d->worker, [this, job = std::move(job)] { job(d->journalHere()); }, Qt::QueuedConnection);
}

void JournalService::start()
{
    {
        QMutexLocker lock(&d->mutex);
        d->ended = false;
    }
    post([this](Journal &j) {
        const bool opened = j.open();
        QStringList told;
        if (const QString setAside = j.takeNotice(); !setAside.isEmpty())
            told << setAside;
        if (!opened)
            told << j.error() +
                        QStringLiteral("\n程序照常点菜；订单暂存在内存中，问题解决后自动写入。");
        d->mergeRescued(j, opened ? &told : nullptr);
        d->written(j);
        if (!told.isEmpty())
            d->tellGui(told.join(u'\n'), !opened);
    });
}

// Changes rescued at an earlier end go in first, once: their identities keep
// a second merge from making them twice. What cannot go in now waits in the
// journal before anything handed since, and is written with it.
void JournalService::Private::mergeRescued(Journal &j, QStringList *told)
{
    QStringList files;
    const QList<Change> rescued = rescue::load(&files);
    if (rescued.isEmpty())
        return;
    const QString what = whatText(rescued);
    const bool quiet = worthTelling(rescued).isEmpty();  // marks only
    if (j.mergeRescued(rescued)) {
        // An end that gave up waiting meanwhile saved its own rescue in
        // these files: they stay, and the next start merges them (the
        // changes already in are known by their identities).
        QMutexLocker lock(&mutex);
        if (!ended)
            for (const QString &file : std::as_const(files))
                QFile::remove(file);
        if (told && !quiet)
            *told << QStringLiteral("上次程序结束时未能记入营业记录的 %1已补记。").arg(what);
        return;
    }
    for (const Change &change : rescued)
        rescueWaiting.insert(change.id);
    rescueFiles = files;
    rescueWhat = quiet ? QString() : what;
    if (told && !quiet)
        *told << QStringLiteral("上次程序结束时另存的 %1还未能补记到营业记录：%2\n程序会继续自动重试。")
                     .arg(what, j.error());
}

void JournalService::record(Order order)
{
    if (!order.isEmpty())
        d->hand(Change::record(order));
}

void JournalService::keepOpen(OpenOrder open)
{
    d->hand(Change::keep(open));
}

void JournalService::dropOpen(QString uid)
{
    if (!uid.isEmpty())
        d->hand(Change::drop(uid));
}

void JournalService::mark(QString orderUid, int receiptMarks)
{
    if (!orderUid.isEmpty() && receiptMarks)
        d->hand(Change::mark(orderUid, receiptMarks));
}

void JournalService::keepCurrent(CurrentOrder current)
{
    if (current.uid.isEmpty())
        return;
    post([this, change = Change::keepCurrent(current)](Journal &j) {
        j.apply(change);
        d->written(j);
    });
}

void JournalService::dropCurrent(QString uid)
{
    if (uid.isEmpty())
        return;
    post([this, change = Change::dropCurrent(uid)](Journal &j) {
        j.apply(change);
        d->written(j);
    });
}

// Keeps `change` as unwritten until the journal's thread has written it.
void JournalService::Private::hand(const Change &change)
{
    {
        QMutexLocker lock(&mutex);
        unwritten.append({change, QDateTime::currentMSecsSinceEpoch()});
    }
    if (!watch->isActive())
        watch->start();
    q->post([this, change](Journal &j) {
        handed.insert(change.id);
        j.apply(change);
        written(j);
    });
}

int JournalService::pendingCount() const
{
    QMutexLocker lock(&d->mutex);
    return int(std::count_if(d->unwritten.cbegin(), d->unwritten.cend(), [](const Private::Waiting &w) {
        return w.change.kind == Change::Kind::Record;
    }));
}

int JournalService::pendingOpenCount() const
{
    QMutexLocker lock(&d->mutex);
    return int(std::count_if(d->unwritten.cbegin(), d->unwritten.cend(), [](const Private::Waiting &w) {
        return w.change.kind != Change::Kind::Record;
    }));
}

QString JournalService::finish(std::chrono::milliseconds timeout)
{
    if (d->thread && d->thread->isRunning()) {
        post([this](Journal &j) {
            j.flush();
            d->written(j);
            delete std::exchange(d->retry, nullptr);
            d->handed.clear();
            d->rescueWaiting.clear();  // their files stay for the next start
            d->rescueFiles.clear();
            d->journal.reset();  // closes the database on its own thread
            QThread::currentThread()->quit();
        });
        d->thread->wait(QDeadlineTimer(timeout));
    }
    QList<Change> left;
    QString why, file, error;
    {
        // Saved under the lock: a journal thread still writing past the
        // timeout must not take the rescue files away after this.
        QMutexLocker lock(&d->mutex);
        for (const Private::Waiting &w : std::as_const(d->unwritten))
            left.append(w.change);
        d->unwritten.clear();
        why = d->reason;
        if (!left.isEmpty()) {
            d->ended = d->thread && d->thread->isRunning();
            file = rescue::save(left, &error);
        }
    }
    d->watch->stop();
    d->told = false;
    if (worthTelling(left).isEmpty())
        return QString();
    left = worthTelling(left);
    if (why.isEmpty())
        why = QStringLiteral("写入营业记录花的时间太长。");
    const QList<Order> orders = rescue::ordersOf(left);
    const int opens = rescue::openOrderCount(left);
    QString lead = orders.isEmpty()
                       ? QStringLiteral("程序结束时有 %1 张挂单未能保存到营业记录").arg(opens)
                       : QStringLiteral("程序结束时有 %1 单（合计 %2 元）未能记入营业记录")
                             .arg(orders.size())
                             .arg(rescue::amountText(orders));
    if (!orders.isEmpty() && opens > 0)
        lead += QStringLiteral("，另有 %1 张挂单未能保存").arg(opens);
    lead += QStringLiteral("。原因：%1\n").arg(why);
    if (file.isEmpty())
        return lead + QStringLiteral("这些%1也无法另存：%2").arg(kindsText(left), error);
    return lead + QStringLiteral("这些%1已另存到 %2，下次启动 Tavelko 且营业记录可以写入时会自动补记。")
                      .arg(kindsText(left), QDir::toNativeSeparators(file));
}

JournalService &programJournalService()
{
    // Made on first use and kept to the program's very end; what it still
    // holds when the application goes is finished then.
    static JournalService *service = [] {
        auto *made = new JournalService;
        qAddPostRoutine([] {
            const QString left = programJournalService().finish(std::chrono::seconds(2));
            if (!left.isEmpty())
                qWarning("%s", qUtf8Printable(left));
        });
        return made;
    }();
    return *service;
}

}  // namespace journal
