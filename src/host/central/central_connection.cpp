#include "host/central/central_connection.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

static std::string first_line(const char* message)
{
    std::string text = message ? message : "";
    return text.substr(0, text.find('\n'));
}

// libpq's lines for each host it tried, without its hints (indented).
static std::string hosts_failed(const char* message)
{
    std::stringstream text(message);
    std::string lines;
    for (std::string line; std::getline(text, line);)
        if (line.rfind('\t', 0) != 0)
            lines.append(lines.empty() ? "" : "; ").append(line);
    return lines;
}

static bool is_uri(const std::string& s)
{
    return s.rfind("postgresql://", 0) == 0 || s.rfind("postgres://", 0) == 0;
}

// People write a password in a URI unencoded, '/', '?', ':' and '@' and
// all; libpq then reads pieces of it as host, port, path or query, which
// would be shown. Where the user part ends cannot be told, so any ':' ahead
// of any '@' counts: a port ahead of an '@' in the query is refused too.
// In a connection string libpq takes a dbname as a name, even one that
// reads as a connection string; the server's errors then quote it whole.
static bool holds_password(const std::string& conninfo, PQconninfoOption* options)
{
    std::size_t at = conninfo.rfind('@');
    bool found = is_uri(conninfo) && at != std::string::npos && conninfo.find(':', conninfo.find("://") + 3) < at;
    for (PQconninfoOption* o = options; o && o->keyword; ++o) {
        if (o->val == nullptr)
            continue;
        found = found || *o->dispchar == '*';  // libpq's mark of a secret (password, sslpassword)
        std::string value = o->val;
        if (std::string(o->keyword) == "dbname" && (is_uri(value) || value.find('=') != std::string::npos)) {
            PQconninfoOption* inner = PQconninfoParse(o->val, nullptr);
            found = found || inner == nullptr || holds_password(value, inner);
            PQconninfoFree(inner);
        }
    }
    return found;
}

std::string central_refusal(const std::string& conninfo)
{
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    std::string why;
    if (holds_password(conninfo, options)) {
        why = "CAMSCOUT_CENTRAL holds a password, which is refused: libpq reads it from a password file"
              " (PGPASSFILE, ~/.pgpass; the service's is its credential /etc/onvif_camscout/pgpass)";
        why += is_uri(conninfo) ? "; in a URI, an '@' that is part of a name is written %40" : "";
    } else if (options == nullptr) {
        // libpq quotes pieces of a string it cannot read: a password may be among them.
        why = "CAMSCOUT_CENTRAL cannot be read: " + first_line(error ? error : "out of memory");
        std::size_t first = why.find('"'), last = why.rfind('"');
        if (first != std::string::npos)
            why.replace(first, last > first ? last - first + 1 : std::string::npos, "\"...\"");
    }
    PQfreemem(error);
    PQconninfoFree(options);
    return why;
}

std::string conninfo_for_display(const std::string& conninfo)
{
    if (!central_refusal(conninfo).empty())
        return "(a refused connection string)";
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), nullptr);
    std::string shown;
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o)
        if (o->val != nullptr && *o->val != '\0' && std::string(o->dispchar) != "*")  // a password's is "*"
            shown.append(shown.empty() ? "" : " ").append(o->keyword).append("=").append(o->val);
    PQconninfoFree(options);
    return shown.empty() ? "(libpq's defaults)" : shown;
}

// libpq's own default, prefer, lets a machine in the middle answer without
// TLS and ask for the password in clear: verified TLS, unless the user chose
// (the string, PGSSLMODE, or a service, whose file only libpq reads). libpq
// uses no TLS over a Unix socket, whatever the mode.
static bool sslmode_chosen(const std::string& conninfo)
{
    bool chosen = std::getenv("PGSSLMODE") || std::getenv("PGSERVICE");
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), nullptr);
    for (PQconninfoOption* o = options; o && o->keyword; ++o)
        chosen = chosen || (o->val && (std::string(o->keyword) == "sslmode" || std::string(o->keyword) == "service"));
    PQconninfoFree(options);
    return chosen;
}

