#pragma once
// One call to the shop's server for a window: made on a pooled thread with
// a connection of its own, its answer handed back on the window's thread
// (unless the window is gone by then). The window goes on painting and
// answering meanwhile; every wait has libpq's deadlines.

#include "shop/pg_db.h"

#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <functional>
#include <optional>

namespace shop {

// `work` runs connected to `address`; `done` gets its answer, or nullopt
// and why not (in Chinese) when the server could not be reached or failed.
template <class Answer>
void callShop(QObject *context, const pg::Address &address,
              std::function<std::optional<Answer>(pg::Connection &)> work,
              std::function<void(std::optional<Answer>, QString why)> done)
{
    QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([guard, address, work = std::move(work), done = std::move(done)] {
        pg::Connection db;
        std::optional<Answer> answer;
        if (db.connect(address))
            answer = work(db);
        const QString why = answer ? QString() : db.describeFailure();
        if (QObject *target = guard.data())
            QMetaObject::invokeMethod(
                target, [guard, done, answer = std::move(answer), why]() mutable {
                    if (guard)
                        done(std::move(answer), why);
                },
                Qt::QueuedConnection);
    });
}

}  // namespace shop
