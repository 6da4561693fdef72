#include "host/central/conninfo.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <set>
#include <vector>

static const std::set<std::string> shown_keywords = {"host",   "hostaddr", "port",
                                                     "dbname", "user",     "sslmode", "application_name"};

static bool is_uri(const std::string& s)
{
    return s.rfind("postgresql://", 0) == 0 || s.rfind("postgres://", 0) == 0;
}

static std::optional<std::string> percent_decoded(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(s[i + 2])))
            return std::nullopt;
        out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

static void add_secret(std::vector<std::string>& secrets, const std::string& raw)
{
    secrets.push_back(raw);
    if (auto decoded = percent_decoded(raw))
        secrets.push_back(*decoded);
}

static void uri_secrets(const std::string& uri, std::vector<std::string>& secrets);
static void pair_secrets(const std::string& s, std::vector<std::string>& secrets);

// libpq reads a dbname that is a URI or holds an '=' as a connection string.
static bool is_nested_conninfo(const std::string& dbname)
{
    return is_uri(dbname) || dbname.find('=') != std::string::npos;
}

static void nested_secrets(const std::string& dbname, std::vector<std::string>& secrets)
{
    if (is_uri(dbname))
        uri_secrets(dbname, secrets);
    else if (is_nested_conninfo(dbname))
        pair_secrets(dbname, secrets);
}

// key=value pairs, read as libpq reads them, as far as they can be read:
// a value may be quoted, and a backslash escapes the next character.
static void pair_secrets(const std::string& s, std::vector<std::string>& secrets)
{
    std::size_t i = 0;
    auto skip_space = [&] { while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i; };
    for (skip_space(); i < s.size(); skip_space()) {
        std::size_t key_start = i;
        while (i < s.size() && s[i] != '=' && !std::isspace(static_cast<unsigned char>(s[i])))
            ++i;
        std::string key = s.substr(key_start, i - key_start);
        skip_space();
        if (i < s.size() && s[i] == '=')
            ++i;
        skip_space();
        bool quoted = i < s.size() && s[i] == '\'';
        std::size_t raw_start = i += quoted;
        std::string value;
        for (; i < s.size() && (quoted ? s[i] != '\'' : !std::isspace(static_cast<unsigned char>(s[i]))); ++i)
            value += s[i] == '\\' && i + 1 < s.size() ? s[++i] : s[i];
        std::string raw = s.substr(raw_start, i - raw_start);
        i += quoted && i < s.size();
        if (key == "password" || key == "sslpassword") {
            secrets.push_back(raw);
            secrets.push_back(value);
        } else if (key == "dbname") {
            nested_secrets(value, secrets);
        }
    }
}

// Where a URI's user part ends: the last '@' before the query that follows
// the first '@'. A password may hold '/', '?' or '@', which libpq then reads
// as host, port and path; npos when there is no '@'.
static std::size_t userinfo_end(const std::string& uri)
{
    std::size_t start = uri.find("://") + 3, first = uri.find('@', start);
    return first == std::string::npos ? first : uri.rfind('@', uri.find('?', first + 1));
}

// A URI's password in its user part, also its pieces as libpq may split
// them, and password or sslpassword among its parameters.
static void uri_secrets(const std::string& uri, std::vector<std::string>& secrets)
{
    std::size_t start = uri.find("://") + 3, at = userinfo_end(uri);
    std::size_t colon = at == std::string::npos ? at : uri.find(':', start);
    if (colon < at) {
        std::string password = uri.substr(colon + 1, at - colon - 1);
        add_secret(secrets, password);
        for (std::size_t p = 0, end = 0; end != std::string::npos; p = end + 1) {
            end = password.find_first_of("/:?#", p);
            add_secret(secrets, password.substr(p, end == std::string::npos ? end : end - p));
        }
    }
    std::size_t query = uri.find('?', at == std::string::npos ? start : at);
    for (std::size_t p = query; p != std::string::npos && p < uri.size(); p = uri.find('&', p + 1)) {
        std::size_t end = uri.find('&', p + 1), eq = uri.find('=', p + 1);
        std::string key = uri.substr(p + 1, std::min(eq, end) - p - 1);
        auto decoded = percent_decoded(key);
        std::string value = eq < end ? uri.substr(eq + 1, end == std::string::npos ? end : end - eq - 1) : "";
        if (eq < end && decoded && (*decoded == "password" || *decoded == "sslpassword"))
            add_secret(secrets, value);
        else if (eq < end && decoded && *decoded == "dbname")
            nested_secrets(percent_decoded(value).value_or(value), secrets);
    }
}

