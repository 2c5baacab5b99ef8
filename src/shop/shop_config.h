#pragma once
// Where this till finds the shop's database, kept in shop.ini in the
// till's data folder (group "shopDatabase"). The password is never kept
// here: it goes to libpq's own password file, readable by this user alone.

#include "shop/pg_db.h"

#include <QString>

namespace shop {

// The shop's address from shop.ini; nullopt when this till joined no shop.
std::optional<pg::Address> loadAddress(const QString &folder = {});
// Saves it; empty on success, else why not.
QString saveAddress(const pg::Address &address, const QString &folder = {});

// The last version of the shop's menu this till took (0: none yet, the
// whole of it is taken at the next start of the link).
qint64 menuVersion(const QString &folder = {});
void setMenuVersion(qint64 version, const QString &folder = {});

// libpq's password file: PGPASSFILE, else ~/.pgpass, or
// %APPDATA%\postgresql\pgpass.conf on Windows.
QString passwordFilePath();
// Keeps `password` for this address and user in libpq's password file
// (made for this user alone); a line for the same server, database and
// user is replaced. Empty on success, else why not.
QString keepPassword(const pg::Address &address, const QString &password);

// Reads a libpq connection URI ("postgresql://user@host:5432/shop?sslmode=require")
// or key=value string into an address. Empty error on success; a password
// inside it is handed back apart, never kept in the address.
QString parseAddress(const QString &uri, pg::Address *address, QString *password);

}  // namespace shop
