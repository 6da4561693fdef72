// The central inventory, read as the rows of many recorders.
#include "host/store/central_connection.h"
#include "rows.h"

static std::string hex_bytes(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// A recorder is shown by its host name and the start of its identity.
static const char central_query[] =
    "SELECT recorder_name || ' ' || left(recorder, 8), coalesce(run_started, ''), run_pid, ip_addr, mac_addr,"
    " encode(model, 'hex'), found_at, port, brand_id, model_id >> 32, model_id & 4294967295 FROM camscout.";

// A reader waits longer than a recorder, but not for ever.
static const int read_budget_seconds = 30;

static central_deadline read_deadline()
{
    return {std::chrono::steady_clock::now() + std::chrono::seconds(read_budget_seconds), read_budget_seconds};
}

std::string read_central_rows(const std::string& conninfo, bool all, std::vector<source_row>& rows)
{
    central_deadline by = read_deadline();
    std::string why;
    PGconn* pg = central_connect(conninfo, "onvif_camscout_list", by, why);
    std::string sql = std::string(central_query) +
                      (all ? "found_media_sources ORDER BY recorder, found_at, local_id"
                           : "media_sources ORDER BY recorder_name, recorder, ip_addr, found_at");
    PGresult* r = pg ? central_exec(pg, conninfo, {sql, {}, {}, {}}, by, why) : nullptr;
    for (int i = 0; PQresultStatus(r) == PGRES_TUPLES_OK && i < PQntuples(r); ++i) {
        auto text = [&](int c) { return std::string(PQgetvalue(r, i, c), static_cast<std::size_t>(PQgetlength(r, i, c))); };
        auto number = [&](int c) { return PQgetisnull(r, i, c) ? 0LL : std::stoll(text(c)); };
        rows.push_back({text(0), text(1), number(2), text(3), text(4), hex_bytes(text(5)), text(6), number(7),
                        number(8), number(9), number(10)});
    }
    PQclear(r);
    PQfinish(pg);
    return why;
}

std::string set_up_central(const std::string& conninfo, const std::string& sql)
{
    central_deadline by = read_deadline();
    std::string why;
    PGconn* pg = central_connect(conninfo, "onvif_camscout_list", by, why);
    PGresult* r = pg ? central_exec(pg, conninfo, {sql, {}, {}, {}}, by, why) : nullptr;
    PQclear(r);
    PQfinish(pg);
    return why;
}
