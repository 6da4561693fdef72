// What libpq would do with a connection string's hosts, worked out ahead of
// it: the TLS default, and the names it would look up, blocking.
#pragma once

#include <string>
#include <vector>

// "verify-full" when the connection string, PGSSLMODE and any service name
// no sslmode and some host is reached over TCP; else "" (libpq decides).
struct libpq_environment {
    const char* sslmode = nullptr;   // PGSSLMODE
    const char* host = nullptr;      // PGHOST
    const char* hostaddr = nullptr;  // PGHOSTADDR
    const char* service = nullptr;   // PGSERVICE
};
std::string default_sslmode(const std::string& conninfo, const libpq_environment& env);
libpq_environment libpq_environment_now();

// The hosts of a libpq host list ("db.site,/run/pg"), each as written.
std::vector<std::string> host_list(const std::string& hosts);
// A host that starts with a slash (or an @, Linux's abstract namespace) is
// a Unix socket; any other but the empty one is reached over TCP.
bool names_tcp_host(const std::string& host);

// The comma-separated hosts that libpq would look up by name, blocking:
// none when hostaddr or a service is given, or the string cannot be read.
std::string hosts_to_look_up(const std::string& conninfo, const libpq_environment& env);
