// The central inventory for a generic Linux host, on PostgreSQL. Device
// texts are bytes: the model and the record go as bytea, so that any byte
// round-trips whatever the database's encoding.
#include "host/store/central_inventory.h"

#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "host/settings/settings.h"
#include "host/store/sqlite_query.h"

// Created on first connect; each recorder's rows are kept once by
// (recorder, local_id), however often a batch is sent again.
static const char central_schema[] =
    "BEGIN;"
    "SELECT pg_advisory_xact_lock(4762013);"  // two recorders' first connects at once
    "CREATE TABLE IF NOT EXISTS camscout_schema (version integer NOT NULL);"
    "CREATE TABLE IF NOT EXISTS found_media_sources ("
    " recorder text NOT NULL, recorder_name text NOT NULL, local_id bigint NOT NULL,"
    " found_at text, run_pid bigint, model_id bigint, model bytea, ip_addr text, mac_addr text,"
    " brand_id integer, port integer, record bytea, run_started text, PRIMARY KEY (recorder, local_id));"
    "CREATE OR REPLACE VIEW media_sources AS SELECT DISTINCT ON (recorder, mac_addr) * FROM found_media_sources"
    " ORDER BY recorder, mac_addr, found_at DESC, local_id DESC;"
    "CREATE OR REPLACE VIEW media_sources_by_mac AS SELECT DISTINCT ON (mac_addr) * FROM found_media_sources"
    " ORDER BY mac_addr, found_at DESC, local_id DESC;"
    "INSERT INTO camscout_schema SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM camscout_schema);"
    "COMMIT;";

static const char central_insert_head[] =
    "INSERT INTO found_media_sources (recorder, recorder_name, local_id, found_at, run_pid, model_id, model,"
    " ip_addr, mac_addr, brand_id, port, record, run_started) VALUES ";
static const char central_insert_tail[] = " ON CONFLICT (recorder, local_id) DO NOTHING";

static const char local_unforwarded[] =
    "SELECT id, found_at, run_pid, model_id, model, ip_addr, mac_addr, brand_id, port, record, run_started"
    " FROM found_media_sources WHERE forwarded = 0 ORDER BY id LIMIT 500";

// Forwarding ends the run, so it has a budget of its own.
static const auto forward_budget = std::chrono::seconds(5);

std::string conninfo_for_display(const std::string& conninfo)
{
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    PQfreemem(error);
    if (options == nullptr)
        return "(a connection string that cannot be read)";
    std::string shown;
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o)
        if (o->val != nullptr && *o->val != '\0' && std::string(o->keyword) != "password")
            shown.append(shown.empty() ? "" : " ").append(o->keyword).append("=").append(o->val);
    PQconninfoFree(options);
    return shown;
}

static std::string first_line(const char* message)
{
    std::string text = message ? message : "";
    return text.substr(0, text.find('\n'));
}

static PGconn* connect_central(const std::string& conninfo, std::string& why)
{
    const char* keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char* values[] = {conninfo.c_str(), "3", "onvif_camscout", nullptr};
    PGconn* pg = PQconnectdbParams(keys, values, 1);
    if (PQstatus(pg) != CONNECTION_OK) {
        why = first_line(PQerrorMessage(pg));
        PQfinish(pg);
        return nullptr;
    }
    PGresult* r = PQexec(pg, "SET statement_timeout = '3s'");
    PQclear(r);
    r = PQexec(pg, central_schema);
    bool ready = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    if (!ready) {
        why = "cannot set up the central tables: " + first_line(PQerrorMessage(pg));
        PQfinish(pg);
        return nullptr;
    }
    return pg;
}

// One local row as the central insert's parameters; model and record as bytes.
struct central_row {
    long long local_id;
    std::vector<std::optional<std::string>> values;  // local_id to run_started, in order; SQL NULL as none
};

static std::optional<std::string> column_bytes(sqlite3_stmt* st, int i)
{
    if (sqlite3_column_type(st, i) == SQLITE_NULL)
        return std::nullopt;
    const char* b = static_cast<const char*>(sqlite3_column_blob(st, i));
    return std::string(b ? b : "", static_cast<std::size_t>(sqlite3_column_bytes(st, i)));
}

static std::vector<central_row> unforwarded_batch(sqlite3* local)
{
    std::vector<central_row> batch;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(local, local_unforwarded, -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW) {
            central_row row{sqlite3_column_int64(st, 0), {}};
            for (int i = 0; i < 11; ++i)
                row.values.push_back(column_bytes(st, i));
            batch.push_back(row);
        }
    sqlite3_finalize(st);
    return batch;
}

// The batch as one statement, which is one transaction: a single round
// trip, however far the server is. Returns what failed, or "".
static std::string insert_batch(PGconn* pg, const std::vector<central_row>& batch)
{
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    const std::optional<std::string> recorder = settings().recorder, name = std::string(host);
    std::string sql = central_insert_head;
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const central_row& row : batch) {
        sql += values.empty() ? "(" : ",(";
        std::vector<const std::optional<std::string>*> params = {&recorder, &name};
        for (const auto& value : row.values)
            params.push_back(&value);
        for (std::size_t i = 0; i < params.size(); ++i) {
            const std::optional<std::string>& text = *params[i];
            values.push_back(text ? text->data() : nullptr);
            lengths.push_back(text ? static_cast<int>(text->size()) : 0);
            formats.push_back(i == 6 || i == 11 ? 1 : 0);  // model and record as bytes
            sql.append(i ? ",$" : "$").append(std::to_string(values.size()));
        }
        sql += ")";
    }
    sql += central_insert_tail;
    PGresult* r = PQexecParams(pg, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                               lengths.data(), formats.data(), 0);
    std::string why = PQresultStatus(r) == PGRES_COMMAND_OK ? "" : first_line(PQerrorMessage(pg));
    PQclear(r);
    return why;
}

static void mark_forwarded(sqlite3* local, const std::vector<central_row>& batch)
{
    std::string sql = "UPDATE found_media_sources SET forwarded = 1 WHERE forwarded = 0 AND id BETWEEN " +
                      std::to_string(batch.front().local_id) + " AND " + std::to_string(batch.back().local_id);
    sqlite3_exec(local, sql.c_str(), nullptr, nullptr, nullptr);
}

void forward_to_central(sqlite3* local, const std::string& conninfo)
{
    auto started = std::chrono::steady_clock::now(), give_up = started + forward_budget;
    std::string why;
    long long forwarded = 0;
    if (PGconn* pg = connect_central(conninfo, why)) {
        for (auto batch = unforwarded_batch(local); !batch.empty(); batch = unforwarded_batch(local)) {
            if (std::chrono::steady_clock::now() >= give_up)
                why = "out of time";
            if (!why.empty() || !(why = insert_batch(pg, batch)).empty())
                break;
            mark_forwarded(local, batch);
            forwarded += static_cast<long long>(batch.size());
        }
        PQfinish(pg);
    }
    std::string shown = conninfo_for_display(conninfo);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    if (why.empty())
        log_Debug("[msas] %lld found media sources forwarded to %s in %.2f s", forwarded, shown.c_str(), took.count());
    else
        log_Debug("[msas] cannot forward to %s: %s; %lld found media sources wait for a later run", shown.c_str(),
                  why.c_str(), sqlite_integer(local, "SELECT count(*) FROM found_media_sources WHERE forwarded = 0", 0));
}
