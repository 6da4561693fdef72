-- The central inventory's schema, version 3, made or brought up to date by
-- its owner in one transaction, as onvif_camscout_list --central --setup does:
--   psql -v ON_ERROR_STOP=1 --single-transaction -d inventory -f central.sql
-- From an earlier version, its central_from_vN.sql goes first in it.
--
-- Recorders check the version and add sightings through camscout.forward,
-- the one function they may call. Compact as the local store is: a device's
-- facts once per change and recorder, with their newest sighting; each run
-- once; a run's sightings as arrays, a few bytes each.
SET LOCAL lock_timeout = '10s';
CREATE SCHEMA IF NOT EXISTS camscout;
-- Set-up and expiry one at a time, on a table in a schema of the owner's
-- that no role is granted: PostgreSQL locks what a statement names before
-- it checks the grants, so a recorder must not be able to name it.
CREATE SCHEMA IF NOT EXISTS camscout_owner;
CREATE TABLE IF NOT EXISTS camscout_owner.owner_lock ();
LOCK TABLE camscout_owner.owner_lock;
DROP FUNCTION IF EXISTS camscout.move_step, camscout.make_views,
  camscout.add_sightings(integer, text, camscout.found[], boolean), camscout.add_run_sightings;
DROP TYPE IF EXISTS camscout.seen;

-- Whatever runs as the owner here must be the owner's: no trigger, rule or
-- policy on its tables, no function it does not make, nothing of another
-- role's in the schema. Then the version: one this file knows, made once.
CREATE TABLE IF NOT EXISTS camscout.camscout_schema (version integer NOT NULL);
DO $$
DECLARE foreign_objects text; v integer;
  tables oid[] := ARRAY(SELECT oid FROM pg_class WHERE relnamespace = 'camscout'::regnamespace);
BEGIN
  SELECT string_agg(pg_describe_object(class, id, 0) || coalesce(' belongs to ' || quote_ident(pg_get_userbyid(owner))
      || ' and not to ' || quote_ident(current_user), ', which set-up did not make'), '; ' ORDER BY 1) INTO foreign_objects
  FROM (SELECT 'pg_namespace'::regclass, oid, nspowner FROM pg_namespace WHERE nspname IN ('camscout', 'camscout_owner')
        UNION ALL SELECT 'pg_class'::regclass, oid, relowner FROM pg_class WHERE oid = ANY (tables)
        UNION ALL SELECT 'pg_proc'::regclass, oid, CASE WHEN proname IN ('forward', 'source_of', 'add_sightings',
            'time_tail', 'time_text', 'run_time', 'expire') THEN proowner END
          FROM pg_proc WHERE pronamespace = 'camscout'::regnamespace
        UNION ALL SELECT 'pg_type'::regclass, oid, typowner FROM pg_type WHERE typnamespace = 'camscout'::regnamespace
          AND typrelid = 0 AND typcategory <> 'A'
        UNION ALL SELECT 'pg_trigger'::regclass, oid, NULL FROM pg_trigger WHERE NOT tgisinternal AND tgrelid = ANY (tables)
        UNION ALL SELECT 'pg_rewrite'::regclass, oid, NULL FROM pg_rewrite WHERE rulename <> '_RETURN'
          AND ev_class = ANY (tables)
        UNION ALL SELECT 'pg_policy'::regclass, oid, NULL FROM pg_policy WHERE polrelid = ANY (tables)) x(class, id, owner)
  WHERE pg_get_userbyid(owner) IS DISTINCT FROM current_user;
  IF foreign_objects IS NOT NULL THEN
    RAISE EXCEPTION 'not set up, as the schema holds what set-up would run as its owner: %', foreign_objects;
  END IF;
  v := (SELECT max(version) FROM camscout.camscout_schema);  -- once nothing of another role's can run
  IF v > 3 THEN
    RAISE EXCEPTION 'the central schema is version %, newer than this program knows (3)', v;
  ELSIF to_regclass('public.camscout_schema') IS NOT NULL OR v < 3 AND to_regclass('camscout.found_media_sources_moving') IS NULL THEN
    RAISE EXCEPTION 'the central schema is version %: central_from_v%.sql goes first', coalesce(v, 1), coalesce(v, 1);
  ELSIF to_regclass('camscout.sightings') IS NOT NULL THEN
    RETURN;  -- made before: nothing here is changed, so no lock is taken that a forward holds
  END IF;
  CREATE TYPE camscout.found AS (local_id bigint, found_at text, run_pid bigint, model_id bigint, model bytea,
    ip_addr text, mac_addr text, brand_id integer, port integer, record bytea, run_started text);
  -- Who forwards: a store's identity, under a recorder's identity and host
  -- name; expired_up_to: the highest local id that expiry removed, below
  -- which nothing sent again is taken back.
  CREATE TABLE camscout.recorders (id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY, store_id text NOT NULL,
    recorder text NOT NULL, recorder_name text NOT NULL, expired_up_to bigint NOT NULL DEFAULT 0,
    UNIQUE (store_id, recorder, recorder_name));
  -- id: the order runs reached the inventory; at: when, by the server's
  -- clock, as a recorder's may be wrong (a run moved from an earlier
  -- version: its start, if that reads as a time and is not ahead).
  CREATE TABLE camscout.runs (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, source integer NOT NULL,
    run_pid bigint, run_started text, at timestamptz NOT NULL, UNIQUE NULLS NOT DISTINCT (source, run_started, run_pid));
  CREATE INDEX runs_by_time ON camscout.runs (at);
  -- Each call moves its facts' newest sighting on: room on the page, and no
  -- index on what changes, keep that update beside the old row.
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
END $$;

