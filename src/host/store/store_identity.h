// What the store keeps for the central inventory: its identity, which
// names it there together with each row's id and time, and which row the
// central inventory has confirmed (forwarded).
#pragma once

#include <chrono>
#include <string>

struct sqlite3;

// Gives the store an identity if it has none: a random one, or for a store
// that already forwarded rows under the recorder's name, that name, so
// that its rows keep their key. Returns "", or why the store refused.
std::string store_identity_set_up(sqlite3* db, const std::string& recorder);
// The store's identity, or "" when it has none.
std::string store_identity(sqlite3* db);

// Marks the unforwarded rows first to last forwarded, retrying while the
// store is busy until the deadline. Returns "", or what failed.
std::string store_mark_forwarded(sqlite3* db, long long first, long long last,
                                 std::chrono::steady_clock::time_point by);
