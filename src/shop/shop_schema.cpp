#include "shop/shop_schema.h"

namespace shop {

namespace {

// Version 1. Amounts are whole 分 (bigint); a till's local day and time are
// kept as the till told them, since the shop's day is the tills' own day.
const char version1[] = R"(
CREATE SCHEMA IF NOT EXISTS tavelko;
CREATE TABLE tavelko.meta (key text PRIMARY KEY, value text NOT NULL);
CREATE TABLE tavelko.tills (
    uid uuid PRIMARY KEY,
    number int NOT NULL CHECK (number BETWEEN 1 AND 99),
    name text NOT NULL,
    joined_at timestamptz NOT NULL DEFAULT now(),
    replaced_at timestamptz,
    replaced_by uuid,
    -- What the till last told of its outbox: its last sequence number and
    -- when. With the changes stored, the shop sees what a till still holds.
    outbox_end bigint NOT NULL DEFAULT 0,
    last_seen timestamptz
);
CREATE UNIQUE INDEX tills_by_number ON tavelko.tills (number) WHERE replaced_at IS NULL;
CREATE TABLE tavelko.changes (
    till uuid NOT NULL REFERENCES tavelko.tills,
    seq bigint NOT NULL CHECK (seq > 0),
    kind text NOT NULL,
    entity text NOT NULL,
    payload jsonb NOT NULL,
    recorded_at text,
    received_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (till, seq)
);
CREATE TABLE tavelko.orders (
    uid text PRIMARY KEY,
    till uuid NOT NULL REFERENCES tavelko.tills,
    receipt_number text,
    day date NOT NULL,
    ended_at timestamp NOT NULL,
    status text NOT NULL CHECK (status IN ('paid', 'unpaid', 'voided')),
    total_fen bigint NOT NULL,
    discount_fen bigint NOT NULL DEFAULT 0,
    rounding_fen bigint NOT NULL DEFAULT 0,
    due_fen bigint NOT NULL DEFAULT 0,
    cash_given_fen bigint NOT NULL DEFAULT 0,
    change_fen bigint NOT NULL DEFAULT 0,
    void_reason text,
    voided_at timestamp,
    payload jsonb NOT NULL
);
CREATE INDEX orders_by_day ON tavelko.orders (day, till);
CREATE TABLE tavelko.order_payments (
    order_uid text NOT NULL REFERENCES tavelko.orders ON DELETE CASCADE,
    position int NOT NULL,
    method text NOT NULL,
    amount_fen bigint NOT NULL,
    PRIMARY KEY (order_uid, position)
);
CREATE TABLE tavelko.cash_ups (
    uid text PRIMARY KEY,
    till uuid NOT NULL REFERENCES tavelko.tills,
    day date NOT NULL,
    at timestamp NOT NULL,
    payload jsonb NOT NULL
);
CREATE TABLE tavelko.kept_aside (
    id bigserial PRIMARY KEY,
    till uuid NOT NULL,
    seq bigint NOT NULL,
    kind text NOT NULL,
    entity text NOT NULL,
    payload jsonb NOT NULL,
    stored jsonb,
    why text NOT NULL,
    received_at timestamptz NOT NULL DEFAULT now()
);

-- One batch of a till's changes, in its order, as one JSON array of
-- {seq, kind, entity, at, payload}. Each (till, seq) and each order is kept
-- once: a batch sent again changes nothing, and a change that contradicts
-- what is stored is kept aside, never written over it. Answers the highest
-- sequence number of the batch, how many changes were new and how many
-- were kept aside.
CREATE FUNCTION tavelko.apply(p_till uuid, p_changes jsonb,
                              OUT last_seq bigint, OUT stored int, OUT aside int)
LANGUAGE plpgsql SET search_path = pg_catalog AS $$
DECLARE
    c jsonb;
    s bigint;
    fresh bigint;
    prior tavelko.changes%ROWTYPE;
    o jsonb;
    kept text;
    part jsonb;
    pos int;
BEGIN
    last_seq := 0; stored := 0; aside := 0;
    FOR c IN SELECT value FROM jsonb_array_elements(p_changes) LOOP
        s := (c->>'seq')::bigint;
        last_seq := greatest(last_seq, s);
        fresh := NULL;
        INSERT INTO tavelko.changes (till, seq, kind, entity, payload, recorded_at)
            VALUES (p_till, s, c->>'kind', c->>'entity', c->'payload', c->>'at')
            ON CONFLICT DO NOTHING RETURNING seq INTO fresh;
        IF fresh IS NULL THEN
            SELECT * INTO prior FROM tavelko.changes WHERE till = p_till AND seq = s;
            IF prior.kind <> c->>'kind' OR prior.entity <> c->>'entity' OR prior.payload <> c->'payload' THEN
                INSERT INTO tavelko.kept_aside (till, seq, kind, entity, payload, stored, why)
                    VALUES (p_till, s, c->>'kind', c->>'entity', c->'payload', prior.payload, 'sequence');
                aside := aside + 1;
            END IF;
            CONTINUE;
        END IF;
        stored := stored + 1;
        o := c->'payload';
        IF c->>'kind' = 'order' THEN
            kept := NULL;
            INSERT INTO tavelko.orders (uid, till, receipt_number, day, ended_at, status, total_fen,
                                        discount_fen, rounding_fen, due_fen, cash_given_fen, change_fen,
                                        void_reason, voided_at, payload)
                VALUES (c->>'entity', p_till, o->>'receipt', (o->>'day')::date, (o->>'endedAt')::timestamp,
                        o->>'status', (o->>'totalFen')::bigint, coalesce((o->>'discountFen')::bigint, 0),
                        coalesce((o->>'roundingFen')::bigint, 0), coalesce((o->>'dueFen')::bigint, 0),
                        coalesce((o->>'cashGivenFen')::bigint, 0), coalesce((o->>'changeFen')::bigint, 0),
                        o->>'voidReason', (o->>'voidedAt')::timestamp, o)
                ON CONFLICT (uid) DO NOTHING RETURNING uid INTO kept;
            IF kept IS NULL THEN
                IF (SELECT payload FROM tavelko.orders WHERE uid = c->>'entity') <> o THEN
                    INSERT INTO tavelko.kept_aside (till, seq, kind, entity, payload, stored, why)
                        SELECT p_till, s, 'order', c->>'entity', o, payload, 'order'
                        FROM tavelko.orders WHERE uid = c->>'entity';
                    aside := aside + 1;
                END IF;
            ELSE
                pos := 0;
                FOR part IN SELECT value FROM jsonb_array_elements(coalesce(o->'parts', '[]'::jsonb)) LOOP
                    pos := pos + 1;
                    INSERT INTO tavelko.order_payments (order_uid, position, method, amount_fen)
                        VALUES (c->>'entity', pos, part->>'method', (part->>'fen')::bigint);
                END LOOP;
            END IF;
        ELSIF c->>'kind' = 'void' THEN
            -- Only the till that took an order voids it.
            UPDATE tavelko.orders SET status = 'voided', void_reason = o->>'reason',
                                      voided_at = (o->>'at')::timestamp
                WHERE uid = c->>'entity' AND till = p_till AND status <> 'voided';
        ELSIF c->>'kind' = 'cash_up' THEN
            kept := NULL;
            INSERT INTO tavelko.cash_ups (uid, till, day, at, payload)
                VALUES (c->>'entity', p_till, (o->>'day')::date, (o->>'at')::timestamp, o)
                ON CONFLICT (uid) DO NOTHING RETURNING uid INTO kept;
            IF kept IS NULL AND (SELECT payload FROM tavelko.cash_ups WHERE uid = c->>'entity') <> o THEN
                INSERT INTO tavelko.kept_aside (till, seq, kind, entity, payload, stored, why)
                    SELECT p_till, s, 'cash_up', c->>'entity', o, payload, 'cash_up'
                    FROM tavelko.cash_ups WHERE uid = c->>'entity';
                aside := aside + 1;
            END IF;
        END IF;
    END LOOP;
END $$;
INSERT INTO tavelko.meta (key, value) VALUES ('schema', '1');
)";

// Version 2: what each till holds put aside (挂单), as it last told: the
// orders themselves stay on the till.
const char version2[] = R"(
ALTER TABLE tavelko.tills
    ADD COLUMN put_aside_count int NOT NULL DEFAULT 0 CHECK (put_aside_count >= 0),
    ADD COLUMN put_aside_fen bigint NOT NULL DEFAULT 0;
)";

