#pragma once
// The journal's files before SQLite sees them: the log beside the database
// (-wal) must be the one written with it, and a file put in the journal's
// place must hold nothing but the journal's own tables. No widgets; the
// reasons are Chinese text for the owner.

#include <QString>

namespace journal {

namespace sql {
class Database;
}

// Makes the journal's tables and indexes of schema version `from` into those
// of `to` (0: an empty file), as every journal has been made. In journal_schema.cpp.
bool buildSchema(sql::Database &db, int from, int to);

namespace files {

// Why the log beside `database` was not written with it, or empty when it
// was (or there is none, or it holds nothing committed). A log of another
// journal applied to this one would replace its pages with the other's.
QString strangerLog(const QString &database);

// Notes which database and which log belong together, once the connection
// has made its log and before it writes to it.
void rememberPair(const QString &database);

// Moves a stranger log (and its index, -shm) out of the way, beside the
// journal under a dated name; returns that name, or empty when it could not.
QString setLogAside(const QString &database);

// Why the open `db` of schema version `version` is not exactly a journal's
// (a table, index, trigger or view of its own, or one missing), or empty.
QString schemaDifference(sql::Database &db, int version);

}  // namespace files
}  // namespace journal
