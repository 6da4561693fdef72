#include "host/store/central_connection.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "host/store/central_text.h"

// Until the socket is ready for events (or fails), or the deadline: false.
static bool wait_for(PGconn* pg, short events, const central_deadline& by, short& ready)
{
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(by.at - std::chrono::steady_clock::now());
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

static std::string no_answer(const central_deadline& by)
{
    return "no answer within " + std::to_string(by.seconds) + " s";
}

PGconn* central_connect(const std::string& conninfo, const char* application, const central_deadline& by,
                        std::string& why)
{
    std::string sslmode = default_sslmode(conninfo, libpq_environment_now());
    // A later keyword wins: the string's own sslmode over the default.
    const char* keys[] = {"sslmode", "dbname", "application_name", nullptr};
    const char* values[] = {sslmode.c_str(), conninfo.c_str(), application, nullptr};
    PGconn* pg = PQconnectStartParams(sslmode.empty() ? keys + 1 : keys, sslmode.empty() ? values + 1 : values, 1);
    PostgresPollingStatusType state = PQstatus(pg) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    short ready = 0;
    while (state == PGRES_POLLING_READING || state == PGRES_POLLING_WRITING) {
        if (!wait_for(pg, state == PGRES_POLLING_READING ? POLLIN : POLLOUT, by, ready)) {
            why = no_answer(by);
            PQfinish(pg);
            return nullptr;
        }
        state = PQconnectPoll(pg);
    }
    // Non-blocking from here on, also for the goodbye that PQfinish sends.
    if (state != PGRES_POLLING_OK || PQsetnonblocking(pg, 1) != 0) {
        why = pg ? libpq_failure(conninfo, PQerrorMessage(pg)) : "out of memory";
        PQfinish(pg);
        return nullptr;
    }
    PQsetNoticeProcessor(pg, [](void*, const char*) {}, nullptr);
    return pg;
}

static bool send_all(PGconn* pg, const central_statement& s, const central_deadline& by)
{
    int sent = s.values.empty() ? PQsendQuery(pg, s.sql.c_str())
                                : PQsendQueryParams(pg, s.sql.c_str(), static_cast<int>(s.values.size()), nullptr,
                                                    s.values.data(), s.lengths.data(), s.formats.data(), 0);
    int left = sent ? PQflush(pg) : -1;
    for (short ready = 0; left == 1 && wait_for(pg, POLLIN | POLLOUT, by, ready);)
        left = (ready & POLLIN) && !PQconsumeInput(pg) ? -1 : PQflush(pg);
    return left == 0;
}

PGresult* central_exec(PGconn* pg, const std::string& conninfo, const central_statement& statement,
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
        bool failed = kept && PQresultStatus(kept) == PGRES_FATAL_ERROR;
        PQclear(failed ? r : kept);
        kept = failed ? kept : r;
    }
    if (!sent || kept == nullptr) {
        PQclear(kept);
        bool lost = PQstatus(pg) == CONNECTION_BAD || std::chrono::steady_clock::now() < by.at;
        why = lost ? libpq_failure(conninfo, PQerrorMessage(pg)) : no_answer(by);
        return nullptr;
    }
    if (PQresultStatus(kept) == PGRES_FATAL_ERROR)
        why = libpq_failure(conninfo, PQresultErrorMessage(kept));
    return kept;
}
