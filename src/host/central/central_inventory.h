// Forwarding to the central inventory, a PostgreSQL database that many
// recorders share and its owner sets up. The local store stays the durable
// record; the central one gets each row at least once and keeps it once,
// by the store's identity, the row's id and when it was found.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The central schema's version that this code makes, reads and writes.
constexpr int central_schema_version = 3;

// central/sql/'s files, built in: from version 1 or 2, its file goes ahead of central.sql in one transaction.
extern const char central_sql[], central_from_v1_sql[], central_from_v2_sql[];

// camscout.found's columns, a row as camscout.forward takes it (what a call may hold: central.sql).
constexpr int central_columns = 11;

// Forwarding ends the run, so it has a budget of its own: connecting, every
// statement and the local marks together.
constexpr int central_forward_budget_seconds = 5;

// One local row as the central call takes it: its id, then camscout.found's
// columns as texts (the model and the record as bytes), none as SQL NULL.
struct forward_row {
    long long id;
    std::optional<std::string> column[central_columns];
};

// What the local store gives forwarding: the next batch of rows not yet
// forwarded, oldest first (none when all are); a mark of how far the server
// confirmed ("" or why it was not kept by the deadline); how many are left.
struct forward_source {
    std::function<std::vector<forward_row>()> next_batch;
    std::function<std::string(long long last_id, std::chrono::steady_clock::time_point by)> forwarded_up_to;
    std::function<long long()> waiting;
};

// The rows the server confirmed, and "" or why the rest wait.
struct forward_result {
    long long forwarded;
    std::string why;
};

// Sends the rows under the store's identity store_id, each batch in one
// transaction that counts only once the server confirmed its commit: a lost
// answer means sending again, never losing. Ends within the budget whatever
// one server does (each further silent host of a list adds half of it), and
// logs one "[msas]" line either way.
forward_result forward_to_central(const forward_source& rows, const std::string& store_id, const std::string& conninfo);
