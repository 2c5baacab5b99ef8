#pragma once
// The platform side of the caption store: where the entries live and how a
// whole set of them is read, written and checked back. One implementation
// per platform, chosen by CMake: caption_store_file.cpp (an INI file) and
// caption_store_registry.cpp (the Windows registry).

#include <QByteArray>
#include <QMap>
#include <QString>

namespace settings::backend {

// "Section/key" -> value, every entry of the store.
using Entries = QMap<QString, QString>;

enum class Condition {
    Fine,        // read completely (a missing store is an empty one)
    Damaged,     // read as far as it could be; some of it made no sense
    Unreadable,  // could not be read at all: nothing may be written over it
    Dangling,    // a link to a file that does not exist: empty, a save creates that file
};

struct Snapshot {
    Entries entries;
    Condition condition = Condition::Fine;
    QString reason;   // what is wrong, in Chinese, when not Fine
    QByteArray raw;   // the bytes as found (file store), for a copy of a damaged one
};

// Where the store lives, as the user would look for it.
QString location();

// Reads every entry of the store.
Snapshot read();

// Removes what a run that ended abruptly left beside the store (lock and
// temporary files, by names only this program gives), never a file a copy
// still running is using, nor a file of the user's own.
void removeLeftovers();

// The name under which a damaged store is (or will be) kept: the copy that
// holds these very bytes, or else the next free name.
QString copyNameFor(const Snapshot &damaged);

// Keeps the damaged store's bytes in a copy beside it, never over an earlier
// copy. False (with the reason in `why`) when no copy could be made.
bool keepCopy(const Snapshot &damaged, QString *why);

// Makes the store hold exactly `after`, where it held `before`, and checks
// it back. On any failure the store holds `before` again and the reason is
// returned, in Chinese; an empty text means saved.
QString write(const Entries &before, const Entries &after);

// For the tests: runs right after a new store was put in the old one's place,
// before it is read back there.
extern void (*afterReplace)(const QString &file);

}  // namespace settings::backend
