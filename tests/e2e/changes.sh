#!/usr/bin/env bash
# What changed between runs, from stores made by real runs in the lab: a
# store of the first version is migrated by a run, a second run follows with
# the fleet changed, and onvif_camscout_list shows the changes (the runs it
# picks from a real store) and a table and CSV of device texts that went
# through a real run. The kinds of change and the escapes have unit tests.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
cases=$here/changes
list=$build/onvif_camscout_list
sqlite3 "$work/store.db" <"$cases/old_store.sql"
export CAMSCOUT_RETENTION_DAYS=0  # the old store's runs are months old: keep them
for fleet in fleet1 fleet2; do
  "$top/scripts/lab" --fleet "$cases/$fleet.json" --daemon "$build/onvif_camscout_short_run" --run-seconds 12 \
    --work "$work" --quiet >/dev/null || { echo "FAILED: lab"; failures=$((failures + 1)); }
done
# The found_at times and the run's own MAC addresses vary; the rest is fixed.
shown() { "$list" --store "$work/store.db" "$@" | sed -E 's/20[0-9]{2}-[0-9T:.-]+Z/TIME/g'; }
{
  echo "== the first version's runs, migrated: grouped by process, from their first row"
  sqlite3 "$work/store.db" "PRAGMA user_version; SELECT DISTINCT run_pid, run_started FROM found_media_sources WHERE run_pid IN (4001, 4002)"
  for args in "--changes" "--changes --since 2026-01-01T12:00" "" "--csv"; do
    echo "== onvif_camscout_list $args"
    shown $args
    echo "exit ${PIPESTATUS[0]}"
  done
} >"$work/shown.txt" 2>&1
check "changes, tables and CSV as expected" diff -u "$cases/expected.txt" "$work/shown.txt"
for args in "--json" "--changes --json"; do
  check "valid JSON from $args" python3 -c 'import json, sys; json.load(sys.stdin)' < <("$list" --store "$work/store.db" $args)
done
check "the exact bytes of a text that is not UTF-8 in JSON" \
  grep -q '"model_hex": "426164fffe6e616d65"' <("$list" --store "$work/store.db" --json)
sqlite3 "$work/empty.db" <<<"$(head -3 "$cases/old_store.sql")"
check "no change: exit 0" "$list" --changes --store "$work/empty.db"
"$list" --store "$work/nothing.db" >/dev/null 2>&1; missing=$?
"$list" --changes --store "$work/nothing.db" >/dev/null 2>&1; missing_changes=$?
"$list" --changes --since yesterday >/dev/null 2>&1; bad_since=$?
check "a missing store: 1 for the listing, 2 for the changes; a bad time: 2" [ "$missing $missing_changes $bad_since" = "1 2 2" ]
finish