-- A sighting's time as kept: the tail of its text past what it shares with
-- its run's start, or the whole text (odd_at) where the two differ in
-- length; and back. Plain SQL, so that the planner inlines them.
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

-- The recorder and store that a batch comes from, made on first sight and
-- locked until the call commits: one store's batches one at a time, as the
-- same sighting twice at once would otherwise pass both checks. Made
-- again when expiry removed it meanwhile (a store with no run left).
CREATE OR REPLACE FUNCTION camscout.source_of(in_store text, in_recorder text, in_name text) RETURNS integer
LANGUAGE plpgsql SET search_path = camscout, pg_temp AS $f$
DECLARE s integer;
BEGIN
  LOOP
    INSERT INTO recorders (store_id, recorder, recorder_name) VALUES (in_store, in_recorder, in_name) ON CONFLICT DO NOTHING;
    SELECT id INTO s FROM recorders WHERE store_id = in_store AND recorder = in_recorder AND recorder_name = in_name
      FOR UPDATE;
    EXIT WHEN FOUND;
  END LOOP;
  RETURN s;
END $f$;

-- Adds the rows not there already (by source, local id and time) and says
-- how many: a run's sightings of the call as one row of arrays, in order of
-- local id; their facts found by MAC and IP address and compared whole, or
-- made, and moved on to their newest sighting once for the whole call.
CREATE OR REPLACE FUNCTION camscout.add_sightings(src integer, batch camscout.found[], moved boolean)
RETURNS bigint LANGUAGE plpgsql SET search_path = camscout, pg_temp AS $f$
DECLARE fresh found[]; lo bigint; hi bigint;
BEGIN
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
  -- The runs' rows in order of their first sighting, locked until the call
  -- commits, so that expiry takes a run with all its sightings or after them.
  WITH run AS (INSERT INTO runs AS r (source, run_pid, run_started, at)
        SELECT src, run_pid, run_started, CASE WHEN moved THEN run_time(run_started) ELSE now() END FROM unnest(fresh)
          GROUP BY run_pid, run_started ORDER BY min(local_id)
        ON CONFLICT (source, run_started, run_pid) DO UPDATE SET at = r.at RETURNING id, run_pid, run_started),
    b AS (SELECT b.*, run.id AS run, (SELECT max(f.id) FROM facts f WHERE f.source = src
          AND coalesce(f.mac_addr, '') = coalesce(b.mac_addr, '') AND coalesce(f.ip_addr, '') = coalesce(b.ip_addr, '')
          AND (f.mac_addr, f.ip_addr, f.port, f.model, f.model_id, f.brand_id, f.record)
            IS NOT DISTINCT FROM (b.mac_addr, b.ip_addr, b.port, b.model, b.model_id, b.brand_id, b.record)) AS facts
        FROM unnest(fresh) b JOIN run ON (run.run_pid, run.run_started) IS NOT DISTINCT FROM (b.run_pid, b.run_started)),
    -- New facts begin with the first run that saw them.
    made AS (INSERT INTO facts (source, mac_addr, ip_addr, port, model, model_id, brand_id, record, first_pid,
          first_started, last_run, last_pid, last_started, last_local, last_found_at)
        SELECT DISTINCT ON (mac_addr, ip_addr, port, model, model_id, brand_id, record) src, mac_addr, ip_addr, port,
          model, model_id, brand_id, record, first_value(run_pid) OVER w, first_value(run_started) OVER w, run, run_pid,
          run_started, local_id, found_at
        FROM b WHERE facts IS NULL WINDOW w AS (PARTITION BY mac_addr, ip_addr, port, model, model_id, brand_id, record
          ORDER BY local_id) ORDER BY mac_addr, ip_addr, port, model, model_id, brand_id, record, local_id DESC
        RETURNING id, mac_addr, ip_addr, port, model, model_id, brand_id, record),
    moved_on AS (UPDATE facts f SET last_run = n.run, last_pid = n.run_pid, last_started = n.run_started,
          last_local = n.local_id, last_found_at = n.found_at
        FROM (SELECT DISTINCT ON (facts) * FROM b ORDER BY facts, local_id DESC) n
        WHERE f.id = n.facts AND n.local_id >= f.last_local)
  INSERT INTO sightings (source, first_local, last_local, run, local_ids, facts, at, odd_at)
    SELECT src, min(local_id), max(local_id), run, array_agg(local_id ORDER BY local_id), array_agg(facts ORDER BY local_id),
      array_agg(tail ORDER BY local_id), CASE WHEN bool_or(tail IS NULL AND found_at IS NOT NULL) THEN
        array_agg(CASE WHEN tail IS NULL THEN found_at END ORDER BY local_id) END
    FROM (SELECT DISTINCT ON (b.run, b.local_id) b.run, b.local_id, b.found_at, coalesce(b.facts, m.id) AS facts,
            time_tail(b.run_started, b.found_at) AS tail
          FROM b LEFT JOIN made m ON b.facts IS NULL AND (m.mac_addr, m.ip_addr, m.port, m.model, m.model_id, m.brand_id,
            m.record) IS NOT DISTINCT FROM (b.mac_addr, b.ip_addr, b.port, b.model, b.model_id, b.brand_id, b.record)
          ORDER BY b.run, b.local_id, 4 DESC) s
    GROUP BY run;
  RETURN coalesce(cardinality(fresh), 0);
