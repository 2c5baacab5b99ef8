// The journal's schema: its tables version by version, the upgrades that make
// every journal the current one, and the checks made when it is opened.
#include "journal/journal.h"
#include "journal/journal_private.h"

#include "journal/journal_files.h"
#include "journal/journal_marks.h"
#include "journal/sqlite_db.h"

#include <QDateTime>

#include <algorithm>

namespace journal {

namespace {

// The journal's tables as version 1.2.0 made them (schema version 1). A new
// journal is made the same way and then upgraded, so that every journal goes
// the one road to the current version.
const char schemaVersion1[] = R"(
CREATE TABLE IF NOT EXISTS orders (
  id INTEGER PRIMARY KEY,
  day TEXT NOT NULL,
  ended_at TEXT NOT NULL,
  bill_number INTEGER,
  printed INTEGER NOT NULL,
  copied INTEGER NOT NULL,
  name1 TEXT NOT NULL, name2 TEXT NOT NULL, name3 TEXT NOT NULL,
  name4 TEXT NOT NULL, name5 TEXT NOT NULL, name6 TEXT NOT NULL,
  total1 REAL NOT NULL, total2 REAL NOT NULL, total3 REAL NOT NULL,
  total4 REAL NOT NULL, total5 REAL NOT NULL, total6 REAL NOT NULL,
  grand_total REAL NOT NULL,
  bill_text TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS orders_by_day ON orders (day, ended_at, id);
CREATE TABLE IF NOT EXISTS order_lines (
  order_id INTEGER NOT NULL REFERENCES orders (id),
  position INTEGER NOT NULL,
  category INTEGER NOT NULL,
  category_name TEXT NOT NULL,
  dish TEXT NOT NULL,
  small_quantity REAL NOT NULL,
  small_heading TEXT NOT NULL,
  large_quantity REAL NOT NULL,
  large_heading TEXT NOT NULL,
  line_total REAL NOT NULL,
  PRIMARY KEY (order_id, position)
) WITHOUT ROWID;
)";

// Version 2: the payment, the order's identity and 单号, voids and cash-ups.
// Money the cashier takes is in 分 (INTEGER). Orders of 1.2.0 keep status 0
// (未结账) and no payment.
const char upgradeToVersion2[] = R"(
CREATE TABLE cash_ups (
  id INTEGER PRIMARY KEY,
  at TEXT NOT NULL,
  since TEXT,
  paid_count INTEGER NOT NULL, unpaid_count INTEGER NOT NULL, voided_count INTEGER NOT NULL,
  paid_total_fen INTEGER NOT NULL, unpaid_total_fen INTEGER NOT NULL,
  voided_total_fen INTEGER NOT NULL,
  discounts_fen INTEGER NOT NULL, roundings_fen INTEGER NOT NULL,
  opening_float_fen INTEGER NOT NULL, cash_taken_fen INTEGER NOT NULL,
  change_given_fen INTEGER NOT NULL, expected_cash_fen INTEGER NOT NULL,
  counted_cash_fen INTEGER NOT NULL, difference_fen INTEGER NOT NULL,
  float_left_fen INTEGER NOT NULL
);
CREATE TABLE cash_up_methods (
  cash_up_id INTEGER NOT NULL REFERENCES cash_ups (id),
  position INTEGER NOT NULL,
  method TEXT NOT NULL,
  amount_fen INTEGER NOT NULL,
  PRIMARY KEY (cash_up_id, position)
) WITHOUT ROWID;
CREATE TABLE cash_up_counts (
  cash_up_id INTEGER NOT NULL REFERENCES cash_ups (id),
  value_fen INTEGER NOT NULL,
  count INTEGER NOT NULL,
  PRIMARY KEY (cash_up_id, value_fen)
) WITHOUT ROWID;
ALTER TABLE orders ADD COLUMN uid TEXT;
ALTER TABLE orders ADD COLUMN receipt_number TEXT;
ALTER TABLE orders ADD COLUMN status INTEGER NOT NULL DEFAULT 0;
ALTER TABLE orders ADD COLUMN total_fen INTEGER;
ALTER TABLE orders ADD COLUMN discount_fen INTEGER;
ALTER TABLE orders ADD COLUMN discount_label TEXT;
ALTER TABLE orders ADD COLUMN rounding_fen INTEGER;
ALTER TABLE orders ADD COLUMN due_fen INTEGER;
ALTER TABLE orders ADD COLUMN cash_given_fen INTEGER;
ALTER TABLE orders ADD COLUMN change_fen INTEGER;
ALTER TABLE orders ADD COLUMN void_reason TEXT;
ALTER TABLE orders ADD COLUMN voided_at TEXT;
ALTER TABLE orders ADD COLUMN cash_up_id INTEGER REFERENCES cash_ups (id);
CREATE UNIQUE INDEX orders_by_uid ON orders (uid);
CREATE UNIQUE INDEX orders_by_receipt ON orders (receipt_number);
CREATE INDEX orders_not_cashed_up ON orders (day, ended_at, id)
  WHERE cash_up_id IS NULL AND uid IS NOT NULL;
CREATE TABLE payment_parts (
  order_id INTEGER NOT NULL REFERENCES orders (id),
  position INTEGER NOT NULL,
  method TEXT NOT NULL,
  amount_fen INTEGER NOT NULL,
  PRIMARY KEY (order_id, position)
) WITHOUT ROWID;
CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
)";

// Version 3: orders put aside (挂单), kept until they are brought back and
// ended; and the rescued changes already merged, so that a rescue file
// merged again changes nothing.
const char upgradeToVersion3[] = R"(
CREATE TABLE open_orders (
  uid TEXT PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  held_at TEXT NOT NULL,
  total_fen INTEGER NOT NULL,
  dish_count INTEGER NOT NULL,
  state BLOB NOT NULL
);
CREATE TABLE merged_changes (id TEXT PRIMARY KEY) WITHOUT ROWID;
)";

