// Forwarding to the central inventory: a PostgreSQL database that many
// recorders share. The local store stays the recorder's durable record;
// the central one gets each of its rows at least once, and keeps it once,
// by the store's identity, the row's id and when it was found.
#pragma once

#include <chrono>
#include <string>

struct sqlite3;

// Forwarding ends the run, so it has a budget of its own: connecting, every
// statement and the local marks together.
constexpr int central_forward_budget_seconds = 5;

// Sends the local store's rows that are not forwarded yet, oldest first,
// each batch in one transaction, under the store's identity store_id; a
// batch is marked forwarded only once the server has confirmed its commit,
// so that a lost answer means sending again, never losing. Ends within the
// budget whatever the server does, and logs one "[msas]" line either way.
void forward_to_central(sqlite3* local, const std::string& store_id, const std::string& conninfo);

// Marks the rows first to last forwarded. The store may be busy with the
// next run's writer: SQLite waits for it until the deadline. Returns "", or
// what failed.
std::string store_mark_forwarded(sqlite3* db, long long first, long long last,
                                 std::chrono::steady_clock::time_point by);