// Version 3: what the tills share besides their sales. The menu, as every
// edit stored (each caption its own row, numbered in the order the server
// stored them: the later wins on every till), and the orders put aside in
// the shop (挂单), each held by at most one till while it is on that till's
// windows. Menu and table changes take their numbers under one lock, so a
// till that has seen number N has seen every change before it.
const char version3[] = R"(
CREATE SEQUENCE tavelko.versions;
CREATE TABLE tavelko.menu (
    version bigint PRIMARY KEY,
    till uuid NOT NULL REFERENCES tavelko.tills,
    key text NOT NULL,          -- "window/control", as the tills store it
    value text NOT NULL,
    base bigint NOT NULL,       -- the last version the editing till had seen
    by_user text,
    recorded_at text,
    stored_at timestamptz NOT NULL DEFAULT now()
);
CREATE TABLE tavelko.open_tables (
    uid text PRIMARY KEY,
    name text NOT NULL,
    asked_name text NOT NULL,   -- the name the till put it aside under
    put_by uuid NOT NULL REFERENCES tavelko.tills,
    held_by uuid REFERENCES tavelko.tills,  -- on that till's windows
    held_since timestamptz,
    held_at text,
    total_fen bigint NOT NULL DEFAULT 0,
    dish_count int NOT NULL DEFAULT 0,
    state jsonb NOT NULL,
    closed_at timestamptz,      -- paid or cleared: never open again
    closed_by uuid,
    version bigint NOT NULL
);
CREATE UNIQUE INDEX open_tables_by_name ON tavelko.open_tables (name) WHERE closed_at IS NULL;
CREATE INDEX open_tables_by_version ON tavelko.open_tables (version);

