#pragma once
// Joining the shop, as the owner does it from "店铺数据库…" or the command
// line: reaching the server, making or upgrading the shop's tables, and
// taking a till number. Each call waits on the network: never on the GUI
// thread.

#include "shop/shop_server.h"

namespace shop {

struct JoinReply {
    bool ok = false;
    QString text;  // what the owner is told, in Chinese
    bool tls = false;
    // After a join: how many captions the shop's menu has (0: none yet)
    // and the version it stands at.
    int menuSize = 0;
    qint64 menuVersion = 0;
};

// "测试连接": whether the server answers at `address` with `password` (none:
// libpq's own password file) and its tables are ones this program can use.
// Nothing is changed on the server.
JoinReply tryServer(const pg::Address &address, const QString &password);

// Makes or upgrades the shop's tables and takes `till`'s number there
// (`replacing` the till that held it, if the owner said so).
JoinReply joinServer(const pg::Address &address, const QString &password, const TillIdentity &till,
                     bool replacing);

// "192.168.1.10:5432/shop".
QString whereTo(const pg::Address &address);

}  // namespace shop
