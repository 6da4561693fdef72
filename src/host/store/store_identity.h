// The store's identity, which names it in the central inventory together
// with each row's id and time.
#pragma once

#include <string>

struct sqlite3;

// Gives the store an identity if it has none: a random one, or for a store
// that already forwarded rows under the recorder's name, that name, so
// that its rows keep their key. Returns "", or why the store refused.
std::string store_identity_set_up(sqlite3* db, const std::string& recorder);
// The store's identity, or "" when it has none.
std::string store_identity(sqlite3* db);
