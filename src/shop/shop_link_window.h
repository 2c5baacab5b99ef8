#pragma once
// "店铺数据库…": the owner tells this till where the shop's database is
// (address, port, database, user, password, encryption) and which till it
// is (its number and name). "测试连接" tries the server and says what it
// found; "保存" joins the shop and starts sending this till's sales up. The
// network is only ever waited on by a thread of the window's own: the window
// answers throughout. The password goes to libpq's own password file, never
// into shop.ini, and is not shown again once saved.

#include "journal/outbox.h"
#include "shop/shop_join.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace shop {

class ShopLinkWindow : public QDialog {
    Q_OBJECT

public:
    // `folder`: the till's data folder (where shop.ini is); empty: the program's.
    explicit ShopLinkWindow(QWidget *parent = nullptr, const QString &folder = {});

    // What the fields say now; empty when something needed is missing
    // (`why` says what, in Chinese).
    std::optional<pg::Address> address(QString *why) const;

    void tryIt();  // "测试连接"
    void save();   // "保存"

    // The till as the journal holds it: its number and name fill the fields
    // (the window asks the program's journal when it opens; "保存" asks
    // again, so a till that joined before keeps its identity).
    void setTill(const journal::TillIdentity &till);

signals:
    // A try or a join has answered (its text is on the window).
    void answered(bool ok, const QString &text);
    // The till joined the shop as `till`.
    void joined(const journal::TillIdentity &till);

private:
    void busy(bool working, const QString &text = {});
    void tell(bool ok, const QString &text);
    void finishJoin(const journal::TillIdentity &till, const pg::Address &address, const QString &password,
                    const JoinReply &reply, bool joinedBefore);
    // A till joining for the first time: a shop without a menu may take
    // this till's; a shop with one replaces this till's, after asking and
    // after this till's is exported beside the journal.
    void settleMenu(const JoinReply &reply);

    QString m_folder;
    QLineEdit *m_host, *m_database, *m_user, *m_password, *m_name, *m_caFile;
    QSpinBox *m_port, *m_number;
    QComboBox *m_sslMode;
    QCheckBox *m_replacing;
    QLabel *m_answer;
    QPushButton *m_try, *m_save, *m_close;
    bool m_working = false;
};

// How the program hears that the till joined (it starts the link anew).
void setJoinedHook(std::function<void(const journal::TillIdentity &)> hook);

// Opens the window over `parent`.
void openShopLinkWindow(QWidget *parent);

}  // namespace shop