ALTER FUNCTION tavelko.apply(uuid, jsonb) RENAME TO apply_sales;

-- The name `wanted` if no other open table has it, else the first free of
-- "wanted（2）", "wanted（3）"…
CREATE FUNCTION tavelko.free_name(p_uid text, wanted text) RETURNS text
LANGUAGE plpgsql SET search_path = pg_catalog AS $$
DECLARE
    n int := 1;
    candidate text := wanted;
BEGIN
    WHILE EXISTS (SELECT 1 FROM tavelko.open_tables
                  WHERE closed_at IS NULL AND name = candidate AND uid <> p_uid) LOOP
        n := n + 1;
        candidate := wanted || '（' || n || '）';
    END LOOP;
    RETURN candidate;
END $$;

-- Ends a table for good (paid or cleared): a later keep never reopens it.
CREATE FUNCTION tavelko.close_table(p_till uuid, p_uid text) RETURNS void
LANGUAGE sql SET search_path = pg_catalog AS $$
    UPDATE tavelko.open_tables SET closed_at = now(), closed_by = p_till, held_by = NULL,
                                   version = nextval('tavelko.versions')
        WHERE uid = p_uid AND closed_at IS NULL;
$$;

CREATE FUNCTION tavelko.apply(p_till uuid, p_changes jsonb,
                              OUT last_seq bigint, OUT stored int, OUT aside int)
LANGUAGE plpgsql SET search_path = pg_catalog AS $$
DECLARE
    c jsonb;
    o jsonb;
    r record;
    t tavelko.open_tables%ROWTYPE;
    s bigint;
    entry record;
    locked boolean := false;
    on_windows boolean;
