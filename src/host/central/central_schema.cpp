// The central schema, made or migrated by the database's owner, once per
// version: recorders only check its version and add sightings through
// camscout.forward. In the schema "camscout", so that a recorder role
// needs a grant on the schema, its version and that one function.
//
// Compact as the local store is: a device's facts kept once per change and
// recorder, each run once, and a run's sightings as arrays, a few bytes
// each. A sighting's time is the tail of its text past what it shares with
// its run's start, or the whole text (odd_at) where the two differ in
// length. The newest sighting of each set of facts is kept with the facts,
// whole, so retention may drop whole runs and the views still show every
// device; facts are never dropped, so every sighting's facts are there.
#include "host/central/central_schema.h"

static const char setup_sql[] = R"(BEGIN;
SELECT pg_advisory_xact_lock(4762013);
DO $$
DECLARE t text; o text; d text;
BEGIN
  -- Under the first version the recorder role made and owned the tables;
  -- a recorder role that runs the set-up finds them the owner's. Only the
  -- database's owner takes them over; anyone else is pointed to it.
  SELECT string_agg(n.nspname || '.' || c.relname || ' belongs to ' || c.relowner::regrole, ', '),
         min(c.relowner::regrole::text) INTO t, o
    FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace
    WHERE c.relkind IN ('r', 'v', 'p') AND c.relowner <> current_user::regrole
      AND (n.nspname = 'camscout' OR n.nspname = 'public' AND c.relname IN
           ('camscout_schema', 'found_media_sources', 'media_sources', 'media_sources_by_mac'));
  SELECT datdba::regrole::text INTO d FROM pg_database WHERE datname = current_database();
  IF t IS NOT NULL AND d = quote_ident(current_user) THEN
    RAISE EXCEPTION '% and not to %: REASSIGN OWNED BY % TO %, then set up again', t, current_user, o, d;
  ELSIF t IS NOT NULL THEN
    RAISE EXCEPTION '% and not to %: set it up as %, the database''s owner', t, current_user, d;
  END IF;
