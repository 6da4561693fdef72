#!/usr/bin/env bash
# Forwarding to a real PostgreSQL server that this test starts in its work
# folder, as the postgres user, listening only on a Unix socket there. Two
# recorders forward into it; the server is stopped, killed in the middle of
# forwarding, stalled, held by a reader and given a wrong password between
# runs; a store is deleted and two share a recorder name: every row ends up
# there exactly once, byte for byte, and no password reaches any output.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
cases=$here/central
source "$here/pg.sh"
shown_central="user=camscout dbname=inventory host=$pg"

run() {  # run DIR FLEET: one 12-second run of recorder $recorder (default DIR), into its store there
  mkdir -p "$work/$1"
  CAMSCOUT_RECORDER=${recorder:-$1} "$top/scripts/lab" --fleet "$cases/$2.json" --daemon "$build/onvif_camscout_short_run" \
    --run-seconds 12 --work "$work/$1" --quiet >>"$work/lab-output.txt" 2>&1 || echo "FAILED: lab run of $1"
}
last_forward() { grep -F '[msas]' "$work/$1/log" | tail -1 | sed 's/^[^]]*] //'; }
local_ids() { sqlite3 "$work/$1/store.db" "SELECT group_concat(id) FROM (SELECT id FROM found_media_sources ORDER BY id)"; }
central_ids() { q "SELECT string_agg(local_id::text, ',' ORDER BY local_id) FROM found_media_sources WHERE store_id =
  '$(sqlite3 "$work/$1/store.db" "SELECT id FROM store_identity")'"; }

run rec-a fleet_a
run rec-b fleet_b
line=$(last_forward rec-a)
check "a recorder's rows forwarded, with a line that shows no password" \
  [ "${line% in *s}" = "[msas] 5 found media sources forwarded to $shown_central" ]
check "the central views show both recorders, and the camera that moved where it is now" [ "$(q \
  "SELECT string_agg(recorder || ' ' || n, ' ') FROM (SELECT recorder, count(*) n FROM media_sources GROUP BY 1 ORDER BY 1) c;
   SELECT recorder || ' ' || ip_addr FROM media_sources_by_mac WHERE mac_addr = '02:c7:00:00:03:5a'" | tr '\n' ';')" \
  = "rec-a 5 rec-b 3;rec-b 10.77.3.24;" ]
check "quotes, a line feed and bytes that are not UTF-8 round-trip" [ "$(sqlite3 "$work/rec-a/store.db" \
  "SELECT lower(hex(model)) FROM found_media_sources WHERE mac_addr = '02:c7:00:00:03:0d'")" = \
  "$(q "SELECT encode(model, 'hex') FROM found_media_sources WHERE mac_addr = '02:c7:00:00:03:0d'")" ]
as_owner "$build/onvif_camscout_list" --central >"$work/central-list.txt"
check "the reader shows the central inventory with a recorder column" \
  [ "$(grep -c "^RECORDER\|$(hostname) rec-[ab]" "$work/central-list.txt")" = 9 ]
as_owner "$build/onvif_camscout_list" --changes --csv --central >"$work/central-changes.txt"
check "and what changed, per recorder" [ "$?$(grep -c "rec-[ab],new," "$work/central-changes.txt")" = 18 ]

q "CREATE TABLE camscout.stray (); ALTER TABLE camscout.stray OWNER TO camscout"
check "--setup refuses a table that another role owns, in one line" [ "$(as_owner "$build/onvif_camscout_list" --central \
  --setup 2>&1 | grep -c "camscout.stray belongs to camscout and not to postgres")" = 1 ]
q "DROP TABLE camscout.stray"

pg_ctl stop
run rec-a fleet_a
check "a server that is down: one line, and the rows wait" grep -q "cannot forward to $shown_central: .*; 5 found media sources wait for a later run" "$work/rec-a/log"
start_server
run rec-a fleet_a
line=$(last_forward rec-a)
check "the next run forwards them, oldest first" \
  [ "${line% in *s}" = "[msas] 10 found media sources forwarded to $shown_central" ]

# Each insert takes a while; the server is killed while the run forwards.
q "CREATE FUNCTION slow() RETURNS trigger AS \$\$ BEGIN PERFORM pg_sleep(0.5); RETURN NEW; END \$\$ LANGUAGE plpgsql;
   CREATE TRIGGER slow BEFORE INSERT ON found_media_sources FOR EACH ROW EXECUTE FUNCTION slow()"
run rec-a fleet_a &
lab=$!
for i in $(seq 400); do
  [ "$(q "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'onvif_camscout' AND state = 'active'" 2>/dev/null)" = 1 ] && break
  sleep 0.1
done
postmaster=$(head -1 "$pg/data/postmaster.pid")
kill -9 "$postmaster"
pkill -9 -P "$postmaster"
wait "$lab"

check "a server killed while forwarding: the rows wait" grep -q "5 found media sources wait for a later run" "$work/rec-a/log"
start_server
q "DROP TRIGGER slow ON found_media_sources"
run rec-a fleet_a
check "then every row is there exactly once" [ "$(local_ids rec-a)" = "$(central_ids rec-a)" ]
check "and marked forwarded locally" [ "$(sqlite3 "$work/rec-a/store.db" "SELECT count(*) FROM found_media_sources WHERE forwarded = 0")" = 0 ]

# A server that completes start-up, then reads nothing; a second recorder
# with rec-a's name, rec-c, forwards there.
mkdir -p "$work/stall"
"$here/pg_stall.py" "$work/stall/.s.PGSQL.5432" $$ &
stall=$!
CAMSCOUT_CENTRAL="host=$work/stall dbname=inventory user=camscout" recorder=rec-a run rec-c fleet_b
kill "$stall"
check "a stalled server: one line, and the rows wait" grep -q "cannot forward to user=camscout dbname=inventory \
host=$work/stall: no answer within 5 s; 3 found media sources wait for a later run" "$work/rec-c/log"
span=$(end_span "$work/rec-c/log")
check "and it costs at most the 5 s budget (worker stop to exit: $span s)" awk -v s="$span" 'BEGIN { exit !(s < 9) }'

PGAPPNAME=reader as_pg "$bin/psql" -h "$pg" -d inventory -qX -c "BEGIN; SELECT count(*) FROM camscout.media_sources,
  camscout.media_sources_by_mac; SELECT pg_sleep(1800)" >/dev/null 2>&1 &
reader=$!
readers() { q "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'reader' AND state = 'active'"; }
for i in $(seq 50); do [ "$(readers)" = 1 ] && break; sleep 0.1; done
before=$(q "SELECT count(*) FROM found_media_sources WHERE recorder = 'rec-a'")
recorder=rec-a run rec-c fleet_b
check "a reader holding the views does not block the next run, which forwards everything" \
  [ "$(readers) $(last_forward rec-c | sed 's/ in .*//')" = "1 [msas] 6 found media sources forwarded to $shown_central" ]
q "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'reader'" >/dev/null
wait "$reader"
rm "$work/rec-a/store.db"*
run rec-a fleet_a
check "a deleted store and two recorders of one name: every row central exactly once" [ "$(local_ids rec-a) $(local_ids rec-c) \
$((before + 11))" = "$(central_ids rec-a) $(central_ids rec-c) $(q "SELECT count(*) FROM found_media_sources WHERE recorder = 'rec-a'")" ]

q "UPDATE camscout_schema SET version = 3"
run rec-b fleet_b
q "UPDATE camscout_schema SET version = 2"
check "a central schema newer than the recorder writes: one line, and the rows wait" grep -q "cannot forward to .*: \
the central schema is version 3, this recorder writes version 2 .*; 3 found media sources wait" "$work/rec-b/log"

CAMSCOUT_CENTRAL="postgresql://camscout:p%zzwrong-secret-123@/inventory?host=$pg" "$build/onvif_camscout_list" --central 2>"$work/list.txt"
check "a URI that cannot be read: the reader says so, without it" grep -q \
  "^onvif_camscout_list: cannot read the central inventory at (a connection string that cannot be read): invalid percent-encoded token" "$work/list.txt"
CAMSCOUT_CENTRAL="$CAMSCOUT_CENTRAL password=wrong-secret-123" run rec-b fleet_b
check "a wrong password: a clear line" grep -q 'cannot forward to .*password authentication failed for user "camscout"' "$work/rec-b/log"
check "and the run is unaffected" [ "$(sqlite3 "$work/rec-b/store.db" "SELECT count(*) FROM found_media_sources")" = 9 ]
check "no password in any output" bash -c "! grep -r -a -l -e wrong-secret-123 -e right-horse-battery '$work' --exclude=pgpass --exclude-dir=pg"
finish