BEGIN
    last_seq := 0; stored := 0; aside := 0;
    FOR c IN SELECT value FROM jsonb_array_elements(p_changes) LOOP
        o := c->'payload';
        IF NOT locked AND (c->>'kind' IN ('menu', 'table_keep', 'table_drop') OR o ? 'closesOpen') THEN
            PERFORM pg_advisory_xact_lock(hashtext('tavelko.versions'));
            locked := true;
        END IF;
        -- Every change is kept once per (till, seq) as before; what follows
        -- is done only for a change new to the shop.
        SELECT * INTO r FROM tavelko.apply_sales(p_till, jsonb_build_array(c));
        last_seq := greatest(last_seq, r.last_seq);
        stored := stored + r.stored;
        aside := aside + r.aside;
        IF r.stored = 0 THEN
            CONTINUE;
        END IF;
        s := (c->>'seq')::bigint;
        IF c->>'kind' = 'order' THEN
            -- The order a table became closes it, whoever held it: what
            -- was paid is never open again.
            IF coalesce(o->>'closesOpen', '') <> '' THEN
                PERFORM tavelko.close_table(p_till, o->>'closesOpen');
            END IF;
        ELSIF c->>'kind' = 'menu' THEN
            FOR entry IN SELECT key, value FROM jsonb_each_text(o->'entries') ORDER BY key LOOP
                INSERT INTO tavelko.menu (version, till, key, value, base, by_user, recorded_at)
                    VALUES (nextval('tavelko.versions'), p_till, entry.key, entry.value,
                            coalesce((o->>'base')::bigint, 0), o->>'by', c->>'at');
            END LOOP;
        ELSIF c->>'kind' = 'table_drop' THEN
            -- Cleared on the till that has it; a till that no longer has it
            -- cannot clear it for the one that does.
            SELECT * INTO t FROM tavelko.open_tables WHERE uid = c->>'entity' FOR UPDATE;
            IF FOUND AND t.closed_at IS NULL AND (t.held_by IS NULL OR t.held_by = p_till) THEN
                PERFORM tavelko.close_table(p_till, c->>'entity');
            END IF;
        ELSIF c->>'kind' = 'table_keep' THEN
            on_windows := coalesce((o->>'onWindows')::boolean, false);
            SELECT * INTO t FROM tavelko.open_tables WHERE uid = c->>'entity' FOR UPDATE;
            IF FOUND AND t.closed_at IS NOT NULL THEN
                CONTINUE;  -- paid or cleared meanwhile: a late keep reopens nothing
            END IF;
            IF FOUND AND t.held_by IS NOT NULL AND t.held_by <> p_till THEN
                -- Another till has it on its windows: this till's copy is
                -- an older one. Kept apart for the owner, never written over.
                INSERT INTO tavelko.kept_aside (till, seq, kind, entity, payload, stored, why)
                    VALUES (p_till, s, c->>'kind', c->>'entity', o, t.state, 'table held elsewhere');
                aside := aside + 1;
                CONTINUE;
            END IF;
            INSERT INTO tavelko.open_tables (uid, name, asked_name, put_by, held_by, held_since, held_at,
                                             total_fen, dish_count, state, version)
                VALUES (c->>'entity', tavelko.free_name(c->>'entity', o->>'name'), o->>'name', p_till,
                        CASE WHEN on_windows THEN p_till END, CASE WHEN on_windows THEN now() END,
                        o->>'heldAt', coalesce((o->>'totalFen')::bigint, 0),
                        coalesce((o->>'dishCount')::int, 0), coalesce(o->'state', '{}'::jsonb),
                        nextval('tavelko.versions'))
                ON CONFLICT (uid) DO UPDATE SET
                    name = EXCLUDED.name, asked_name = EXCLUDED.asked_name, put_by = EXCLUDED.put_by,
                    held_by = EXCLUDED.held_by, held_since = CASE WHEN on_windows THEN coalesce(tavelko.open_tables.held_since, now()) END,
                    held_at = EXCLUDED.held_at, total_fen = EXCLUDED.total_fen,
                    dish_count = EXCLUDED.dish_count, state = EXCLUDED.state, version = EXCLUDED.version;
        END IF;
    END LOOP;
END $$;

