#include "shop/shop_join.h"

#include "shop/shop_schema.h"
#include "shop/shop_shared.h"

namespace shop {

namespace {

JoinReply failed(const QString &why)
{
    return JoinReply{false, why, false};
}

}  // namespace

QString whereTo(const pg::Address &address)
{
    return QStringLiteral("%1:%2/%3").arg(address.host.trimmed()).arg(address.port).arg(address.database);
}

JoinReply tryServer(const pg::Address &address, const QString &password)
{
    pg::Connection db;
    if (!db.connect(address, password))
        return failed(db.describeFailure());
    const std::optional<int> version = schemaVersionOf(db);
    if (!version)
        return failed(db.describeFailure());
    if (*version > shopSchemaVersion)
        return failed(newerSchemaText(*version));
    const QString tls = db.usesTls() ? QStringLiteral("（加密连接）") : QStringLiteral("（未加密）");
    return JoinReply{true,
                     *version == 0 ? QStringLiteral("连接成功%1：%2，还没有店铺的数据，保存时建好。")
                                         .arg(tls, whereTo(address))
                                   : QStringLiteral("连接成功%1：%2").arg(tls, whereTo(address)),
                     db.usesTls()};
}

JoinReply joinServer(const pg::Address &address, const QString &password, const TillIdentity &till,
                     bool replacing)
{
    pg::Connection db;
    if (!db.connect(address, password))
        return failed(db.describeFailure());
    if (const QString schema = ensureSchema(db); !schema.isEmpty())
        return failed(schema);
    if (const QString refused = joinShop(db, till, replacing); !refused.isEmpty())
        return failed(refused);
    const std::optional<MenuState> menu = menuState(db);
    if (!menu)
        return failed(db.describeFailure());
    JoinReply reply{true,
                     QStringLiteral("已加入店铺：%1 号收银机“%2”，店铺数据库 %3%4")
                         .arg(till.number)
                         .arg(till.name, whereTo(address),
                              db.usesTls() ? QStringLiteral("（加密连接）") : QString()),
                     db.usesTls()};
    reply.menuSize = menu->size;
    reply.menuVersion = menu->version;
    return reply;
}

}  // namespace shop
