// The central inventory for a generic Linux host, on PostgreSQL. Device
// texts are bytes: the model and the record go as bytea, so that any byte
// round-trips whatever the database's encoding. The schema belongs to the
// database's owner (onvif_camscout_list --central --setup); a recorder only
// checks its version and adds rows through the one function it may call.
#include "host/central/central_inventory.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "host/settings/settings.h"
#include "host/central/central_connection.h"
#include "host/central/central_schema.h"

static const char local_unforwarded[] =
    "SELECT id, coalesce(found_at, ''), run_pid, model_id, model, ip_addr, mac_addr, brand_id, port, record,"
    " run_started FROM found_media_sources WHERE id > (SELECT up_to FROM forwarding) ORDER BY id LIMIT 500";

// One local row, the columns of local_unforwarded, as the central insert
// binds them: texts as SQLite gives them (the model and the record as
// bytes); SQL NULL as none.
struct local_row {
    long long id;
    std::optional<std::string> local_id, found_at, run_pid, model_id, model, ip_addr, mac_addr, brand_id, port, record,
        run_started;
};

// Who forwards: the store's identity, the recorder's, and the host's name
// for people to read. Optional only to be bound as a row's texts are.
struct forwarder {
    std::optional<std::string> store_id, recorder, recorder_name;
};

static std::optional<std::string> column_bytes(sqlite3_stmt* st, int i)
{
    if (sqlite3_column_type(st, i) == SQLITE_NULL)
        return std::nullopt;
    const char* b = static_cast<const char*>(sqlite3_column_blob(st, i));
    return std::string(b ? b : "", static_cast<std::size_t>(sqlite3_column_bytes(st, i)));
}

