#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/central/central_connection.h"
#include "host/central/central_inventory.h"
#include "read_postgres.h"

// A reader waits longer than a recorder, but not for ever: the deadline
// moves on with every row, so a long listing is bounded by the server's
// silence, not by its length.
static const int read_budget_seconds = 30;

// Some of libpq's waits are beyond any deadline of ours: a service file's
// host name looked up, a password hash with as many rounds as the server
// asks. The alarm, a second after the newest deadline, which speaks first
// when it can, is the last wall.
static std::string alarm_line;
static int alarm_status = 1;

static void on_alarm(int)
{
    ssize_t written = write(STDERR_FILENO, alarm_line.data(), alarm_line.size());
    (void)written;
    _exit(alarm_status);
}

static central_deadline within(int seconds)
{
    signal(SIGALRM, on_alarm);
    alarm(static_cast<unsigned>(seconds) + 1);
    return {seconds};
}

// Connects by the deadline; when its alarm rings, the process ends with
// status and a line that adds more.
static PGconn* connect(const std::string& conninfo, const central_deadline& by, const char* more, int status,
                       std::string& why)
{
    alarm_line = "onvif_camscout_list: no answer from the central inventory within " + std::to_string(by.seconds) +
                 " s" + more + "\n";
    alarm_status = status;
    return central_connect(conninfo, "onvif_camscout_list", by, why);
}

// One statement; each row of its result, if any, handed to each.
static std::string exec(PGconn* pg, const central_statement& s, const result_sink& each, int& rows)
{
    std::string why;
    PGresult* r = central_exec(pg, s, within(read_budget_seconds), why);
    alarm(0);  // a reader of the output that pauses (a pager) is not the server's silence
    rows = r && PQresultStatus(r) == PGRES_TUPLES_OK ? PQntuples(r) : 0;
    result_row row(r ? static_cast<std::size_t>(PQnfields(r)) : 0);
    for (int i = 0; i < rows; ++i) {
        for (int c = 0; c < PQnfields(r); ++c)
            row[static_cast<std::size_t>(c)].assign(PQgetvalue(r, i, c), static_cast<std::size_t>(PQgetlength(r, i, c)));
        each(row);
    }
    PQclear(r);
    return why;
}

// In the snapshot, a question's rows from a cursor, a page at a time: the
// planner then picks a plan that gives the first rows soon (an index's
// order, not a sort of everything), and memory stays flat however many come.
static std::string run_query(PGconn* pg, const std::string& sql, const std::vector<std::string>& params,
                             const result_sink& each)
{
    bool paged = sql.rfind("SELECT", 0) == 0 && PQtransactionStatus(pg) == PQTRANS_INTRANS;
    central_statement s{paged ? "DECLARE page NO SCROLL CURSOR FOR " + sql : sql, {},
                        std::vector<int>(params.size(), 0), std::vector<int>(params.size(), 0)};
    for (const std::string& p : params)
        s.values.push_back(p.c_str());
    int rows = 0;
    std::string why = exec(pg, s, each, rows);
    for (rows = 1000; paged && why.empty() && rows == 1000;)
        why = exec(pg, {"FETCH 1000 FROM page", {}, {}, {}}, each, rows);
    return paged && why.empty() ? exec(pg, {"CLOSE page", {}, {}, {}}, each, rows) : why;
}

std::string open_central_store(const std::string& conninfo, store_reader& store, int failure_status)
{
    std::string why;
    std::shared_ptr<PGconn> pg(connect(conninfo, within(read_budget_seconds), "", failure_status, why), PQfinish);
    if (!pg)
        return why;
    store.query = [pg](const std::string& sql, const std::vector<std::string>& params, const result_sink& each) {
        return run_query(pg.get(), sql, params, each);
    };
    store.central = true;
    // A recorder is shown by its host name and the start of its identity.
    store.columns = "recorder_name || ' ' || left(recorder, 8), ip_addr, mac_addr, encode(model, 'hex'), found_at, port,"
                    " brand_id, model_id, local_id";
    store.order_all = "run, local_id";  // the order runs reached the inventory, by the index of runs
    store.order_newest = "recorder_name, recorder, ip_addr, found_at";
    store.snapshot = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
    store.runs = "SELECT r.id FROM runs r WHERE r.source = ANY (ARRAY(SELECT id FROM recorders WHERE recorder = $1))";
    // Whether a run saw a source before: by the run of the facts' first sighting, found by its start.
    store.run_rows = "SELECT " + store.columns + ", EXISTS (SELECT 1 FROM facts o JOIN recorders s ON s.id = o.source"
                     " WHERE s.recorder = $3 AND o.mac_addr = v.mac_addr AND o.model_id = v.model_id AND coalesce((SELECT"
                     " f.id FROM runs f WHERE f.source = o.source AND f.run_started = o.first_started AND f.run_pid ="
                     " o.first_pid), 0) < $2) FROM found_media_sources v WHERE v.run = $1 ORDER BY v.local_id";
    // The server gives up on a question when the reader would.
    return store.query("SET search_path TO camscout; SET statement_timeout = '" + std::to_string(read_budget_seconds) +
                           "s'", {}, [](const result_row&) {});
}

