# A PostgreSQL server of the test's own, in $work/pg, run as the postgres
# user and listening only on a Unix socket there. The database "inventory"
# belongs to postgres, which sets up the central schema as the README says;
# the recorder role "camscout" has the README's grants only, its password in
# $work/pgpass.
# Sourced after lib.sh (or with $work set); stopped when the shell exits.
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | tail -1)
[ -x "$bin/initdb" ] || { echo "SKIPPED: the PostgreSQL server is not installed (scripts/install-deps)"; exit 77; }
pg=$work/pg
as_pg() { runuser -u postgres -- "$@"; }
pg_ctl() { as_pg "$bin/pg_ctl" -D "$pg/data" -l "$pg/server.log" -w -t 30 "$@" >/dev/null; }
# After a kill the old server's processes take a moment to be gone.
start_server() { for i in 1 2 3 4 5; do pg_ctl start 2>/dev/null && return; sleep 1; done; echo "FAILED: server start"; }
q() { as_pg env PGOPTIONS="-c search_path=camscout,public" "$bin/psql" -h "$pg" -d inventory -AtqX -c "$1"; }
# Seconds from the worker's stop to the exit line of the last run in a log:
# the pause, the final store and, with it, forwarding.
end_span() { awk '/stop recv thread/ { split($1, a, "T"); s = a[2] } /exit\(0\)/ { split($1, b, "T"); e = b[2] }
  END { split(s, x, ":"); split(e, y, ":"); printf "%.2f", (y[1] * 3600 + y[2] * 60 + y[3]) - (x[1] * 3600 + x[2] * 60 + x[3]) }' "$1"; }

chmod 711 "$work"
mkdir -p "$pg" && chown postgres "$pg"
as_pg "$bin/initdb" -D "$pg/data" -U postgres >/dev/null 2>&1
printf 'local all postgres peer\nlocal all all scram-sha-256\n' >"$pg/data/pg_hba.conf"
printf "listen_addresses = ''\nunix_socket_directories = '%s'\n" "$pg" >>"$pg/data/postgresql.conf"
start_server
trap 'pg_ctl stop -m immediate 2>/dev/null; rm -rf "$work" "$work"-*' EXIT
as_pg "$bin/psql" -h "$pg" -d postgres -qX -c "CREATE ROLE camscout LOGIN PASSWORD 'right-horse-battery'" \
  -c "CREATE DATABASE inventory" >/dev/null
as_pg env CAMSCOUT_CENTRAL="host=$pg dbname=inventory user=postgres" "$build/onvif_camscout_list" --central --setup >/dev/null
q "GRANT USAGE ON SCHEMA camscout TO camscout; GRANT SELECT ON camscout.camscout_schema TO camscout;
   GRANT INSERT ON camscout.found_media_sources TO camscout"
echo "$pg:5432:inventory:camscout:right-horse-battery" >"$work/pgpass" && chmod 600 "$work/pgpass"
# The list tool reads as the owner: a recorder role cannot read the rows.
as_owner() { as_pg env CAMSCOUT_CENTRAL="host=$pg dbname=inventory user=postgres" "$@"; }
export PGPASSFILE=$work/pgpass CAMSCOUT_CENTRAL="host=$pg dbname=inventory user=camscout"
