// The central inventory's connection string: as shown, libpq's error text
// made safe to show, and the TLS default.
#pragma once

#include <string>
#include <vector>

// The connection string as shown in a log line or on stderr: only keywords
// that are never secret. A string that cannot be read shows none of itself.
std::string conninfo_for_display(const std::string& conninfo);

// text with every secret part of conninfo taken out: password and
// sslpassword values, a URI's password, as written and percent-decoded.
std::string scrub_secrets(const std::string& text, const std::string& conninfo);

// libpq's message about conninfo, first line only, safe to show. When the
// string cannot be read, libpq quotes pieces of it: those are left out.
std::string libpq_failure(const std::string& conninfo, const char* message);

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
