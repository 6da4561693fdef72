// The central inventory, read as the rows of many recorders.
#include <libpq-fe.h>

#include <memory>

#include "rows.h"

static std::string first_line(const char* message)
{
    std::string text = message ? message : "";
    return text.substr(0, text.find('\n'));
}

// One row at a time, so that memory stays flat however many rows come.
static std::string run_query(PGconn* pg, const std::string& sql, const std::vector<std::string>& params,
                             const result_sink& each)
{
    std::vector<const char*> values;
    for (const std::string& p : params)
        values.push_back(p.c_str());
    if (!PQsendQueryParams(pg, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr,
                           0) ||
        !PQsetSingleRowMode(pg))
        return first_line(PQerrorMessage(pg));
    std::string why;
    result_row row;
    while (PGresult* r = PQgetResult(pg)) {
        ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_SINGLE_TUPLE && why.empty()) {
            row.resize(static_cast<std::size_t>(PQnfields(r)));
            for (std::size_t c = 0; c < row.size(); ++c)
                row[c].assign(PQgetvalue(r, 0, static_cast<int>(c)),
                              static_cast<std::size_t>(PQgetlength(r, 0, static_cast<int>(c))));
            each(row);
        } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && status != PGRES_SINGLE_TUPLE) {
            why = first_line(PQresultErrorMessage(r));
        }
        PQclear(r);
    }
    return why;
}

std::string open_central_store(const std::string& conninfo, store_reader& store)
{
    const char* keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char* values[] = {conninfo.c_str(), "10", "onvif_camscout_list", nullptr};
    std::shared_ptr<PGconn> pg(PQconnectdbParams(keys, values, 1), PQfinish);
    if (PQstatus(pg.get()) != CONNECTION_OK)
        return first_line(PQerrorMessage(pg.get()));
    store.query = [pg](const std::string& sql, const std::vector<std::string>& params, const result_sink& each) {
        return run_query(pg.get(), sql, params, each);
    };
    store.central = true;
    // A recorder is shown by its host name and the start of its identity.
    store.columns = "recorder_name || ' ' || left(recorder, 8), ip_addr, mac_addr, encode(model, 'hex'), found_at, port,"
                    " brand_id, model_id >> 32, model_id & 4294967295";
    store.order_all = "recorder, local_id";
    store.order_newest = "recorder_name, recorder, ip_addr, local_id";
    store.snapshot = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
    store.id = "local_id";
    return "";
}
