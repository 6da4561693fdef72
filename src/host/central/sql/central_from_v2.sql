-- The central schema from version 2, a row per sighting: set aside for
-- central.sql to move in. Run as the database's owner, with central.sql
-- after it, in one transaction:
--   psql -v ON_ERROR_STOP=1 --single-transaction -d inventory -f central_from_v2.sql -f central.sql
SET LOCAL lock_timeout = '10s';
DROP VIEW camscout.media_sources, camscout.media_sources_by_mac;
ALTER TABLE camscout.found_media_sources RENAME TO found_media_sources_moving;
