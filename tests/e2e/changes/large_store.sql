-- 300 runs of the same 1000 cameras, ten minutes apart, for old_store.sql's tables.
WITH RECURSIVE r(run) AS (SELECT 0 UNION ALL SELECT run + 1 FROM r WHERE run < 299),
  c(cam) AS (SELECT 0 UNION ALL SELECT cam + 1 FROM c WHERE cam < 999)
INSERT INTO found_media_sources (found_at, run_pid, model_id, model, ip_addr, mac_addr, brand_id, port, record)
  SELECT strftime('%Y-%m-%dT%H:%M:%f', '2026-01-01', '+' || (run * 600 + cam * 0.05) || ' seconds') || 'Z',
    1000 + run, (31 << 32) | 862, 'DS-2CD2187G2H', '10.0.' || (cam / 256) || '.' || (cam % 256),
    printf('02:c6:00:00:%02x:%02x', cam / 256, cam % 256), 31, 80, zeroblob(256)
  FROM r, c ORDER BY run, cam;