END $$;
CREATE SCHEMA IF NOT EXISTS camscout;
DO $$
DECLARE v integer;
BEGIN
  -- The first version was made by the recorders themselves, in public.
  IF to_regclass('camscout.camscout_schema') IS NULL AND to_regclass('public.camscout_schema') IS NOT NULL THEN
    DROP VIEW IF EXISTS public.media_sources, public.media_sources_by_mac;
    ALTER TABLE public.camscout_schema SET SCHEMA camscout;
    ALTER TABLE public.found_media_sources SET SCHEMA camscout;
  END IF;
  CREATE TABLE IF NOT EXISTS camscout.camscout_schema (version integer NOT NULL);
  SELECT max(version) INTO v FROM camscout.camscout_schema;
  IF v > VERSION THEN
    RAISE EXCEPTION 'the central schema is version %, newer than this program knows (VERSION)', v;
  ELSIF v = 1 THEN
    -- Its rows were kept by recorder and local id; a migrated store takes
    -- the recorder's name as its identity, so they keep their key.
    ALTER TABLE camscout.found_media_sources ADD COLUMN store_id text;
    UPDATE camscout.found_media_sources SET store_id = recorder, found_at = coalesce(found_at, '');
    ALTER TABLE camscout.found_media_sources ALTER store_id SET NOT NULL, ALTER found_at SET NOT NULL,
      DROP CONSTRAINT found_media_sources_pkey, ADD PRIMARY KEY (store_id, local_id, found_at);
  END IF;
  IF v < 3 THEN
    -- A row per sighting: set aside as it is, in a moment, and moved into
    -- the compact tables in steps (camscout.move_step) that each commit.
    DROP VIEW camscout.media_sources, camscout.media_sources_by_mac;
    DROP INDEX IF EXISTS camscout.found_media_sources_newest, camscout.found_media_sources_newest_by_mac,
      camscout.found_media_sources_runs;
    ALTER TABLE camscout.found_media_sources RENAME TO found_media_sources_moving;
  END IF;
  IF v IS NULL OR v < 3 THEN
    CREATE TYPE camscout.found AS (local_id bigint, found_at text, run_pid bigint, model_id bigint, model bytea,
      ip_addr text, mac_addr text, brand_id integer, port integer, record bytea, run_started text);
    CREATE TYPE camscout.seen AS (facts integer, local_id bigint, run bigint, run_pid bigint, run_started text,
      found_at text);
    -- Who forwards: a store's identity, under a recorder's identity and host
    -- name; expired_up_to: the highest local id that expiry removed, below
    -- which nothing sent again is taken back.
    CREATE TABLE camscout.recorders (id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY, store_id text NOT NULL,
      recorder text NOT NULL, recorder_name text NOT NULL, expired_up_to bigint NOT NULL DEFAULT 0,
      UNIQUE (store_id, recorder, recorder_name));
    -- at: when the run reached the inventory, by the server's clock, as a
    -- recorder's may be wrong (a run of an earlier version moved: when it
    -- started, if that reads as a time and is not ahead); retention goes by it.
    CREATE TABLE camscout.runs (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, source integer NOT NULL,
      run_pid bigint, run_started text, at timestamptz NOT NULL, UNIQUE NULLS NOT DISTINCT (source, run_started, run_pid));
    CREATE INDEX runs_by_time ON camscout.runs (at);
    -- Each call moves its facts' newest sighting on: room on the page, and
    -- no index on what changes, keep that update beside the old row.
    CREATE TABLE camscout.facts (id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY, source integer NOT NULL,
      mac_addr text, ip_addr text, port integer, model bytea, model_id bigint, brand_id integer, record bytea,
      first_pid bigint, first_started text, last_run bigint NOT NULL, last_pid bigint, last_started text,
      last_local bigint NOT NULL, last_found_at text) WITH (fillfactor = 50);
    CREATE INDEX facts_by_address ON camscout.facts (source, coalesce(mac_addr, ''), coalesce(ip_addr, ''));
    -- A run's sightings of one forwarded batch, in order of local id.
    CREATE TABLE camscout.sightings (source integer NOT NULL, first_local bigint NOT NULL, last_local bigint NOT NULL,
      run bigint NOT NULL, local_ids bigint[] NOT NULL, facts integer[] NOT NULL, at text[] NOT NULL, odd_at text[]);
    CREATE INDEX sightings_by_local ON camscout.sightings (source, last_local);
    CREATE INDEX sightings_by_run ON camscout.sightings (run);
  END IF;
  DELETE FROM camscout.camscout_schema;
  INSERT INTO camscout.camscout_schema VALUES (VERSION);
END $$;
FUNCTIONS
SELECT camscout.make_views();
DO $$
DECLARE r record;
BEGIN
  IF to_regclass('camscout.found_media_sources_moving') IS NULL THEN
    RETURN;
  END IF;
  -- The roles that could insert under the version before forward under
  -- this one, and nobody but the move adds to the rows that are moving:
  -- every grant, on the table or a column, PUBLIC's too.
  FOR r IN SELECT CASE WHEN a.grantee = 0 THEN 'PUBLIC' ELSE a.grantee::regrole::text END AS who,
        bool_or(a.privilege_type = 'INSERT') AS inserted
      FROM (SELECT relacl AS acl, relowner FROM pg_class WHERE oid = 'camscout.found_media_sources_moving'::regclass
            UNION ALL SELECT a.attacl, c.relowner FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid
            WHERE a.attrelid = 'camscout.found_media_sources_moving'::regclass) x, aclexplode(x.acl) a
      WHERE a.grantee <> x.relowner GROUP BY 1 LOOP
    IF r.inserted THEN
      EXECUTE format('GRANT EXECUTE ON FUNCTION camscout.forward TO %s', r.who);
    END IF;
    EXECUTE format('REVOKE ALL ON camscout.found_media_sources_moving FROM %s', r.who);
  END LOOP;
END $$;
COMMIT;)";

