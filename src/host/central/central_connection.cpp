#include "host/central/central_connection.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/central/central_hosts.h"

static std::string first_line(const char* message)
{
    std::string text = message ? message : "";
    return text.substr(0, text.find('\n'));
}

// Until the socket is ready for events (or fails), or the deadline: false.
// Rounded up, so that false means the deadline has passed, as callers check.
static bool wait_for(PGconn* pg, short events, const central_deadline& by, short& ready)
{
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(by.at - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{PQsocket(pg), events, 0};
        int n = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (n != 0 && (n > 0 || errno != EINTR)) {
            ready = n > 0 ? p.revents : events;  // a failed poll: libpq finds out why
            return true;
        }
    }
}

static std::string no_answer(const central_deadline& by, const std::string& host = "")
{
    return "no answer" + (host.empty() ? "" : " from " + host) + " within " + std::to_string(by.seconds) + " s";
}

static const char password_refused[] =
    "CAMSCOUT_CENTRAL holds a password, which is refused: libpq reads it from a password file"
    " (PGPASSFILE, ~/.pgpass; the service's is its credential /etc/onvif_camscout/pgpass)";
static const char uri_hint[] = "; in a URI, an '@' that is part of a name is written %40";

static bool is_uri(const std::string& s)
{
    return s.rfind("postgresql://", 0) == 0 || s.rfind("postgres://", 0) == 0;
}

// People write a password in a URI unencoded, '/', '?', ':' and '@' and
// all; libpq then reads pieces of it as host, port, path or query, which
// would be shown. Where the user part ends cannot be told, so any ':' ahead
// of any '@' counts: a port ahead of an '@' in the query is refused too.
static bool uri_has_password(const std::string& s)
{
    std::size_t at = s.rfind('@');
    return is_uri(s) && at != std::string::npos && s.find(':', s.find("://") + 3) < at;
}

// In a connection string libpq takes a dbname as a name, even one that
// reads as a connection string; the server's errors then quote it whole.
static bool holds_password(const std::string& conninfo, PQconninfoOption* options)
{
    bool found = uri_has_password(conninfo);
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        if (o->val == nullptr)
            continue;
        found = found || std::strstr(o->keyword, "password") != nullptr;
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
    if (uri_has_password(conninfo))
        return password_refused + std::string(uri_hint);
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    std::string why = options == nullptr || !holds_password(conninfo, options) ? ""
                      : password_refused + std::string(is_uri(conninfo) ? uri_hint : "");
    if (options == nullptr) {
        // libpq quotes pieces of a string it cannot read, and they may be
        // anything: a password among them.
        why = error ? error : "out of memory";
        why = "CAMSCOUT_CENTRAL cannot be read: " + why.substr(0, why.find('\n'));
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
        if (o->val != nullptr && *o->val != '\0' && std::string(o->dispchar) != "*" &&
            std::strstr(o->keyword, "password") == nullptr)
            shown.append(shown.empty() ? "" : " ").append(o->keyword).append("=").append(o->val);
    PQconninfoFree(options);
    return shown.empty() ? "(libpq's defaults)" : shown;
}

// One host of the list, by its share of the deadline. A later keyword
// wins: the string's own sslmode over the default, the one host over the
// string's list; and a name is given as its addresses, which libpq would
// otherwise look up blocking, each with the name again, for TLS and the
// password file. libpq tries them in turn, as it does a name's addresses.
static PGconn* connect_to(const std::string& conninfo, const char* application, const std::string& sslmode,
                          const central_host* to, const central_deadline& by, bool one_of_many, std::string& why)
{
    std::string hosts = to ? to->host : "", addresses;
    for (const std::string& a : to && to->tcp ? addresses_of(to->host, by, why) : std::vector<std::string>{}) {
        if (!addresses.empty())
            hosts += "," + to->host, addresses += ",";
        addresses += a;
    }
    if (!why.empty())
        return nullptr;
    // libpq passes over a keyword whose value is empty; one port serves every address.
    const char* keys[] = {"sslmode", "dbname", "host", "hostaddr", "port", "application_name", nullptr};
    const char* values[] = {sslmode.c_str(), conninfo.c_str(), hosts.c_str(), addresses.c_str(),
                            to ? to->port.c_str() : "", application, nullptr};
    PGconn* pg = PQconnectStartParams(keys, values, 1);
    PostgresPollingStatusType state = PQstatus(pg) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    short ready = 0;
    while (state == PGRES_POLLING_READING || state == PGRES_POLLING_WRITING) {
        if (!wait_for(pg, state == PGRES_POLLING_READING ? POLLIN : POLLOUT, by, ready)) {
            why = no_answer(by, one_of_many ? to->host : "");
            PQfinish(pg);
            return nullptr;
        }
        state = PQconnectPoll(pg);
    }
    // Non-blocking from here on, also for the goodbye that PQfinish sends.
    if (state != PGRES_POLLING_OK || PQsetnonblocking(pg, 1) != 0) {
        why = pg ? first_line(PQerrorMessage(pg)) : "out of memory";
        PQfinish(pg);
        return nullptr;
    }
    PQsetNoticeProcessor(pg, [](void*, const char*) {}, nullptr);
    return pg;
}

// As libpq goes through a host list, the next host is tried when one
// cannot be looked up, refuses or is silent; a silent one has an even share
// of what is left, so that the rest still have theirs.
PGconn* central_connect(const std::string& conninfo, const char* application, const central_deadline& by,
                        std::string& why)
{
    why = central_refusal(conninfo);
    if (!why.empty())
        return nullptr;
    auto [sslmode, hosts] = hosts_as_libpq_reads(conninfo, libpq_environment_now());
    if (hosts.size() < 2)
        return connect_to(conninfo, application, sslmode, hosts.empty() ? nullptr : &hosts[0], by, false, why);
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        auto now = std::chrono::steady_clock::now();
        auto share = std::chrono::ceil<std::chrono::seconds>((by.at - now) / static_cast<int>(hosts.size() - i));
        std::string failed;
        PGconn* pg = connect_to(conninfo, application, sslmode, &hosts[i],
                                {std::min(by.at, now + share), static_cast<int>(share.count())}, true, failed);
        if (pg)
            return pg;
        why += (why.empty() ? "" : "; ") + failed;
    }
    return nullptr;
}