// An upgrade moves every row of the version before in one transaction.
static const int set_up_budget_seconds = 300;

// The count that one step of the expiry returns, or -1 with why; a schema
// without the function (undefined_function, invalid_schema_name: set up by
// an older release, or not at all) says so.
static long long count_of(PGconn* pg, const char* function, const central_statement& step, const central_deadline& by,
                          std::string& why)
{
    PGresult* r = central_exec(pg, step, by, why);
    bool read = r && PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1 && !PQgetisnull(r, 0, 0);
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    if (state && (std::strcmp(state, "42883") == 0 || std::strcmp(state, "3F000") == 0))
        why = std::string("it has no ") + function + " (the central schema is missing or older than version " +
              std::to_string(central_schema_version) + "): run onvif_camscout_list --central --setup first";
    long long n = read ? std::atoll(PQgetvalue(r, 0, 0)) : -1;
    PQclear(r);
    if (!read && why.empty())
        why = std::string(function) + " returned no count";
    return n;
}

// The version there, from the catalogue alone: nothing of the schema runs
// before central.sql has checked what it holds.
static const char version_there[] =
    "SELECT CASE WHEN to_regclass('public.camscout_schema') IS NOT NULL THEN 1 WHEN (SELECT relkind FROM pg_class"
    " WHERE oid = to_regclass('camscout.found_media_sources')) = 'r' THEN 2"
    " WHEN to_regclass('camscout.camscout_schema') IS NOT NULL THEN 3 ELSE 0 END";

std::string set_up_central(const std::string& conninfo, int& was)
{
    central_deadline by = within(set_up_budget_seconds);
    std::string why;
    PGconn* pg = connect(conninfo, by, "; the server may still be working on the set-up", 1, why);
    was = pg ? static_cast<int>(count_of(pg, "a version", {version_there, {}, {}, {}}, by, why)) : -1;
    // Several statements in one query are one transaction.
    std::string sql = (was == 1 ? central_from_v1_sql : was == 2 ? central_from_v2_sql : "") + std::string(central_sql);
    if (why.empty())
        PQclear(central_exec(pg, {sql, {}, {}, {}}, by, why));
    PQfinish(pg);
    return why;
}

// A step trims at most this many runs in one transaction, so that neither
// its time nor the locks it holds grow with the table; the steps go on for
// the set-up's budget, each with a deadline of its own.
static const int expire_step_runs = 200;
static const int expire_step_seconds = 120;

std::string expire_central(const std::string& conninfo, int keep_days, long long& trimmed, bool& done)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(set_up_budget_seconds);
    std::string why, days = std::to_string(keep_days), runs = std::to_string(expire_step_runs);
    PGconn* pg = connect(conninfo, within(expire_step_seconds), "; the server may still be working on a step of the expiry",
                         1, why);
    // As the schema's owner, whoever connects (the timer's unit connects as
    // postgres): the owner's functions and triggers never run as more.
    if (pg)
        PQclear(central_exec(pg, {"DO $$ BEGIN EXECUTE format('SET ROLE %I', (SELECT r.rolname FROM pg_namespace n"
                                  " JOIN pg_roles r ON r.oid = n.nspowner WHERE n.nspname = 'camscout')); END $$", {}, {}, {}},
                             within(expire_step_seconds), why));
    trimmed = 0;
    done = false;
    // A step returns the runs it removed, or -1 when a forward held each
    // recorder due: back to them in a moment, ten times, then the next day.
    central_statement step{"SELECT camscout.expire($1::integer, $2::integer)", {days.c_str(), runs.c_str()}, {0, 0}, {0, 0}};
    for (int busy = 0; pg && why.empty() && !done && busy < 10 && std::chrono::steady_clock::now() < end;) {
        long long n = count_of(pg, "camscout.expire", step, within(expire_step_seconds), why);
        if (!why.empty())
            break;
        trimmed += n > 0 ? n : 0;
        done = n == 0;
        busy = n == -1 ? busy + 1 : 0;
        if (n == -1)
            PQclear(central_exec(pg, {"SELECT pg_sleep(1)", {}, {}, {}}, within(expire_step_seconds), why));
    }
    PQfinish(pg);
    return why;
}
