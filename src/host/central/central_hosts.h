// What libpq would do with a connection string's hosts, worked out ahead of
// it: the TLS default, and the hosts it would try in turn, so that each is
// tried by a share of the deadline and its name looked up by that share
// (libpq's own lookup blocks, and it waits on a silent host for ever).
#pragma once

#include <string>
#include <vector>

#include "host/central/central_connection.h"

// libpq's variables that stand in for keywords the string does not hold.
struct libpq_environment {
    const char* sslmode = nullptr;   // PGSSLMODE
    const char* host = nullptr;      // PGHOST
    const char* hostaddr = nullptr;  // PGHOSTADDR
    const char* service = nullptr;   // PGSERVICE
    const char* port = nullptr;      // PGPORT
};
libpq_environment libpq_environment_now();

// One host of a host list as libpq tries it: a Unix socket's folder, or a
// name reached over TCP; port empty where the string's one port holds.
struct central_host {
    std::string host, port;
    bool tcp;
};

// sslmode: "verify-full" when the connection string, PGSSLMODE and any
// service name no sslmode and some host is reached over TCP; else "" (libpq
// decides). hosts: in the order libpq tries them; none where libpq alone
// knows them or would refuse the string: no host given, a hostaddr or a
// service, a string it cannot read, or ports that do not match the hosts.
struct central_hosts {
    std::string sslmode;
    std::vector<central_host> hosts;
};
central_hosts hosts_as_libpq_reads(const std::string& conninfo, const libpq_environment& env);

// The numeric addresses of a host name, looked up by the deadline; none
// and why when it has none or the deadline passed.
std::vector<std::string> addresses_of(const std::string& name, const central_deadline& by, std::string& why);
