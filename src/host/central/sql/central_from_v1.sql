-- The central schema from version 1, which recorders made in public: set
-- aside for central.sql to move in. Run as the database's owner, with
-- central.sql after it, in one transaction:
--   psql -v ON_ERROR_STOP=1 --single-transaction -d inventory -f central_from_v1.sql -f central.sql
SET LOCAL lock_timeout = '10s';
CREATE SCHEMA IF NOT EXISTS camscout;
DROP VIEW public.media_sources, public.media_sources_by_mac;
DROP TABLE public.camscout_schema;
ALTER TABLE public.found_media_sources SET SCHEMA camscout;
ALTER TABLE camscout.found_media_sources RENAME TO found_media_sources_moving;
-- Its rows were kept by recorder and local id; a store that forwarded them
-- takes the recorder's name as its identity.
ALTER TABLE camscout.found_media_sources_moving ADD COLUMN store_id text;