// libpq tries each host of a list and address of a name in turn, each for
// connect_timeout: half of what is left (libpq's least is 2 s), so that a
// silent host leaves the next its time; past two silent ones the process's
// own deadline is the wall. A later keyword wins: the string's over ours.
PGconn* central_connect(const std::string& conninfo, const char* application, const central_deadline& by,
                        std::string& why)
{
    why = central_refusal(conninfo);
    if (!why.empty())
        return nullptr;
    auto left = std::chrono::duration_cast<std::chrono::seconds>(by.at - std::chrono::steady_clock::now()).count();
    std::string timeout = std::to_string(std::max<long long>(2, left / 2));
    // libpq passes over a keyword whose value is empty.
    const char* keys[] = {"sslmode", "connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {sslmode_chosen(conninfo) ? "" : "verify-full", timeout.c_str(), application,
                            conninfo.c_str(), nullptr};
    PGconn* pg = PQconnectdbParams(keys, values, 1);
    // Non-blocking from here on, also for the goodbye that PQfinish sends.
    if (PQstatus(pg) != CONNECTION_OK || PQsetnonblocking(pg, 1) != 0) {
        why = pg ? hosts_failed(PQerrorMessage(pg)) : "out of memory";
        PQfinish(pg);
        return nullptr;
    }
    PQsetNoticeProcessor(pg, [](void*, const char*) {}, nullptr);
    return pg;
}

// Until a result can be taken without blocking, sending the rest of the
// statement meanwhile; false past the deadline or on a failed connection.
// Rounded up, so that central_exec can tell the two apart by the clock.
static bool until_ready(PGconn* pg, const central_deadline& by)
{
    for (int unsent; (unsent = PQflush(pg)) != 0 || PQisBusy(pg);) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(by.at - std::chrono::steady_clock::now());
        if (unsent < 0 || left.count() <= 0)
            return false;
        pollfd p{PQsocket(pg), static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)), 0};
        int n = poll(&p, 1, static_cast<int>(left.count()));
        if ((n > 0 || (n < 0 && errno != EINTR)) && !PQconsumeInput(pg))  // a failed poll: libpq finds out why
            return false;
    }
    return true;
}

PGresult* central_exec(PGconn* pg, const central_statement& s, const central_deadline& by, std::string& why)
{
    bool sent = s.values.empty() ? PQsendQuery(pg, s.sql.c_str())
                                 : PQsendQueryParams(pg, s.sql.c_str(), static_cast<int>(s.values.size()), nullptr,
                                                     s.values.data(), s.lengths.data(), s.formats.data(), 0);
    PGresult* kept = nullptr;
    for (PGresult* r; sent && (sent = until_ready(pg, by)) && (r = PQgetResult(pg)) != nullptr;) {
        bool failed = kept && PQresultStatus(kept) == PGRES_FATAL_ERROR;
        PQclear(failed ? r : kept);
        kept = failed ? kept : r;
    }
    if (!sent || kept == nullptr) {
        PQclear(kept);
        bool lost = PQstatus(pg) == CONNECTION_BAD || std::chrono::steady_clock::now() < by.at;
        why = lost ? first_line(PQerrorMessage(pg)) : "no answer within " + std::to_string(by.seconds) + " s";
        return nullptr;
    }
    if (PQresultStatus(kept) == PGRES_FATAL_ERROR)
        why = first_line(PQresultErrorMessage(kept));
    return kept;
}

// libpq's own reading, service file and all: a connection begun with an sslmode
// that libpq refuses stops before any lookup or connect, and tells what it would use.
void central_reach(const std::string& conninfo, std::vector<std::string>& files, std::vector<int>& tcp_ports)
{
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    files.insert(files.end(), {home + "/.postgresql", home + "/.pg_service.conf"});
    for (const char* name : {"PGSERVICEFILE", "PGSYSCONFDIR"})
        if (const char* value = std::getenv(name))
            files.push_back(value);
    const char* keys[] = {"dbname", "sslmode", nullptr};
    const char* values[] = {conninfo.c_str(), "refused", nullptr};
    PGconn* pg = PQconnectStartParams(keys, values, 1);
    PQconninfoOption* options = PQconninfo(pg);
    std::string ports;
    for (PQconninfoOption* o = options; o && o->keyword; ++o) {
        std::string keyword = o->keyword;
        if (o->val && keyword == "port")
            ports = o->val;
        else if (o->val && (keyword == "passfile" || keyword == "sslrootcert" || keyword == "sslcert" ||
                            keyword == "sslkey" || keyword == "sslcrl" || keyword == "sslcrldir"))
            files.push_back(o->val);
    }
    PQconninfoFree(options);
    PQfinish(pg);
    // An empty entry of a list is libpq's default port.
    tcp_ports = {53};
    std::stringstream list(ports + ",");
    for (std::string port; std::getline(list, port, ',');)
        tcp_ports.push_back(port.empty() ? 5432 : std::atoi(port.c_str()));
}