// The time's text as kept: the tail past what it shares with the run's
// start, and back. Simple SQL, so that the planner inlines them.
static const char time_functions[] = R"(
CREATE OR REPLACE FUNCTION camscout.time_tail(started text, found text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$
  SELECT CASE WHEN length(started) = length(found) IS NOT TRUE THEN NULL
    WHEN left(found, 20) = left(started, 20) THEN substr(found, 21) WHEN left(found, 17) = left(started, 17) THEN substr(found, 18)
    WHEN left(found, 14) = left(started, 14) THEN substr(found, 15) WHEN left(found, 11) = left(started, 11) THEN substr(found, 12)
    ELSE found END $f$;
CREATE OR REPLACE FUNCTION camscout.time_text(started text, tail text, odd text) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $f$
  SELECT CASE WHEN tail IS NULL THEN odd ELSE substr(started, 1, length(started) - length(tail)) || tail END $f$;
-- A run's start as a time, when it reads as one and is not ahead.
CREATE OR REPLACE FUNCTION camscout.run_time(started text) RETURNS timestamptz
LANGUAGE plpgsql STABLE AS $f$
BEGIN
  RETURN least(started::timestamptz, now());
EXCEPTION WHEN others THEN
  RETURN now();
END $f$;
)";

// The recorder and store that a batch comes from, made on first sight.
static const char source_function[] = R"(
CREATE OR REPLACE FUNCTION camscout.source_of(in_store text, in_recorder text, in_name text) RETURNS integer
LANGUAGE plpgsql SET search_path = camscout, pg_temp AS $f$
DECLARE s integer;
BEGIN
  INSERT INTO recorders (store_id, recorder, recorder_name) VALUES (in_store, in_recorder, in_name) ON CONFLICT DO NOTHING;
  -- One store's batches one at a time: the same sighting twice at once
  -- would otherwise pass both checks. A lock on the row, which no role
  -- that may only forward can take and hold.
  SELECT id INTO s FROM recorders WHERE store_id = in_store AND recorder = in_recorder AND recorder_name = in_name
    FOR UPDATE;
  RETURN s;
END $f$;
)";

// Adds the rows that are not there already (by source, local id and
// time), in order of local id; returns how many. The facts' newest
// sightings move on once for the call, however many runs it holds.
static const char add_function[] = R"(
CREATE OR REPLACE FUNCTION camscout.add_sightings(src integer, in_store text, batch camscout.found[], moved boolean)
RETURNS bigint LANGUAGE plpgsql SET search_path = camscout, pg_temp AS $f$
DECLARE fresh found[]; lo bigint; hi bigint; g record; rid bigint; seen_all seen[] := '{}';
BEGIN
  -- A recorder sends 500 at a time and a part of a move 5000: more is no
  -- recorder's, and would hold the server's memory and the store's lock.
  IF cardinality(batch) > 5000 THEN
    RAISE EXCEPTION 'a call adds at most 5000 rows, not %', cardinality(batch);
  END IF;
  SELECT min(local_id), max(local_id) INTO lo, hi FROM unnest(batch);
  -- What this source sent before whose ids overlap the batch's: one seek
  -- when the batch is new, as it is but for a mark the store lost; and
  -- nothing of what expiry removed.
  WITH there AS (
    SELECT u.local_id, time_text(r.run_started, u.at, s.odd_at[u.i]) AS found_at
      FROM sightings s JOIN runs r ON r.id = s.run, unnest(s.local_ids, s.at) WITH ORDINALITY AS u(local_id, at, i)
      WHERE s.source = src AND s.last_local >= lo AND s.first_local <= hi)
  SELECT array_agg(x ORDER BY x.local_id) INTO fresh FROM (SELECT DISTINCT ON (b.local_id, b.found_at) b.* FROM unnest(batch) b
    WHERE b.local_id > (SELECT expired_up_to FROM recorders WHERE id = src)
      AND NOT EXISTS (SELECT 1 FROM there t WHERE t.local_id = b.local_id AND t.found_at IS NOT DISTINCT FROM b.found_at)) x;
  IF fresh IS NOT NULL AND to_regclass('camscout.found_media_sources_moving') IS NOT NULL THEN
    EXECUTE 'SELECT array_agg(b ORDER BY b.local_id) FROM unnest($1) b WHERE NOT EXISTS (SELECT 1 FROM
      camscout.found_media_sources_moving o WHERE o.store_id = $2 AND o.local_id = b.local_id AND o.found_at = b.found_at)'
      INTO fresh USING fresh, in_store;
  END IF;
  -- In order, so that facts begin with the first run that saw them.
  FOR g IN SELECT b.run_pid, b.run_started, array_agg(b ORDER BY b.local_id) AS rows FROM unnest(fresh) b
      GROUP BY 1, 2 ORDER BY min(b.local_id) LOOP
    -- The run's row locked until the call commits, so that expiry takes
    -- it with all its sightings or after them.
    INSERT INTO runs AS r (source, run_pid, run_started, at)
      VALUES (src, g.run_pid, g.run_started, CASE WHEN moved THEN run_time(g.run_started) ELSE now() END)
      ON CONFLICT (source, run_started, run_pid) DO UPDATE SET at = r.at RETURNING id INTO rid;
    seen_all := seen_all || add_run_sightings(src, rid, g.run_pid, g.run_started, g.rows);
  END LOOP;
  UPDATE facts f SET last_run = n.run, last_pid = n.run_pid, last_started = n.run_started, last_local = n.local_id,
      last_found_at = n.found_at
    FROM (SELECT DISTINCT ON (facts) * FROM unnest(seen_all) ORDER BY facts, local_id DESC) n
    WHERE f.id = n.facts AND n.local_id >= f.last_local;
  RETURN coalesce(cardinality(fresh), 0);