static bool send_all(PGconn* pg, const central_statement& s, const central_deadline& by)
{
    int sent = s.values.empty() ? PQsendQuery(pg, s.sql.c_str())
                                : PQsendQueryParams(pg, s.sql.c_str(), static_cast<int>(s.values.size()), nullptr,
                                                    s.values.data(), s.lengths.data(), s.formats.data(), 0);
    if (sent && s.each_row)
        PQsetSingleRowMode(pg);
    int left = sent ? PQflush(pg) : -1;
    for (short ready = 0; left == 1 && wait_for(pg, POLLIN | POLLOUT, by, ready);)
        left = (ready & POLLIN) && !PQconsumeInput(pg) ? -1 : PQflush(pg);
    return left == 0;
}

PGresult* central_exec(PGconn* pg, const central_statement& statement,
                       const central_deadline& by, std::string& why)
{
    bool sent = send_all(pg, statement, by);
    PGresult* kept = nullptr;
    short ready = 0;
    while (sent) {
        while (PQisBusy(pg))
            if (!wait_for(pg, POLLIN, by, ready) || !PQconsumeInput(pg)) {
                sent = false;
                break;
            }
        PGresult* r = sent ? PQgetResult(pg) : nullptr;
        if (r == nullptr)
            break;
        if (PQresultStatus(r) == PGRES_SINGLE_TUPLE) {
            statement.each_row(r);
            PQclear(r);
            continue;
        }
        bool failed = kept && PQresultStatus(kept) == PGRES_FATAL_ERROR;
        PQclear(failed ? r : kept);
        kept = failed ? kept : r;
    }
    if (!sent || kept == nullptr) {
        PQclear(kept);
        bool lost = PQstatus(pg) == CONNECTION_BAD || std::chrono::steady_clock::now() < by.at;
        why = lost ? first_line(PQerrorMessage(pg)) : no_answer(by);
        return nullptr;
    }
    if (PQresultStatus(kept) == PGRES_FATAL_ERROR)
        why = first_line(PQresultErrorMessage(kept));
    return kept;
}
