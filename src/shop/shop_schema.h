#pragma once
// The shop's tables on its PostgreSQL server, in their own schema
// ("tavelko"): the tills that joined, every change each till sent (kept once
// per till and sequence number), the orders and cash-ups those changes made,
// the changes kept aside because they contradicted what was stored, the
// shop's menu and the orders put aside in the shop. The
// first till that finds the tables missing or older makes or upgrades them,
// in one transaction under an advisory lock, so two tills starting together
// do not race; tables of a later version are left alone and refused.

#include "shop/pg_db.h"

#include <QString>

namespace shop {

// The version of the shop's tables this program makes and reads.
inline constexpr int shopSchemaVersion = 3;

// Makes or upgrades the shop's tables. Empty on success; otherwise why not,
// in Chinese (a later version: "店铺数据库是新版本的 Tavelko 建的…").
QString ensureSchema(pg::Connection &db);

// What the owner is told of tables a later program made (`version`).
QString newerSchemaText(int version);

// The version the server's tables have: 0 when none, nullopt when it cannot
// be read (db.failure() tells why).
std::optional<int> schemaVersionOf(pg::Connection &db);

}  // namespace shop