static std::vector<local_row> unforwarded_batch(sqlite3* local)
{
    std::vector<local_row> batch;
    sqlite3_stmt* st = nullptr;
    auto c = [&](int i) { return column_bytes(st, i); };
    if (sqlite3_prepare_v2(local, local_unforwarded, -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW)
            batch.push_back({.id = sqlite3_column_int64(st, 0), .local_id = c(0), .found_at = c(1), .run_pid = c(2),
                             .model_id = c(3), .model = c(4), .ip_addr = c(5), .mac_addr = c(6), .brand_id = c(7),
                             .port = c(8), .record = c(9), .run_started = c(10)});
    sqlite3_finalize(st);
    return batch;
}

// The batch as one call, which is one transaction: a single round trip,
// however far the server is. Its parameters point into the rows, in the
// order of central_forward_sql's.
static central_statement forward_statement(const std::vector<local_row>& batch, const forwarder& who)
{
    central_statement s{central_forward_sql(batch.size()), {}, {}, {}};
    auto add = [&](const std::optional<std::string>& text, bool bytes) {
        s.values.push_back(text ? text->data() : nullptr);
        s.lengths.push_back(text ? static_cast<int>(text->size()) : 0);
        s.formats.push_back(bytes ? 1 : 0);
    };
    for (const std::optional<std::string>* text : {&who.store_id, &who.recorder, &who.recorder_name})
        add(*text, false);
    for (const local_row& r : batch)
        for (const std::optional<std::string>* text : {&r.local_id, &r.found_at, &r.run_pid, &r.model_id, &r.model,
                                                        &r.ip_addr, &r.mac_addr, &r.brand_id, &r.port, &r.record,
                                                        &r.run_started})
            add(*text, text == &r.model || text == &r.record);
    return s;
}

// The schema must be the one this recorder writes; it never changes it.
static std::string check_schema(PGconn* pg, const central_deadline& by)
{
    std::string why;
    PGresult* r = central_exec(pg, {"SELECT max(version) FROM camscout.camscout_schema", {}, {}, {}}, by, why);
    bool read = r && PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
    int version = read ? std::atoi(PQgetvalue(r, 0, 0)) : 0;
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    bool missing = state && std::string(state) == "42P01";  // undefined_table
    PQclear(r);
    // Older: its owner sets it up; newer: this recorder is the one behind.
    std::string advice = read && version > central_schema_version
                             ? " (a release of this program that writes it forwards there)"
                             : " (its owner sets it up with onvif_camscout_list --central --setup)";
    if (missing || (read && version != central_schema_version))
        return "the central schema is " + (missing ? std::string("missing") : "version " + std::to_string(version)) +
               ", this recorder writes version " + std::to_string(central_schema_version) + advice;
    return read ? "" : why.empty() ? "cannot read the central schema's version" : why;
}

struct forward_counts {
    long long sent = 0, kept = 0;
};

static std::string forward_batches(sqlite3* local, const std::string& store_id, PGconn* pg, const central_deadline& by,
                                   forward_counts& n)
{
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    const forwarder who{store_id, settings().recorder, std::string(host)};
    if (store_id.empty())
        return "the local store has no identity";
    // A batch that cannot end before the deadline is not begun: the server
    // would do its work and commit it after the run has given up on it.
    std::chrono::steady_clock::duration last{};
    for (auto batch = unforwarded_batch(local); !batch.empty(); batch = unforwarded_batch(local)) {
        auto begun = std::chrono::steady_clock::now();
        if (begun >= by.at)
            return "out of time after " + std::to_string(by.seconds) + " s";
        if (begun + last >= by.at)
            return "out of time: less of the " + std::to_string(by.seconds) + " s left than a batch takes";
        std::string why;
        PGresult* r = central_exec(pg, forward_statement(batch, who), by, why);
        last = std::chrono::steady_clock::now() - begun;
        bool confirmed = r && PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
        long long kept = confirmed ? std::atoll(PQgetvalue(r, 0, 0)) : 0;
        PQclear(r);
        if (!confirmed)
            return why;
        n.sent += static_cast<long long>(batch.size());
        n.kept += kept;
        why = store_mark_forwarded(local, batch.back().id, by.at);
        if (!why.empty())
            return "cannot mark what the server has in the local store, it goes again and is kept once: " + why;
    }
    return "";
}

std::string store_mark_forwarded(sqlite3* db, long long last,
                                 std::chrono::steady_clock::time_point by)
{
    std::string sql = "UPDATE forwarding SET up_to = " + std::to_string(last) + " WHERE up_to < " + std::to_string(last);
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(by - std::chrono::steady_clock::now()).count();
    sqlite3_busy_timeout(db, static_cast<int>(std::clamp<long long>(left, 0, 3600000)));
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK ? "" : sqlite3_errmsg(db);
}

static long long waiting_rows(sqlite3* local)
{
    sqlite3_stmt* st = nullptr;
    long long n = 0;
    if (sqlite3_prepare_v2(local, "SELECT count(*) FROM sightings WHERE id > (SELECT up_to FROM forwarding)", -1, &st, nullptr) ==
            SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
}

void forward_to_central(sqlite3* local, const std::string& store_id, const std::string& conninfo)
{
    auto started = std::chrono::steady_clock::now();
    central_deadline by{started + std::chrono::seconds(central_forward_budget_seconds),
                        central_forward_budget_seconds};
    std::string why;
    forward_counts n;
    if (PGconn* pg = central_connect(conninfo, "onvif_camscout", by, why)) {
        why = check_schema(pg, by);
        if (why.empty())
            why = forward_batches(local, store_id, pg, by, n);
        PQfinish(pg);
    }
    std::string shown = conninfo_for_display(conninfo);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::string already = n.sent > n.kept ? ", " + std::to_string(n.sent - n.kept) + " of them there already" : "";
    if (why.empty())
        log_Debug("[msas] %lld found media sources forwarded to %s in %.2f s%s", n.sent, shown.c_str(), took.count(),
                  already.c_str());
    else
        log_Debug("[msas] cannot forward to %s: %s; %s%lld found media sources wait for a later run", shown.c_str(),
                  why.c_str(), n.sent ? (std::to_string(n.sent) + " forwarded, ").c_str() : "", waiting_rows(local));
}
