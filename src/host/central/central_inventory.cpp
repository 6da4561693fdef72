#include "host/central/central_inventory.h"

#include <unistd.h>

#include <cstdlib>

#include "host/log/logger.h"
#include "platform/platform.h"
#include "host/settings/settings.h"
#include "host/central/central_connection.h"

// Who forwards: the store's identity, the recorder's, and the host's name
// for people to read; bound as a row's texts are.
using forwarder = std::optional<std::string>[3];

// The batch as one call, which is one transaction: a single round trip,
// however far the server is. camscout.forward takes the store's identity,
// the recorder's and its host name, then a row's columns as camscout.found
// orders them, which types each parameter. The parameters point into the
// rows; the model (4) and the record (9) go as bytes, so that any byte
// round-trips whatever the database's encoding.
static central_statement forward_statement(const std::vector<forward_row>& batch, const forwarder& who)
{
    central_statement s{"SELECT camscout.forward($1, $2, $3, ARRAY[", {}, {}, {}};
    for (std::size_t r = 0, n = 3; r < batch.size(); ++r)
        for (int c = 0; c < central_columns; ++c)
            s.sql.append(c ? "," : r ? ")::camscout.found,(" : "(").append("$" + std::to_string(++n));
    s.sql += ")::camscout.found]::camscout.found[])";  // never empty
    auto add = [&](const std::optional<std::string>& text, bool bytes) {
        s.values.push_back(text ? text->data() : nullptr);
        s.lengths.push_back(text ? static_cast<int>(text->size()) : 0);
        s.formats.push_back(bytes ? 1 : 0);
    };
    for (const std::optional<std::string>& text : who)
        add(text, false);
    for (const forward_row& r : batch)
        for (int i = 0; i < central_columns; ++i)
            add(r.column[i], i == 4 || i == 9);
    return s;
}

// The schema must be the one this recorder writes; it never changes it.
static std::string check_schema(PGconn* pg, const central_deadline& by)
{
    std::string why;
    PGresult* r = central_exec(pg, {"SELECT max(version) FROM camscout.camscout_schema", {}, {}, {}}, by, why);
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    bool missing = state && std::string(state) == "42P01";  // undefined_table
    // max() gives one row, NULL (0) for an empty table; a failure says why,
    // and a server that answers without the row reads as version 0.
    int version = why.empty() && PQntuples(r) == 1 && PQnfields(r) == 1 ? std::atoi(PQgetvalue(r, 0, 0)) : 0;
    PQclear(r);
    if (!missing && (!why.empty() || version == central_schema_version))
        return why;
    // Older: its owner sets it up; newer: this recorder is the one behind.
    return "the central schema is " + (missing ? std::string("missing") : "version " + std::to_string(version)) +
           ", this recorder writes version " + std::to_string(central_schema_version) +
           (version > central_schema_version ? " (a release of this program that writes it forwards there)"
                                             : " (its owner sets it up with onvif_camscout_list --central --setup)");
}

// Where in the batch the row is that the server refused as longer than a recorder's
// record, or -1: only a damaged store holds one, logged and passed over, never sent again.
static long long refused_row(const PGresult* r, const std::vector<forward_row>& batch)
{
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const char* detail = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL) : nullptr;
    if (!state || std::string(state) != "22001" || !detail)
        return -1;
    // The server's bounds, a recorder's record's; a row within them was
    // refused for what the call carries beside it (its identity), and waits.
    static const std::size_t most[central_columns] = {20, 24, 20, 20, 64, 16, 24, 11, 11, 256, 24};
    long long id = std::atoll(detail);
    for (std::size_t i = 0; i < batch.size(); ++i)
        if (batch[i].id == id)
            for (int c = 0; c < central_columns; ++c)
                if (batch[i].column[c] && batch[i].column[c]->size() > most[c])
                    return static_cast<long long>(i);
    return -1;
}

// The batch as one call, sent again without a row the server refuses for
// its size; true once confirmed, with how many rows were new to the server.
static bool send_batch(PGconn* pg, std::vector<forward_row>& batch, const forwarder& who, const central_deadline& by,
                       long long& kept, std::string& why)
{
    while (!batch.empty()) {
        PGresult* r = central_exec(pg, forward_statement(batch, who), by, why);
        bool confirmed = r && PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
        kept = confirmed ? std::atoll(PQgetvalue(r, 0, 0)) : 0;
        long long refused = confirmed ? -1 : refused_row(r, batch);
        PQclear(r);
        if (refused < 0)
            return confirmed;
        log_Warning("[msas] the central inventory refuses the row of local id %lld, which is passed over: %s",
                    batch[static_cast<std::size_t>(refused)].id, why.c_str());
        batch.erase(batch.begin() + refused);
    }
    return true;
}

// Counts in sent the rows the server confirmed, in kept those it did not have.
static std::string forward_batches(const forward_source& rows, const std::string& store_id, PGconn* pg, const central_deadline& by,
                                   long long& sent, long long& kept)
{
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    const forwarder who = {store_id, settings().recorder, std::string(host)};
    if (store_id.empty())
        return "the local store has no identity";
    // A batch that cannot end before the deadline is not begun: the server
    // would do its work and commit it after the run has given up on it.
    std::chrono::steady_clock::duration last{};
    for (auto batch = rows.next_batch(); !batch.empty(); batch = rows.next_batch()) {
        auto begun = std::chrono::steady_clock::now();
        if (begun + last >= by.at)
            return "out of time after " + std::to_string(by.seconds) + " s";
        std::string why;
        long long up_to = batch.back().id, new_rows = 0;
        bool confirmed = send_batch(pg, batch, who, by, new_rows, why);
        last = std::chrono::steady_clock::now() - begun;
        if (!confirmed)
            return why;
        sent += static_cast<long long>(batch.size());
        kept += new_rows;
        why = rows.forwarded_up_to(up_to, by.at);
        if (!why.empty())
            return "cannot mark what the server has in the local store, it goes again and is kept once: " + why;
    }
    return "";
}

forward_result forward_to_central(const forward_source& rows, const std::string& store_id, const std::string& conninfo)
{
    auto started = std::chrono::steady_clock::now();
    central_deadline by{central_forward_budget_seconds};
    std::string why;
    long long sent = 0, kept = 0;
    if (PGconn* pg = central_connect(conninfo, "onvif_camscout", by, why)) {
        why = check_schema(pg, by);
        if (why.empty())
            why = forward_batches(rows, store_id, pg, by, sent, kept);
        PQfinish(pg);
    }
    std::string shown = conninfo_for_display(conninfo);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::string already = sent > kept ? ", " + std::to_string(sent - kept) + " of them there already" : "";
    if (why.empty())
        log_Debug("[msas] %lld found media sources forwarded to %s in %.2f s%s", sent, shown.c_str(), took.count(),
                  already.c_str());
    else
        log_Warning("[msas] cannot forward to %s: %s; %s%lld found media sources wait for a later run", shown.c_str(),
                    why.c_str(), sent ? (std::to_string(sent) + " forwarded, ").c_str() : "", rows.waiting());
    return {sent, why};
}