// A URI whose user part libpq did not read as written (a '/' in the
// password makes the user a host and the password a port; an '@' in it ends
// the password early) cannot be shown.
static bool uri_read_as_written(const std::string& uri, PQconninfoOption* options);

std::string scrub_secrets(const std::string& text, const std::string& conninfo)
{
    std::vector<std::string> secrets;
    if (is_uri(conninfo))
        uri_secrets(conninfo, secrets);
    else
        pair_secrets(conninfo, secrets);
    // The longest first, so that a password that holds another goes whole.
    std::sort(secrets.begin(), secrets.end(), [](auto& a, auto& b) { return a.size() > b.size(); });
    std::string out = text;
    for (const std::string& secret : secrets)
        for (std::size_t p; !secret.empty() && (p = out.find(secret)) != std::string::npos;)
            out.replace(p, secret.size(), "***");
    return out;
}

static PQconninfoOption* parsed(const std::string& conninfo)
{
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    PQfreemem(error);
    return options;
}

std::string conninfo_for_display(const std::string& conninfo)
{
    PQconninfoOption* options = parsed(conninfo);
    if (options == nullptr)
        return "(a connection string that cannot be read)";
    bool readable = !is_uri(conninfo) || uri_read_as_written(conninfo, options);
    std::string shown;
    for (PQconninfoOption* o = options; readable && o->keyword != nullptr; ++o) {
        if (o->val == nullptr || *o->val == '\0' || !shown_keywords.count(o->keyword))
            continue;
        bool nested = std::string(o->keyword) == "dbname" && is_nested_conninfo(o->val);
        shown.append(shown.empty() ? "" : " ").append(o->keyword).append("=");
        shown.append(nested ? "(a connection string)" : o->val);
    }
    PQconninfoFree(options);
    if (!readable)
        return "(a connection string that cannot be read)";
    return shown.empty() ? "(libpq's defaults)" : scrub_secrets(shown, conninfo);
}

std::string libpq_failure(const std::string& conninfo, const char* message)
{
    std::string text = message ? message : "";
    text = text.substr(0, text.find('\n'));
    PQconninfoOption* options = parsed(conninfo);
    if (options == nullptr) {
        std::size_t first = text.find('"'), last = text.rfind('"');
        if (first != std::string::npos)
            text.replace(first, last > first ? last - first + 1 : std::string::npos, "\"...\"");
    }
    PQconninfoFree(options);
    return scrub_secrets(text, conninfo);
}

static std::string option(PQconninfoOption* options, const char* keyword, const char* fallback)
{
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o)
        if (std::string(o->keyword) == keyword && o->val != nullptr && *o->val != '\0')
            return o->val;
    return fallback ? fallback : "";
}

static bool uri_read_as_written(const std::string& uri, PQconninfoOption* options)
{
    std::size_t start = uri.find("://") + 3, at = userinfo_end(uri);
    if (at == std::string::npos)
        return true;
    std::size_t colon = std::min(uri.find(':', start), at);
    std::string user = uri.substr(start, colon - start);
    std::string password = colon < at ? uri.substr(colon + 1, at - colon - 1) : "";
    return percent_decoded(user).value_or("") == option(options, "user", nullptr) &&
           (colon == at || percent_decoded(password).value_or("") == option(options, "password", nullptr));
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