-- 取单 on a till: takes the table for `p_till` unless another till has it,
-- or frees it for any till (the owner's 强制取回, `p_take` false). Answers
-- what became of it: taken, freed, held (by whom), closed or missing.
CREATE FUNCTION tavelko.take_table(p_till uuid, p_uid text, p_take boolean,
                                   OUT outcome text, OUT holder_number int, OUT holder_name text,
                                   OUT name text, OUT state jsonb)
LANGUAGE plpgsql SET search_path = pg_catalog AS $$
DECLARE
    t tavelko.open_tables%ROWTYPE;
BEGIN
    PERFORM pg_advisory_xact_lock(hashtext('tavelko.versions'));
    SELECT * INTO t FROM tavelko.open_tables WHERE uid = p_uid FOR UPDATE;
    IF NOT FOUND THEN
        outcome := 'missing';
        RETURN;
    END IF;
    name := t.name;
    state := t.state;
    IF t.closed_at IS NOT NULL THEN
        outcome := 'closed';
        RETURN;
    END IF;
    IF p_take AND t.held_by IS NOT NULL AND t.held_by <> p_till THEN
        outcome := 'held';
        SELECT number, tills.name INTO holder_number, holder_name FROM tavelko.tills WHERE uid = t.held_by;
        RETURN;
    END IF;
    IF NOT p_take THEN
        SELECT number, tills.name INTO holder_number, holder_name FROM tavelko.tills WHERE uid = t.held_by;
    END IF;
    UPDATE tavelko.open_tables
        SET held_by = CASE WHEN p_take THEN p_till END, held_since = CASE WHEN p_take THEN now() END,
            version = nextval('tavelko.versions')
        WHERE uid = p_uid;
    outcome := CASE WHEN p_take THEN 'taken' ELSE 'freed' END;
END $$;
)";

const char *const upgrades[] = {version1, version2, version3};
static_assert(std::size(upgrades) == shopSchemaVersion);

}  // namespace

QString newerSchemaText(int version)
{
    return QStringLiteral("店铺数据库的表是新版本的 Tavelko 建的（第 %1 版，本机只认到第 %2 版）。"
                          "本机不会改动它，继续在本机记账；请把这台收银机升级到新版本。")
        .arg(version)
        .arg(shopSchemaVersion);
}

std::optional<int> schemaVersionOf(pg::Connection &db)
{
    // Read from pg_tables, with the statement's own snapshot: a lookup by
    // name may answer from a catalog snapshot older than the advisory lock
    // this transaction waited for, and miss the tables another till made.
    const std::optional<pg::Result> there = db.exec(
        "SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_tables WHERE schemaname = 'tavelko' AND tablename = 'meta')");
    if (!there)
        return std::nullopt;
    if (there->text(0, 0) != QLatin1String("t"))
        return 0;
    const std::optional<pg::Result> version = db.exec("SELECT value FROM tavelko.meta WHERE key = 'schema'");
    if (!version)
        return std::nullopt;
    bool ok = false;
    const int number = version->text(0, 0).toInt(&ok);
    return ok && number > 0 ? number : 0;
}

QString ensureSchema(pg::Connection &db)
{
    // Cheap look first: a shop already made needs no lock.
    std::optional<int> version = schemaVersionOf(db);
    if (!version)
        return db.describeFailure();
    if (*version == shopSchemaVersion)
        return {};
    if (*version > shopSchemaVersion)
        return newerSchemaText(*version);
    if (!db.run("BEGIN"))
        return db.describeFailure();
    auto fail = [&db]() {
        const QString why = db.describeFailure();
        db.run("ROLLBACK");
        return why;
    };
    // Whoever holds the lock makes the tables; a till that waited for it
    // finds them made.
    if (!db.exec("SELECT pg_advisory_xact_lock(hashtext('tavelko.schema'))", {}, 60000))
        return fail();
    version = schemaVersionOf(db);
    if (!version)
        return fail();
    if (*version > shopSchemaVersion) {
        db.run("ROLLBACK");
        return newerSchemaText(*version);
    }
    for (int step = *version; step < shopSchemaVersion; ++step)
        if (!db.run(upgrades[step], 60000))
            return fail();
    if (!db.exec("UPDATE tavelko.meta SET value = $1 WHERE key = 'schema'", {QString::number(shopSchemaVersion)}))
        return fail();
    if (!db.run("COMMIT"))
        return db.describeFailure();
    return {};
}

}  // namespace shop
