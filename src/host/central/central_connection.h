// A PostgreSQL connection whose every wait ends by a deadline on the wall
// clock, whatever the server or the path does: libpq without blocking,
// waiting in poll on its socket.
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct central_deadline {
    std::chrono::steady_clock::time_point at;
    int seconds;  // the budget it ends, for the line that says so
};

// Why the connection string is not used, "" when it may be: it holds a
// password, which belongs in a password file, or libpq cannot read it.
// One line that shows nothing of the string.
std::string central_refusal(const std::string& conninfo);

// The connection string as shown in a log line or on stderr: its keywords
// that are never secret; a refused string shows none of itself.
std::string conninfo_for_display(const std::string& conninfo);

// Connects as application, requiring verified TLS over TCP unless the
// connection string says otherwise, trying each host of a list in turn.
// Null with why (safe to show) on failure or refusal.
PGconn* central_connect(const std::string& conninfo, const char* application, const central_deadline& by,
                        std::string& why);

// One statement, or several without parameters, and its result: the first
// that failed, else the last. Null with why on a deadline or a lost server.
struct central_statement {
    std::string sql;
    std::vector<const char*> values;  // parameters, SQL NULL as null
    std::vector<int> lengths, formats;
    // Set: rows are handed here one at a time as they come, not kept.
    std::function<void(const PGresult*)> each_row;
};
PGresult* central_exec(PGconn* pg, const central_statement& statement,
                       const central_deadline& by, std::string& why);
