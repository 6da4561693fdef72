// The central schema, made or migrated by the database's owner, once per
// version: recorders only check its version and insert. In the schema
// "camscout", so that two grants give a recorder role all it needs.
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
  ELSIF v IS NULL THEN
    CREATE TABLE camscout.found_media_sources (store_id text NOT NULL, local_id bigint NOT NULL,
      found_at text NOT NULL, recorder text NOT NULL, recorder_name text NOT NULL, run_pid bigint,
      model_id bigint, model bytea, ip_addr text, mac_addr text, brand_id integer, port integer,
      record bytea, run_started text, PRIMARY KEY (store_id, local_id, found_at));
  ELSIF v = 1 THEN
    -- Its rows were kept by recorder and local id; a migrated store takes
    -- the recorder's name as its identity, so they keep their key.
    ALTER TABLE camscout.found_media_sources ADD COLUMN store_id text;
    UPDATE camscout.found_media_sources SET store_id = recorder, found_at = coalesce(found_at, '');
    ALTER TABLE camscout.found_media_sources ALTER store_id SET NOT NULL, ALTER found_at SET NOT NULL,
      DROP CONSTRAINT found_media_sources_pkey, ADD PRIMARY KEY (store_id, local_id, found_at);
  END IF;
  DELETE FROM camscout.camscout_schema;
  INSERT INTO camscout.camscout_schema VALUES (VERSION);
END $$;
-- What the views and the list tool's questions look for: a recorder's or
-- a MAC address's newest row, and a recorder's runs.
CREATE INDEX IF NOT EXISTS found_media_sources_newest ON camscout.found_media_sources
  (recorder, mac_addr, found_at DESC, local_id DESC);
CREATE INDEX IF NOT EXISTS found_media_sources_newest_by_mac ON camscout.found_media_sources
  (mac_addr, found_at DESC, local_id DESC);
CREATE INDEX IF NOT EXISTS found_media_sources_runs ON camscout.found_media_sources (recorder, run_started, run_pid);
CREATE OR REPLACE VIEW camscout.media_sources AS SELECT DISTINCT ON (recorder, mac_addr) COLUMNS
  FROM camscout.found_media_sources ORDER BY recorder, mac_addr, found_at DESC, local_id DESC;
CREATE OR REPLACE VIEW camscout.media_sources_by_mac AS SELECT DISTINCT ON (mac_addr) COLUMNS
  FROM camscout.found_media_sources ORDER BY mac_addr, found_at DESC, local_id DESC;
COMMIT;)";

static const char view_columns[] = "recorder, recorder_name, store_id, local_id, found_at, run_pid, model_id,"
                                   " model, ip_addr, mac_addr, brand_id, port, record, run_started";

static void replace_all(std::string& text, const std::string& word, const std::string& by)
{
    for (std::size_t p; (p = text.find(word)) != std::string::npos;)
        text.replace(p, word.size(), by);
}

std::string central_setup_sql()
{
    std::string sql = setup_sql;
    replace_all(sql, "VERSION", std::to_string(central_schema_version));
    replace_all(sql, "COLUMNS", view_columns);
    return sql;
}

std::string central_insert_sql(std::size_t rows)
{
    std::string sql =
        "INSERT INTO camscout.found_media_sources (store_id, local_id, found_at, recorder, recorder_name, run_pid,"
        " model_id, model, ip_addr, mac_addr, brand_id, port, record, run_started) VALUES ";
    for (std::size_t row = 0, n = 0; row < rows; ++row)
        for (int column = 0; column < central_columns; ++column)
            sql.append(column ? "," : row ? "),(" : "(").append("$").append(std::to_string(++n));
    return sql + (rows ? ")" : "") + " ON CONFLICT DO NOTHING";
}
