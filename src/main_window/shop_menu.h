#pragma once
// The menu of a till that belongs to a shop is the shop's: an edit saved
// here (a right-click edit closed with "关闭", or an import) goes to the
// shop through the outbox, and what the other tills changed comes back,
// is saved here and shown at once on the windows already open, as an
// import is. The edit the server stored later wins on every till; a till
// whose edit lost hears so. The past is never rewritten: orders keep the
// names and prices they were sold at.

#include "journal/outbox.h"
#include "shop/shop_shared.h"

#include <QMap>
#include <QObject>

#include <functional>

class ShopMenu : public QObject {
    Q_OBJECT

public:
    explicit ShopMenu(QObject *parent = nullptr);
    ~ShopMenu() override;

    // From now on this till's menu edits go to the shop.
    void start(const journal::TillIdentity &till);
    void stop();

    // Edits the shop stored since this till last looked, oldest first.
    void take(const QList<shop::MenuEdit> &edits);

    // How captions saved from the shop reach the windows already open.
    void setShow(std::function<void(const QMap<QString, QString> &)> show) { m_show = std::move(show); }

signals:
    // What the cashier hears, once: "菜单已更新：牛肉面 小份 12 → 14".
    void told(const QString &text);
    // An edit made here is in the outbox: the link may carry it at once.
    void shared();

private:
    QString m_tillUid;
    std::function<void(const QMap<QString, QString> &)> m_show;
    QMap<QString, qint64> m_ownVersion;  // the version each caption this till edited was stored as
};
