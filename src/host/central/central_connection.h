// A PostgreSQL connection whose every wait ends, whatever the server does:
// connecting by libpq's own connect_timeout for each host, each statement
// by a deadline, with libpq non-blocking and poll on its socket.
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <string>
#include <vector>

struct central_deadline {
    int seconds;  // from now (central_deadline{5}), named by the line that says it ended
    std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
};

// Why the connection string is refused, in one line that shows nothing of it,
// or "": it holds a password, which belongs in a password file, or libpq cannot read it.
std::string central_refusal(const std::string& conninfo);

// The connection string as shown in a log line or on stderr: its keywords
// that are never secret; a refused string shows none of itself.
std::string conninfo_for_display(const std::string& conninfo);

// What libpq may read and reach for conninfo: the files named there, by libpq's variables
// or by its defaults (password, TLS and service files), and the TCP ports of its hosts and DNS.
void central_reach(const std::string& conninfo, std::vector<std::string>& files, std::vector<int>& tcp_ports);

// Connects as application, with verified TLS over TCP unless the user chose
// otherwise. Null with why on failure or refusal. libpq's name lookup is
// unbounded: the process's own deadline is the wall for that.
PGconn* central_connect(const std::string& conninfo, const char* application, const central_deadline& by,
                        std::string& why);

// One statement, or several without parameters, and its result: the first
// that failed, else the last. Null with why on a deadline or a lost server.
struct central_statement {
    std::string sql;
    std::vector<const char*> values;  // parameters, SQL NULL as null
    std::vector<int> lengths, formats;
};
PGresult* central_exec(PGconn* pg, const central_statement& statement,
                       const central_deadline& by, std::string& why);