END $f$;
)";

// One run's new sightings: their facts found or made, one row of arrays;
// returns them as seen. The facts are looked up by MAC address, then
// compared whole.
static const char add_run_function[] = R"(
CREATE OR REPLACE FUNCTION camscout.add_run_sightings(src integer, rid bigint, pid bigint, started text,
  batch camscout.found[]) RETURNS camscout.seen[] LANGUAGE plpgsql SET search_path = camscout, pg_temp AS $f$
DECLARE seen_now seen[];
BEGIN
  INSERT INTO facts (source, mac_addr, ip_addr, port, model, model_id, brand_id, record, first_pid, first_started,
      last_run, last_pid, last_started, last_local, last_found_at)
    SELECT DISTINCT ON (b.mac_addr, b.ip_addr, b.port, b.model, b.model_id, b.brand_id, b.record)
      src, b.mac_addr, b.ip_addr, b.port, b.model, b.model_id, b.brand_id, b.record, pid, started, rid, pid, started,
      b.local_id, b.found_at
    FROM unnest(batch) b WHERE NOT EXISTS (SELECT 1 FROM facts f WHERE SAME_FACTS);
  SELECT array_agg(ROW(n.facts, n.local_id, rid, pid, started, n.found_at)::seen ORDER BY n.local_id) INTO seen_now
    FROM (SELECT DISTINCT ON (b.local_id) f.id AS facts, b.local_id, b.found_at FROM unnest(batch) b
          JOIN facts f ON SAME_FACTS ORDER BY b.local_id, f.id DESC) n;
  INSERT INTO sightings (source, first_local, last_local, run, local_ids, facts, at, odd_at)
    SELECT src, min(local_id), max(local_id), rid, array_agg(local_id ORDER BY local_id),
      array_agg(facts ORDER BY local_id), array_agg(time_tail(started, found_at) ORDER BY local_id),
      CASE WHEN bool_or(time_tail(started, found_at) IS NULL AND found_at IS NOT NULL) THEN
        array_agg(CASE WHEN time_tail(started, found_at) IS NULL THEN found_at END ORDER BY local_id) END
    FROM unnest(seen_now);
  RETURN seen_now;
END $f$;
)";

// What a recorder may call: the one way in, which only adds.
static const char forward_function[] = R"(
-- A source held by another session makes it fail in seconds, not wait.
CREATE OR REPLACE FUNCTION camscout.forward(in_store text, in_recorder text, in_name text, batch camscout.found[])
RETURNS bigint LANGUAGE sql SECURITY DEFINER SET search_path = camscout, pg_temp SET lock_timeout = '3s' AS $f$
  SELECT CASE WHEN cardinality(batch) > 0 THEN add_sightings(source_of(in_store, in_recorder, in_name), in_store,
    batch, false) ELSE 0 END $f$;
REVOKE ALL ON FUNCTION camscout.forward, camscout.add_sightings, camscout.add_run_sightings, camscout.source_of,
  camscout.run_time FROM PUBLIC;
)";

