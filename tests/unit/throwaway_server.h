#pragma once
// The throwaway PostgreSQL server the shop's tests run against
// (tests/throwaway_pg.sh hands its address over in libpq's variables).

#include "shop/pg_db.h"

#include <QtGlobal>

inline shop::pg::Address serverAddress()
{
    shop::pg::Address address;
    address.host = qEnvironmentVariable("PGHOST", QStringLiteral("localhost"));
    address.port = qEnvironmentVariableIntValue("PGPORT");
    address.database = qEnvironmentVariable("PGDATABASE", QStringLiteral("postgres"));
    address.user = qEnvironmentVariable("PGUSER", QStringLiteral("postgres"));
    address.connectSeconds = 2;
    return address;
}
