// The central inventory, read as the rows of many recorders.
#include <libpq-fe.h>

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
    " encode(model, 'hex'), found_at, port, brand_id, model_id >> 32, model_id & 4294967295 FROM ";

std::string read_central_rows(const std::string& conninfo, bool all, std::vector<source_row>& rows)
{
    const char* keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char* values[] = {conninfo.c_str(), "10", "onvif_camscout_list", nullptr};
    PGconn* pg = PQconnectdbParams(keys, values, 1);
    std::string sql = std::string(central_query) +
                      (all ? "found_media_sources ORDER BY recorder, local_id"
                           : "media_sources ORDER BY recorder_name, recorder, ip_addr, local_id");
    PGresult* r = PQstatus(pg) == CONNECTION_OK ? PQexec(pg, sql.c_str()) : nullptr;
    std::string why = PQresultStatus(r) == PGRES_TUPLES_OK ? "" : PQerrorMessage(pg);
    for (int i = 0; why.empty() && i < PQntuples(r); ++i) {
        auto text = [&](int c) { return std::string(PQgetvalue(r, i, c), static_cast<std::size_t>(PQgetlength(r, i, c))); };
        auto number = [&](int c) { return PQgetisnull(r, i, c) ? 0LL : std::stoll(text(c)); };
        rows.push_back({text(0), text(1), number(2), text(3), text(4), hex_bytes(text(5)), text(6), number(7),
                        number(8), number(9), number(10)});
    }
    PQclear(r);
    PQfinish(pg);
    return why.substr(0, why.find('\n'));
}