END $f$;

-- What a recorder may call: the one way in, which only adds, and no more
-- than a recorder sends: 1000 rows and 1 MB a call (else SQLSTATE 54000),
-- each no longer than its record holds (else 22001, the row's local id as
-- the detail). A refused call keeps nothing. A store held by another
-- session makes it fail in seconds, not wait.
CREATE OR REPLACE FUNCTION camscout.forward(in_store text, in_recorder text, in_name text, batch camscout.found[])
RETURNS bigint LANGUAGE plpgsql SECURITY DEFINER SET search_path = camscout, pg_temp SET lock_timeout = '3s' AS $f$
DECLARE bad record;
BEGIN
  IF cardinality(batch) > 1000 OR pg_column_size(batch) > 1000000 THEN
    RAISE EXCEPTION 'a call adds at most 1000 rows in 1000000 bytes, not % in %', cardinality(batch),
      pg_column_size(batch) USING ERRCODE = 'program_limit_exceeded';
  END IF;
  SELECT b.local_id, f.* INTO bad FROM unnest(batch) b, LATERAL (VALUES ('record', octet_length(b.record), 256),
      ('model', octet_length(b.model), 64), ('ip_addr', octet_length(b.ip_addr), 16),
      ('mac_addr', octet_length(b.mac_addr), 24), ('found_at', octet_length(b.found_at), 24),
      ('run_started', octet_length(b.run_started), 24), ('store', octet_length(in_store), 64),
      ('recorder', octet_length(in_recorder), 256), ('recorder_name', octet_length(in_name), 256)) f(field, size, most)
    WHERE f.size > f.most LIMIT 1;
  IF FOUND THEN
    RAISE EXCEPTION 'the row of local id % has a % of % bytes, more than a recorder''s %', bad.local_id, bad.field,
      bad.size, bad.most USING ERRCODE = 'string_data_right_truncation', DETAIL = bad.local_id;
  END IF;
  RETURN CASE WHEN cardinality(batch) > 0 THEN add_sightings(source_of(in_store, in_recorder, in_name), batch, false)
    ELSE 0 END;