// Version 4: the order on the windows, kept as it changes, so that a crash
// brings it back; it goes in the write that ends it.
const char upgradeToVersion4[] = R"(
CREATE TABLE current_order (
  uid TEXT PRIMARY KEY,
  saved_at TEXT NOT NULL,
  total_fen INTEGER NOT NULL,
  state BLOB NOT NULL
) WITHOUT ROWID;
)";

// Version 5: the outbox of a till that belongs to a shop. Its rows are never
// removed, so the sequence numbers have no gap; whoever carries them keeps
// for itself how far they went.
const char upgradeToVersion5[] = R"(
CREATE TABLE outbox (
  seq INTEGER PRIMARY KEY,
  kind TEXT NOT NULL,
  entity TEXT NOT NULL,
  at TEXT NOT NULL,
  payload TEXT NOT NULL
);
)";

// Each version's tables from the one before: a journal is made and upgraded
// by the same steps, so that every journal has the same schema.
const char *const schemaSteps[currentVersion] = {schemaVersion1, upgradeToVersion2, upgradeToVersion3,
                                                 upgradeToVersion4, upgradeToVersion5, receiptMarksVersion6};
// The full integrity check (it reads every page) runs at most this often;
// every other start makes the quick one.
constexpr qint64 fullCheckEvery = 7 * 24 * 3600;

}  // namespace

bool buildSchema(sql::Database &db, int from, int to)
{
    for (int version = std::max(from, 0); version < std::min(to, currentVersion); ++version)
        if (!db.exec(schemaSteps[version]))
            return false;
    return db.exec(QStringLiteral("PRAGMA user_version = %1").arg(to).toUtf8().constData());
}

// The version a journal was written by, as far as this program knows it;
// refuses (with error) a later one and what cannot be read.
std::optional<int> versionOf(sql::Database &db)
{
    const std::optional<QString> version = db.text("PRAGMA user_version");
    if (!version)
        return std::nullopt;
    return version->toInt();
}

// The settings of the connection, the check and the tables; error says why
// when any of it fails.
bool Journal::Private::prepare()
{
    const std::optional<int> version = versionOf(db);
    if (!version) {
        error = why(QStringLiteral("打开"));
        return false;
    }
    if (*version > currentVersion) {
        // Left exactly as it is: no log mode, no check that writes.
        error = QStringLiteral("营业记录 %1 是较新版本的 Tavelko 写的（格式版本 %2，本程序只认得到版本 %3），"
                               "本程序不会改动它。请使用新版本的 Tavelko；在此之前的订单暂存在内存中。")
                    .arg(native(path()))
                    .arg(*version)
                    .arg(currentVersion);
        return false;
    }
    // WAL with full syncs: a committed order survives a power cut, and a
    // reader never blocks the till.
    if (!db.text("PRAGMA journal_mode = WAL") ||
        !db.exec("PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON;")) {
        error = why(QStringLiteral("打开"));
        return false;
    }
    // The log of a journal in use is there now, and nothing is written to it
    // yet; a new journal makes its log with its tables, below.
    files::rememberPair(path());
    if (!checkIntegrity())
        return false;
    if (*version < currentVersion && !transaction([&] { return buildSchema(db, *version, currentVersion); })) {
        error = why(QStringLiteral("写入"));
        return false;
    }
    files::rememberPair(path());
    this->version = currentVersion;
    till = journal::tillIdentity(db);
    return true;
}

// The quick check at every start, the full one when a week has passed since
// the last (remembered in the journal itself).
bool Journal::Private::checkIntegrity()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime last = QDateTime::fromString(
        db.text("SELECT value FROM meta WHERE key = 'integrity_checked'").value_or(QString()),
        Qt::ISODate);
    const bool full = !last.isValid() || last.secsTo(now) > fullCheckEvery || last > now;
    const std::optional<QString> integrity =
        db.text(full ? "PRAGMA integrity_check" : "PRAGMA quick_check");
    if (!integrity) {
        error = why(QStringLiteral("检查"));
        return false;
    }
    if (*integrity != QStringLiteral("ok")) {
        db.markDamaged(QStringLiteral("完整性检查未通过：") + *integrity);
        error = why(QStringLiteral("打开"));
        return false;
    }
    if (!full)
        return true;
    sql::Statement remember(db, "INSERT OR REPLACE INTO meta VALUES ('integrity_checked', ?)");
    // A journal still of version 1 has no place for it yet: the next start checks fully again.
    if (remember.isValid())
        remember.bind(1, now.toString(Qt::ISODate)).run();
    return true;
}

}  // namespace journal