// The rows of an earlier version, moved a part at a time, oldest first;
// returns how many moved, 0 when none is left and the old table is gone.
static const char move_function[] = R"(
CREATE OR REPLACE FUNCTION camscout.move_step(max_rows integer) RETURNS bigint
LANGUAGE plpgsql SET search_path = camscout, pg_temp AS $f$
DECLARE g record; taken found[]; moved bigint := 0;
BEGIN
  -- One move at a time, by a lock that a role which may only read the
  -- version cannot take.
  LOCK TABLE camscout_schema IN EXCLUSIVE MODE;
  IF to_regclass('camscout.found_media_sources_moving') IS NULL THEN
    RETURN 0;
  END IF;
  LOOP
    EXECUTE 'SELECT store_id, recorder, recorder_name FROM found_media_sources_moving
      ORDER BY store_id, local_id, found_at LIMIT 1' INTO g;
    IF g IS NULL AND moved = 0 THEN
      DROP TABLE found_media_sources_moving CASCADE;
      PERFORM make_views();
    END IF;
    EXIT WHEN g IS NULL OR moved >= max_rows;
    -- Out of the old table first, so that the check for what is there
    -- already does not find them in it.
    EXECUTE 'WITH moved AS (DELETE FROM found_media_sources_moving WHERE ctid = ANY (ARRAY(SELECT ctid
        FROM found_media_sources_moving WHERE store_id = $1 AND recorder = $2 AND recorder_name = $3
        ORDER BY local_id, found_at LIMIT $4)) RETURNING *)
      SELECT array_agg(ROW(local_id, found_at, run_pid, model_id, model, ip_addr, mac_addr, brand_id, port, record,
        run_started)::found ORDER BY local_id) FROM moved'
      INTO taken USING g.store_id, g.recorder, g.recorder_name, max_rows - moved;
    PERFORM add_sightings(source_of(g.store_id, g.recorder, g.recorder_name), g.store_id, taken, true);
    moved := moved + cardinality(taken);
  END LOOP;
  RETURN moved;
END $f$;
REVOKE ALL ON FUNCTION camscout.move_step FROM PUBLIC;
)";

// Retention, a bounded step at a time: the oldest runs past keep_days go
// with their sightings, by the index of runs' times. Each device's facts
// stay, with their newest sighting. Returns how many runs went, 0 when
// none older is left.
static const char expire_function[] = R"(
CREATE OR REPLACE FUNCTION camscout.expire(keep_days integer, max_runs integer) RETURNS integer
LANGUAGE plpgsql SET search_path = camscout, pg_temp AS $f$
DECLARE old bigint[];
BEGIN
  SELECT array_agg(id) INTO old FROM (SELECT id FROM runs WHERE at < now() - keep_days * interval '1 day'
    ORDER BY at LIMIT max_runs) o;
  -- Their sources first, in order, as a forward takes its source and then
  -- its run; then the runs, which waits for a forward that holds one.
  PERFORM 1 FROM recorders WHERE id IN (SELECT source FROM runs WHERE id = ANY (old)) ORDER BY id FOR UPDATE;
  DELETE FROM runs WHERE id = ANY (old);
  WITH gone AS (DELETE FROM sightings WHERE run = ANY (old) RETURNING source, last_local)
  UPDATE recorders r SET expired_up_to = greatest(r.expired_up_to, m.up_to)
    FROM (SELECT source, max(last_local) AS up_to FROM gone GROUP BY 1) m WHERE r.id = m.source;
  RETURN coalesce(cardinality(old), 0);
END $f$;
REVOKE ALL ON FUNCTION camscout.expire FROM PUBLIC;
)";

// The views, with the rows not moved yet while there are any.
static const char views_function[] = R"(
CREATE OR REPLACE FUNCTION camscout.make_views() RETURNS void
LANGUAGE plpgsql SET search_path = camscout, pg_temp AS $f$
DECLARE moving text := CASE WHEN to_regclass('camscout.found_media_sources_moving') IS NULL THEN ''
  ELSE ' UNION ALL SELECT COLUMNS FROM found_media_sources_moving' END;
