#include "host/central/central_hosts.h"

#include <libpq-fe.h>
#include <netdb.h>
#include <pg_config_manual.h>
#include <sys/socket.h>

#include <cstdlib>

static std::string option(PQconninfoOption* options, const char* keyword, const char* fallback)
{
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o)
        if (std::string(o->keyword) == keyword && o->val != nullptr && *o->val != '\0')
            return o->val;
    return fallback ? fallback : "";
}

static std::vector<std::string> comma_list(const std::string& text)
{
    std::vector<std::string> list;
    for (std::size_t start = 0, end = 0; !text.empty() && end != std::string::npos; start = end + 1) {
        end = text.find(',', start);
        list.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    }
    return list;
}

// A host that starts with a slash (or an @, Linux's abstract namespace) is
// a Unix socket, and so is an empty one: libpq's default folder.
static central_host host_as_tried(const std::string& host, const std::string& port)
{
    if (host.empty())
        return {DEFAULT_PGSOCKET_DIR, port, false};
    return {host, port, host[0] != '/' && host[0] != '@'};
}

// No host at all is libpq's default socket, reached without TLS.
central_hosts hosts_as_libpq_reads(const std::string& conninfo, const libpq_environment& env)
{
    central_hosts read;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), nullptr);
    if (options == nullptr)
        return read;
    std::string hostaddr = option(options, "hostaddr", env.hostaddr), service = option(options, "service", env.service);
    bool sslmode_named = !option(options, "sslmode", env.sslmode).empty() || !service.empty();
    std::vector<std::string> hosts = comma_list(option(options, "host", env.host));
    std::vector<std::string> ports = comma_list(option(options, "port", env.port));
    PQconninfoFree(options);
    bool tcp = !hostaddr.empty();
    for (const std::string& host : hosts)
        tcp = tcp || host_as_tried(host, "").tcp;
    read.sslmode = !sslmode_named && tcp ? "verify-full" : "";
    if (!hostaddr.empty() || !service.empty() || (ports.size() > 1 && ports.size() != hosts.size()))
        return read;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        read.hosts.push_back(host_as_tried(hosts[i], ports.size() > 1 ? ports[i] : ""));
    return read;
}

libpq_environment libpq_environment_now()
{
    return {std::getenv("PGSSLMODE"), std::getenv("PGHOST"), std::getenv("PGHOSTADDR"), std::getenv("PGSERVICE"),
            std::getenv("PGPORT")};
}

// One lookup in the resolver's own thread. A lookup that outlives the
// deadline keeps its request, which the resolver still writes to.
struct lookup {
    std::string name;
    addrinfo hints{};
    gaicb request{};
};

std::vector<std::string> addresses_of(const std::string& name, const central_deadline& by, std::string& why)
{
    auto* l = new lookup{name, {}, {}};
    l->hints.ai_socktype = SOCK_STREAM;
    l->request.ar_name = l->name.c_str();
    l->request.ar_request = &l->hints;
    gaicb* list[] = {&l->request};
    int rc = getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr);
    while (rc == 0 && gai_error(&l->request) == EAI_INPROGRESS) {
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(by.at - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            why = "no answer within " + std::to_string(by.seconds) + " s looking up " + name;
            int cancelled = gai_cancel(&l->request);
            if (cancelled == EAI_NOTCANCELED)
                return {};
            if (cancelled == EAI_ALLDONE)
                freeaddrinfo(l->request.ar_result);
            delete l;
            return {};
        }
        timespec wait{static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
        gai_suspend(list, 1, &wait);
    }
    // Every address, in the resolver's order, as libpq would try them.
    std::vector<std::string> addresses;
    rc = rc ? rc : gai_error(&l->request);
    for (addrinfo* a = rc == 0 ? l->request.ar_result : nullptr; a != nullptr && rc == 0; a = a->ai_next) {
        char text[NI_MAXHOST] = "";
        rc = getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST);
        addresses.push_back(text);
    }
    if (rc != 0)
        why = "cannot look up " + name + ": " + gai_strerror(rc);
    freeaddrinfo(l->request.ar_result);
    delete l;
    return rc == 0 ? addresses : std::vector<std::string>{};
}
