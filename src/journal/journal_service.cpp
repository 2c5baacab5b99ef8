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
    QSet<QString> handed;  // identities given to the journal, not yet written

    // Shared: what the GUI handed over and has not been written yet, with
    // when it was handed over; the last reason a write failed.
    struct Waiting {
        Order order;
        qint64 since;
    };
    mutable QMutex mutex;
    QList<Waiting> unwritten;
    QString reason;

    // On the GUI thread.
    QTimer *watch = nullptr;
    bool told = false;

    Journal &journalHere()
    {
        if (!journal)
            journal = std::make_unique<Journal>(folder);
        return *journal;
    }
    void written(Journal &journal);
    void tellGui(const QString &message, bool cannotWrite);
    void checkWaiting();
};

// After a write: forgets what the journal has written, and tries again later
// while something is left.
void JournalService::Private::written(Journal &j)
{
    QSet<QString> stillPending;
    for (const Order &order : j.pendingOrders())
        stillPending.insert(order.uid);
    QSet<QString> done;
    for (const QString &uid : std::as_const(handed))
        if (!stillPending.contains(uid))
            done.insert(uid);
    handed -= done;
    {
        QMutexLocker lock(&mutex);
        unwritten.removeIf([&](const Waiting &w) { return done.contains(w.order.uid); });
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
    QList<Order> orders;
    QString why;
    qint64 oldest = 0;
    {
        QMutexLocker lock(&mutex);
        count = int(unwritten.size());
        if (count) {
            oldest = unwritten.first().since;
            for (const Waiting &w : std::as_const(unwritten))
                orders.append(w.order);
            why = reason;
        }
    }
    if (!count) {
        watch->stop();
        told = false;
        return;
    }
    if (told || QDateTime::currentMSecsSinceEpoch() - oldest < tellAfterMs)
        return;
    told = true;
    emit q->notice(QStringLiteral("有 %1 单（合计 %2 元）超过 30 秒仍未能记入营业记录。%3\n"
                                  "这些订单暂存在内存中，程序会继续自动重试；程序结束时仍未写入的"
                                  "会另存起来，下次启动时补记。")
                       .arg(count)
                       .arg(rescue::amountText(orders), why));
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
    post([this](Journal &j) {
        const bool opened = j.open();
        QStringList told;
        if (const QString setAside = j.takeNotice(); !setAside.isEmpty())
            told << setAside;
        if (!opened) {
            told << j.error() +
                        QStringLiteral("\n程序照常点菜；订单暂存在内存中，问题解决后自动写入。");
            d->tellGui(told.join(u'\n'), true);
            return;
        }
        // Orders rescued at an earlier end go in now, once: their identities
        // keep a second merge from writing them twice.
        QStringList files;
        const QList<Order> rescued = rescue::load(&files);
        if (!rescued.isEmpty()) {
            if (j.recordAll(rescued)) {
                for (const QString &file : files)
                    QFile::remove(file);
                told << QStringLiteral("上次程序结束时未能记入营业记录的 %1 单（合计 %2 元）已补记。")
                            .arg(rescued.size())
                            .arg(rescue::amountText(rescued));
            } else {
                told << QStringLiteral("上次程序结束时另存的 %1 单还未能补记到营业记录：%2")
                            .arg(rescued.size())
                            .arg(j.error());
            }
        }
        if (!told.isEmpty())
            d->tellGui(told.join(u'\n'), false);
    });
}

void JournalService::record(Order order)
{
    if (order.isEmpty())
        return;
    if (order.uid.isEmpty())
        order.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QMutexLocker lock(&d->mutex);
        d->unwritten.append({order, QDateTime::currentMSecsSinceEpoch()});
    }
    if (!d->watch->isActive())
        d->watch->start();
    post([this, order](Journal &j) {
        d->handed.insert(order.uid);
        j.record(order);
        d->written(j);
    });
}

int JournalService::pendingCount() const
{
    QMutexLocker lock(&d->mutex);
    return int(d->unwritten.size());
}

QString JournalService::finish(std::chrono::milliseconds timeout)
{
    if (d->thread && d->thread->isRunning()) {
        post([this](Journal &j) {
            j.flush();
            d->written(j);
            delete std::exchange(d->retry, nullptr);
            d->handed.clear();
            d->journal.reset();  // closes the database on its own thread
            QThread::currentThread()->quit();
        });
        d->thread->wait(QDeadlineTimer(timeout));
    }
    QList<Order> left;
    QString why;
    {
        QMutexLocker lock(&d->mutex);
        for (const Private::Waiting &w : std::as_const(d->unwritten))
            left.append(w.order);
        d->unwritten.clear();
        why = d->reason;
    }
    d->watch->stop();
    d->told = false;
    if (left.isEmpty())
        return QString();
    if (why.isEmpty())
        why = QStringLiteral("写入营业记录花的时间太长。");
    const QString lead = QStringLiteral("程序结束时有 %1 单（合计 %2 元）未能记入营业记录。原因：%3\n")
                             .arg(left.size())
                             .arg(rescue::amountText(left), why);
    QString error;
    const QString file = rescue::save(left, &error);
    if (file.isEmpty())
        return lead + QStringLiteral("这些订单也无法另存：%1").arg(error);
    return lead + QStringLiteral("这些订单已另存到 %1，下次启动 Tavelko 且营业记录可以写入时会自动补记。")
                      .arg(QDir::toNativeSeparators(file));
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