END $f$;

-- Retention, a bounded step at a time: the oldest runs past keep_days, found
-- by the index of runs' times, go with their sightings; once none is left,
-- the facts whose newest sighting went, and the stores with no run left. A
-- store whose forward is open is passed over, so that no wait holds another
-- store's row: -1 when each one due was, for the caller to come back; else
-- how many runs went, 0 once none older is left.
CREATE OR REPLACE FUNCTION camscout.expire(keep_days integer, max_runs integer) RETURNS integer
LANGUAGE plpgsql SET search_path = camscout, pg_temp SET lock_timeout = '10s' AS $f$
DECLARE due bigint[]; held integer[]; old bigint[]; busy integer[] := '{}';
BEGIN
  LOCK TABLE camscout_owner.owner_lock;
  LOOP
    SELECT array_agg(id) INTO due FROM (SELECT id FROM runs WHERE at < now() - keep_days * interval '1 day'
      AND source <> ALL (busy) ORDER BY at LIMIT max_runs) o;
    SELECT array_agg(id) INTO held FROM (SELECT id FROM recorders WHERE id IN (SELECT source FROM runs WHERE id = ANY (due))
      ORDER BY id FOR UPDATE SKIP LOCKED) h;
    SELECT array_agg(id) INTO old FROM runs WHERE id = ANY (due) AND source = ANY (held);
    EXIT WHEN due IS NULL OR old IS NOT NULL;
    busy := busy || ARRAY(SELECT DISTINCT source FROM runs WHERE id = ANY (due));
  END LOOP;
  IF old IS NULL THEN
    -- None left: of the recorders that no forward holds, locked in a statement
    -- before the deletes so that they see each one's last forward whole.
    SELECT array_agg(id) INTO held FROM (SELECT id FROM recorders ORDER BY id FOR UPDATE SKIP LOCKED) h;
    DELETE FROM facts f WHERE f.source = ANY (held) AND NOT EXISTS (SELECT 1 FROM runs WHERE id = f.last_run);
    DELETE FROM recorders r WHERE r.id = ANY (held) AND NOT EXISTS (SELECT 1 FROM runs WHERE source = r.id)
      AND NOT EXISTS (SELECT 1 FROM facts WHERE source = r.id);
    RETURN CASE WHEN busy = '{}' THEN 0 ELSE -1 END;
  END IF;
  DELETE FROM runs WHERE id = ANY (old);
  WITH gone AS (DELETE FROM sightings WHERE run = ANY (old) RETURNING source, last_local)
  UPDATE recorders r SET expired_up_to = greatest(r.expired_up_to, m.up_to)
    FROM (SELECT source, max(last_local) AS up_to FROM gone GROUP BY 1) m WHERE r.id = m.source;
  RETURN cardinality(old);
END $f$;
REVOKE ALL ON FUNCTION camscout.forward, camscout.add_sightings, camscout.source_of,
  camscout.run_time, camscout.expire FROM PUBLIC;

