#pragma once
// Carries the till's outbox to the shop's database, on a thread of its own:
// in the order the changes were recorded, in batches of one server
// transaction each, from where the shop says it has them. A change counts as
// sent only once the server has answered that it stored it; a batch whose
// answer was lost is sent again and changes nothing there. While the server
// is away it tries again every few seconds, so it is back within seconds of
// the server's return. Nothing here is ever waited for by the windows: they
// hear of the link's state through linkChanged.

#include "shop/pg_db.h"
#include "shop/shop_shared.h"

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QThread>
#include <QWaitCondition>

namespace shop {

struct LinkState {
    bool joined = false;     // this till belongs to a shop
    bool connected = false;  // the last try reached the server
    qint64 waiting = 0;      // changes recorded here and not yet stored there
    QDateTime awaySince;     // when the link was lost; invalid while connected
    QString why;             // why it is away, in Chinese
    int keptAside = 0;       // changes the server kept aside since the start
};

// The state in a few words for the main window ("全店：已连接",
// "全店：未连接，3 笔待上传（10:02 起）").
QString describeLink(const LinkState &state);

class Uploader : public QThread {
    Q_OBJECT
public:
    // `folder`: the till's data folder (its journal); `address`: the shop's;
    // `menuSeen`: the last version of the shop's menu this till took.
    Uploader(QString folder, pg::Address address, qint64 menuSeen = 0, QObject *parent = nullptr);
    ~Uploader() override;

    LinkState state() const;
    // Looks at the outbox now rather than at the next tick.
    void nudge();
    void stop();

    int batchSize = 500;
    int idleMs = 1000;       // how often a connected till looks for new changes
    int retryMs = 3000;      // how long it waits after a failure (doubling up to maxRetryMs)
    int maxRetryMs = 5000;

signals:
    void linkChanged(const shop::LinkState &state);
    void keptAside(int count);
    // Edits of the shop's menu stored since this till last looked, oldest
    // first: looked for once everything of this till is up.
    void menuArrived(const QList<shop::MenuEdit> &edits);
    // The shop's open tables changed, or the server came or went.
    void tablesChanged(const shop::TablesView &view);

protected:
    void run() override;

private:
    void publish(const LinkState &state);
    void pause(int ms);

    const QString m_folder;
    const pg::Address m_address;
    mutable QMutex m_lock;
    QWaitCondition m_wake;
    bool m_stop = false;
    bool m_nudged = false;
    LinkState m_state;
    qint64 m_menuSeen = 0;
};

}  // namespace shop

Q_DECLARE_METATYPE(shop::LinkState)
Q_DECLARE_METATYPE(shop::TablesView)
Q_DECLARE_METATYPE(QList<shop::MenuEdit>)
