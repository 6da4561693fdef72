-- A store as the first version wrote it: no run_started, no user_version.
CREATE TABLE found_media_sources ( id INTEGER PRIMARY KEY, found_at TEXT, run_pid INTEGER, model_id INTEGER, model TEXT, ip_addr TEXT, mac_addr TEXT, brand_id INTEGER, port INTEGER, record BLOB);
CREATE VIEW media_sources AS SELECT * FROM found_media_sources WHERE id IN (SELECT MAX(id) FROM found_media_sources GROUP BY mac_addr);
INSERT INTO found_media_sources (found_at, run_pid, model_id, model, ip_addr, mac_addr, brand_id, port) VALUES
  ('2026-01-01T00:00:00.100Z', 4001, (139 << 32) | 42, 'VIGI-C340I', '10.77.2.10', '02:c6:00:00:02:0a', 139, 80),
  ('2026-01-01T00:00:00.200Z', 4001, (31 << 32) | 862, 'DS-2CD2187G2H', '10.77.2.11', '02:c6:00:00:02:0b', 31, 80),
  ('2026-01-02T00:00:00.100Z', 4002, (139 << 32) | 42, 'VIGI-C340I', '10.77.2.10', '02:c6:00:00:02:0a', 139, 80),
  ('2026-01-02T00:00:00.300Z', 4002, (44 << 32) | 6, 'Old camera', '10.77.2.99', '02:c6:00:00:02:99', 44, 80);