-- The views keep the columns of every version before. Made once (or
-- remade from a release that read them through run_sightings): a recorder
-- can hold a lock on them, and replacing them would wait for it.
DO $$
BEGIN
  IF to_regclass('camscout.media_sources_by_mac') IS NOT NULL AND to_regclass('camscout.run_sightings') IS NULL THEN
    RETURN;
  END IF;
  -- Each set of facts with its newest sighting:
  CREATE OR REPLACE VIEW camscout.last_sightings AS SELECT r.recorder, r.recorder_name, r.store_id,
    f.last_local AS local_id, f.last_found_at AS found_at, f.last_pid AS run_pid, f.model_id, f.model, f.ip_addr,
    f.mac_addr, f.brand_id, f.port, f.record, f.last_started AS run_started, f.last_run
    FROM camscout.facts f JOIN camscout.recorders r ON r.id = f.source;
  -- Every sighting, and run: the order in which its run reached the inventory.
  CREATE OR REPLACE VIEW camscout.found_media_sources AS SELECT r.recorder, r.recorder_name, r.store_id, u.local_id,
    camscout.time_text(run.run_started, u.at, s.odd_at[u.i]) AS found_at, run.run_pid, f.model_id, f.model, f.ip_addr,
    f.mac_addr, f.brand_id, f.port, f.record, run.run_started, s.run
    FROM camscout.sightings s CROSS JOIN LATERAL unnest(s.local_ids, s.facts, s.at) WITH ORDINALITY AS u(local_id, facts, at, i)
    JOIN camscout.facts f ON f.id = u.facts JOIN camscout.runs run ON run.id = s.run
    JOIN camscout.recorders r ON r.id = s.source;
  -- The newest per recorder and MAC address, and per MAC address.
  CREATE OR REPLACE VIEW camscout.media_sources AS SELECT DISTINCT ON (recorder, mac_addr) recorder, recorder_name,
    store_id, local_id, found_at, run_pid, model_id, model, ip_addr, mac_addr, brand_id, port, record, run_started
    FROM camscout.last_sightings ORDER BY recorder, mac_addr, found_at DESC, local_id DESC;
  CREATE OR REPLACE VIEW camscout.media_sources_by_mac AS SELECT DISTINCT ON (mac_addr) *
    FROM camscout.media_sources ORDER BY mac_addr, found_at DESC, local_id DESC;
  DROP VIEW IF EXISTS camscout.run_sightings;
END $$;

-- The rows of an earlier version, set aside by its central_from_vN.sql,
-- moved in run by run. The roles that could add them forward now, with
-- the grants of a recorder role.
DO $$
DECLARE g record;
BEGIN
  IF to_regclass('camscout.found_media_sources_moving') IS NULL THEN
    RETURN;
  END IF;
  FOR g IN SELECT DISTINCT a.grantee FROM pg_class c, aclexplode(c.relacl) a
      WHERE c.oid = 'camscout.found_media_sources_moving'::regclass AND a.privilege_type = 'INSERT' LOOP
    EXECUTE format('GRANT USAGE ON SCHEMA camscout TO %1$s; GRANT SELECT ON camscout.camscout_schema TO %1$s;'
      ' GRANT EXECUTE ON FUNCTION camscout.forward TO %1$s',
      CASE WHEN g.grantee = 0 THEN 'PUBLIC' ELSE quote_ident(pg_get_userbyid(g.grantee)) END);
  END LOOP;
  FOR g IN SELECT coalesce(store_id, recorder) AS store_id, recorder, recorder_name, array_agg(ROW(local_id,
        coalesce(found_at, ''), run_pid, model_id, model, ip_addr, mac_addr, brand_id, port, record, run_started)::camscout.found
        ORDER BY local_id) AS rows
      FROM camscout.found_media_sources_moving GROUP BY 1, 2, 3, run_started, run_pid ORDER BY 1, 2, 3, min(local_id) LOOP
    PERFORM camscout.add_sightings(camscout.source_of(g.store_id, g.recorder, g.recorder_name), g.rows, true);
  END LOOP;
  DROP TABLE camscout.found_media_sources_moving;
END $$;
DELETE FROM camscout.camscout_schema;
INSERT INTO camscout.camscout_schema VALUES (3);
