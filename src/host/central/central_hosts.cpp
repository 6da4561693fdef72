#include "host/central/central_hosts.h"

#include <libpq-fe.h>

#include <cstdlib>

static PQconninfoOption* parsed(const std::string& conninfo)
{
    return PQconninfoParse(conninfo.c_str(), nullptr);
}

static std::string option(PQconninfoOption* options, const char* keyword, const char* fallback)
{
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o)
        if (std::string(o->keyword) == keyword && o->val != nullptr && *o->val != '\0')
            return o->val;
    return fallback ? fallback : "";
}

std::vector<std::string> host_list(const std::string& hosts)
{
    std::vector<std::string> list;
    for (std::size_t start = 0, end = 0; !hosts.empty() && end != std::string::npos; start = end + 1) {
        end = hosts.find(',', start);
        list.push_back(hosts.substr(start, end == std::string::npos ? end : end - start));
    }
    return list;
}

bool names_tcp_host(const std::string& host)
{
    return !host.empty() && host[0] != '/' && host[0] != '@';
}

// No host at all is libpq's default socket.
std::string default_sslmode(const std::string& conninfo, const libpq_environment& env)
{
    PQconninfoOption* options = parsed(conninfo);
    if (options == nullptr)
        return "";
    bool named = !option(options, "sslmode", env.sslmode).empty() || !option(options, "service", env.service).empty();
    bool tcp = !option(options, "hostaddr", env.hostaddr).empty();
    std::string hosts = option(options, "host", env.host);
    PQconninfoFree(options);
    for (const std::string& host : host_list(hosts))
        tcp = tcp || names_tcp_host(host);
    return !named && tcp ? "verify-full" : "";
}

std::string hosts_to_look_up(const std::string& conninfo, const libpq_environment& env)
{
    PQconninfoOption* options = parsed(conninfo);
    if (options == nullptr)
        return "";
    bool given = !option(options, "hostaddr", env.hostaddr).empty() || !option(options, "service", env.service).empty();
    std::string hosts = given ? "" : option(options, "host", env.host);
    PQconninfoFree(options);
    return hosts;
}

libpq_environment libpq_environment_now()
{
    return {std::getenv("PGSSLMODE"), std::getenv("PGHOST"), std::getenv("PGHOSTADDR"), std::getenv("PGSERVICE")};
}