BEGIN
  -- Each set of facts with its newest sighting.
  CREATE OR REPLACE VIEW last_sightings AS SELECT r.recorder, r.recorder_name, r.store_id, f.last_local AS local_id,
    f.last_found_at AS found_at, f.last_pid AS run_pid, f.model_id, f.model, f.ip_addr, f.mac_addr, f.brand_id, f.port,
    f.record, f.last_started AS run_started, f.last_run
    FROM facts f JOIN recorders r ON r.id = f.source;
  -- Every sighting with its run's id, for the questions about runs.
  CREATE OR REPLACE VIEW run_sightings AS SELECT r.recorder, r.recorder_name, r.store_id, u.local_id,
    time_text(run.run_started, u.at, s.odd_at[u.i]) AS found_at, run.run_pid, f.model_id, f.model, f.ip_addr,
    f.mac_addr, f.brand_id, f.port, f.record, run.run_started, s.run
    FROM sightings s CROSS JOIN LATERAL unnest(s.local_ids, s.facts, s.at) WITH ORDINALITY AS u(local_id, facts, at, i)
    JOIN facts f ON f.id = u.facts JOIN runs run ON run.id = s.run JOIN recorders r ON r.id = s.source;
  EXECUTE 'CREATE OR REPLACE VIEW found_media_sources AS SELECT COLUMNS FROM run_sightings
    UNION ALL SELECT COLUMNS FROM last_sightings l WHERE NOT EXISTS (SELECT 1 FROM runs WHERE id = l.last_run)'
    || moving;
  EXECUTE 'CREATE OR REPLACE VIEW media_sources AS SELECT DISTINCT ON (recorder, mac_addr) * FROM
    (SELECT COLUMNS FROM last_sightings' || moving || ') n ORDER BY recorder, mac_addr, found_at DESC, local_id DESC';
  EXECUTE 'CREATE OR REPLACE VIEW media_sources_by_mac AS SELECT DISTINCT ON (mac_addr) * FROM
    (SELECT COLUMNS FROM last_sightings' || moving || ') n ORDER BY mac_addr, found_at DESC, local_id DESC';
END $f$;
REVOKE ALL ON FUNCTION camscout.make_views FROM PUBLIC;
)";

static const char view_columns[] = "recorder, recorder_name, store_id, local_id, found_at, run_pid, model_id,"
                                   " model, ip_addr, mac_addr, brand_id, port, record, run_started";

static const char same_facts[] =
    "f.source = src AND coalesce(f.mac_addr, '') = coalesce(b.mac_addr, '') AND coalesce(f.ip_addr, '') ="
    " coalesce(b.ip_addr, '') AND f.mac_addr IS NOT DISTINCT FROM b.mac_addr"
    " AND f.ip_addr IS NOT DISTINCT FROM b.ip_addr AND f.port IS NOT DISTINCT FROM b.port AND f.model IS NOT DISTINCT"
    " FROM b.model AND f.model_id IS NOT DISTINCT FROM b.model_id AND f.brand_id IS NOT DISTINCT FROM b.brand_id"
    " AND f.record IS NOT DISTINCT FROM b.record";

static void replace_all(std::string& text, const std::string& word, const std::string& by)
{
    for (std::size_t p; (p = text.find(word)) != std::string::npos;)
        text.replace(p, word.size(), by);
}

std::string central_setup_sql()
{
    std::string sql = setup_sql;
    replace_all(sql, "FUNCTIONS",
                std::string(time_functions) + source_function + add_run_function + add_function + forward_function +
                    move_function + expire_function + views_function);
    replace_all(sql, "VERSION", std::to_string(central_schema_version));
    replace_all(sql, "COLUMNS", view_columns);
    replace_all(sql, "SAME_FACTS", same_facts);
    return sql;
}

std::string central_forward_sql(std::size_t rows)
{
    static const char* const types[central_columns] = {"bigint", "text",    "bigint",  "bigint", "bytea", "text",
                                                       "text",   "integer", "integer", "bytea",  "text"};
    std::string sql = "SELECT camscout.forward($1, $2, $3, ARRAY[";
    for (std::size_t r = 0, n = central_forward_fixed; r < rows; ++r)
        for (int c = 0; c < central_columns; ++c)
            sql.append(c ? "," : r ? ")::camscout.found,(" : "(").append("$" + std::to_string(++n) + "::" + types[c]);
    return sql + (rows ? ")::camscout.found" : "") + "]::camscout.found[])";
}
