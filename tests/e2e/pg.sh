# For the test "central" and bench/central: a PostgreSQL server of its own,
# as the postgres user, on a Unix socket in $work/pg only, stopped when the
# shell exits. postgres owns the database "inventory" and sets the schema up;
# the recorder role "camscout" has the grants of docs/operating.md only (pgpass: $work).
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$bin/initdb" ] || { echo "SKIPPED: the PostgreSQL server is not installed (scripts/install-deps)"; exit 77; }
pg=$work/pg
as_pg() { runuser -u postgres -- "$@"; }
pg_ctl() { as_pg "$bin/pg_ctl" -D "$pg/data" -l "$pg/server.log" -w -t 30 "$@" >/dev/null; }
# After a kill the old server's processes take a moment to be gone.
start_server() { for i in 1 2 3 4 5; do pg_ctl start 2>/dev/null && return; sleep 1; done; echo "FAILED: server start"; }
q() { as_pg env PGOPTIONS="-c search_path=camscout,public" "$bin/psql" -h "$pg" -d inventory -AtqX -c "$1"; }
chmod 711 "$work"
mkdir -p "$pg" && chown postgres "$pg"
as_pg "$bin/initdb" -D "$pg/data" -U postgres >/dev/null 2>&1
printf 'local all postgres peer\nlocal all all scram-sha-256\n' >"$pg/data/pg_hba.conf"
printf "listen_addresses = ''\nunix_socket_directories = '%s'\n" "$pg" >>"$pg/data/postgresql.conf"
start_server
trap 'pg_ctl stop -m immediate 2>/dev/null; rm -rf "$work" "$work"-*' EXIT
as_pg "$bin/psql" -h "$pg" -d postgres -qX -f - -c "CREATE DATABASE inventory" >/dev/null \
  <<<"CREATE ROLE camscout LOGIN PASSWORD 'right-horse-battery'"  # on no command line
as_pg env CAMSCOUT_CENTRAL="host=$pg dbname=inventory user=postgres" "$build/onvif_camscout_list" --central --setup >/dev/null
q "GRANT USAGE ON SCHEMA camscout TO camscout; GRANT SELECT ON camscout.camscout_schema TO camscout;
   GRANT EXECUTE ON FUNCTION camscout.forward TO camscout"
echo "$pg:5432:inventory:camscout:right-horse-battery" >"$work/pgpass" && chmod 600 "$work/pgpass"
# The list tool reads as the owner: a recorder role cannot read the rows.
as_owner() { as_pg env CAMSCOUT_CENTRAL="host=$pg dbname=inventory user=postgres" "$@"; }
export PGPASSFILE=$work/pgpass CAMSCOUT_CENTRAL="host=$pg dbname=inventory user=camscout"

# recorder NAME [FLEET]: the next runs are recorder NAME's, in a folder of its own.
recorder() { fresh "$1"; export CAMSCOUT_RECORDER=$1; [ -z "${2:-}" ] || fleet "$2"; }
# once: every row of the recorder's store is central exactly once, and marked forwarded.
once() {
  check "every row central exactly once, and marked forwarded" [ "$(q "SELECT string_agg(local_id::text, ',' ORDER BY local_id)
    FROM found_media_sources WHERE store_id = '$(sqlite3 "$dir/store.db" "SELECT id FROM store_identity")'") 0" = \
    "$(sqlite3 "$dir/store.db" "SELECT group_concat(id) || ' ' || sum(forwarded = 0) FROM (SELECT * FROM found_media_sources ORDER BY id)")" ]
}
# A run whose server is killed while it forwards, each insert slowed so that
# the kill comes in the middle; then the server back as it was.
kill_server_while_forwarding() {
  q "CREATE FUNCTION slow() RETURNS trigger AS \$\$ BEGIN PERFORM pg_sleep(1); RETURN NEW; END \$\$ LANGUAGE plpgsql;
     CREATE TRIGGER slow BEFORE INSERT ON sightings FOR EACH ROW EXECUTE FUNCTION slow()"
  lab &
  local run=$! postmaster i
  for i in $(seq 400); do
    [ "$(q "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'onvif_camscout' AND state = 'active'" 2>/dev/null)" = 1 ] && break
    sleep 0.1
  done
  postmaster=$(head -1 "$pg/data/postmaster.pid")
  kill -9 "$postmaster"
  pkill -9 -P "$postmaster"
  wait "$run"
  start_server
  q "DROP TRIGGER slow ON sightings; DROP FUNCTION slow()"
}
