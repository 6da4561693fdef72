// onvif_camscout_list: the found media sources of the store, or what changed
// between the last two runs, as a table, JSON or CSV, printed as read.
#include <getopt.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "host/settings/settings.h"
#include "host/central/central_connection.h"
#include "host/central/central_schema.h"
#include "host/log/text_escape.h"
#include "host/log/utc_time.h"
#include "host/store/store_reading.h"
#include "output.h"
#include "print_rows.h"
#include "read_postgres.h"
#include "read_runs.h"
#include "read_sqlite.h"
#include "since.h"

static const char usage[] =
    "usage: onvif_camscout_list [--json | --csv | --wide] [--all] [--store PATH | --central]\n"
    "       onvif_camscout_list --changes [--since TIME] [--json | --csv | --wide] [--store PATH | --central]\n"
    "       onvif_camscout_list --runs [--json | --csv | --wide] [--store PATH]\n"
    "       onvif_camscout_list --upgrade [--store PATH]\n"
    "       onvif_camscout_list --central --setup\n"
    "       onvif_camscout_list --central --expire DAYS\n"
    "       onvif_camscout_list -h | --help | --version\n"
    "Shows the media sources that onvif_camscout found, the newest row of each, as a table.\n"
    "  --json, --csv    a JSON array, or CSV with a header line, instead of the table\n"
    "  --wide           the table with every cell whole (else cut to fit 80 columns)\n"
    "  --all            every row ever stored, oldest first\n"
    "  --changes        what changed between the newest run and the run before it\n"
    "  --runs           each run's outcome, newest first: when it started, how long it\n"
    "                   took, cameras found, stored, dropped for no MAC, refused, rows\n"
    "                   forwarded, datagrams taken in and dropped, what was cut short\n"
    "  --since TIME     with --changes: against the last run that started before TIME, UTC\n"
    "                   (2026-12-06, 2026-12-06T05:30, 2026-12-06T05:30:00Z ...)\n"
    "  --store PATH     the store to read; default $CAMSCOUT_STORE, else\n"
    "                   /var/lib/onvif_camscout/media_sources.db\n"
    "  --central        the central inventory, with every recorder's sources\n"
    "  --setup          with --central, as the database's owner: make or upgrade its schema\n"
    "  --expire DAYS    with --central, as the database's owner: remove older sightings\n"
    "  --upgrade        bring the store of an earlier version up to date (runs wait for it)\n"
    "  -h, --help       this help\n"
    "  --version        the version\n"
    "Environment: CAMSCOUT_STORE; CAMSCOUT_CENTRAL, the central inventory's libpq connection\n"
    "string (else from /etc/default/onvif_camscout, else libpq's PGHOST, PGSERVICE ...);\n"
    "its password only in PGPASSFILE or ~/.pgpass.\n"
    "Exit status: 0 done; 1 failed (--changes: something changed); 2 a wrong command line, a\n"
    "cell no run writes (--changes: any trouble); 3 --expire ran out of time, with\n"
    "the rest left for the next time.\n"
    "See onvif_camscout_list(1).\n";

struct options {
    out_format format = out_format::table;
    bool all = false, changes = false, central = false, setup = false, upgrade = false, runs = false;
    unsigned formats = 0;      // a bit for each of --json, --csv and --wide given
    std::string store, since;  // since: as the store writes times, or empty
    std::string name;          // the store as shown: no secret of a connection string
    int expire_days = 0;       // --expire: sightings older than this go; 0 when not asked
};

// Long options, and -h; each is handled in the switch of parse.
enum option_id { opt_json = 256, opt_csv, opt_wide, opt_all, opt_changes, opt_since, opt_store, opt_central, opt_setup,
                 opt_expire, opt_upgrade, opt_version, opt_runs };
static const option long_options[] = {
    {"json", no_argument, nullptr, opt_json},         {"csv", no_argument, nullptr, opt_csv},
    {"wide", no_argument, nullptr, opt_wide},         {"all", no_argument, nullptr, opt_all},
    {"changes", no_argument, nullptr, opt_changes},   {"since", required_argument, nullptr, opt_since},
    {"store", required_argument, nullptr, opt_store}, {"central", no_argument, nullptr, opt_central},
    {"setup", no_argument, nullptr, opt_setup},       {"expire", required_argument, nullptr, opt_expire},
    {"upgrade", no_argument, nullptr, opt_upgrade},   {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, opt_version},   {"runs", no_argument, nullptr, opt_runs},
    {nullptr, 0, nullptr, 0},
};

// What the command line asks: a run with the options read, an answer that
// has been printed (--help, --version), or nothing for being wrong.
enum class command_line { run, answered, wrong };

// What is wrong with options given together, or "".
static std::string wrong_together(const options& o, bool store_named, bool since_given, bool expire_given)
{
    if (std::popcount(o.formats) > 1)
        return "--json, --csv and --wide do not go together";
    if ((o.setup || expire_given) &&
        (!o.central || o.all || o.changes || o.format != out_format::table || (o.setup && expire_given)))
        return o.setup ? "--setup goes with --central alone" : "--expire goes with --central alone";
    if (o.runs && (o.central || o.all || o.changes || o.setup || o.upgrade || since_given || expire_given))
        return "--runs goes with --store and a format alone";
    if (o.upgrade && (o.central || o.all || o.changes || o.formats != 0 || since_given))
        return "--upgrade goes with --store alone";
    if (o.central && store_named)
        return "--store and --central name two inventories: give one";
    if (o.all && o.changes)
        return "--all and --changes do not go together";
    if (since_given && !o.changes)
        return "--since goes with --changes";
    return "";
}

// A whole number of days up to a century, or 0.
static int parse_days(const std::string& text)
{
    bool digits = !text.empty() && text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos;
    int days = digits ? std::stoi(text) : 0;
    return days <= 36500 ? days : 0;
}

// Reads the options into o. What is wrong goes to why, unless getopt_long
// has said it already.
static command_line parse(int argc, char** argv, options& o, std::string& why)
{
    o.store = settings().store_path;
    std::optional<std::string> since, expire;
    bool store_named = false;
    for (int c; (c = getopt_long(argc, argv, "h", long_options, nullptr)) != -1;) {
        switch (c) {
        case opt_json:
        case opt_csv:
        case opt_wide:
            o.format = c == opt_json ? out_format::json : c == opt_csv ? out_format::csv : out_format::wide;
            o.formats |= 1u << (c - opt_json);
            break;
        case opt_all: o.all = true; break;
        case opt_changes: o.changes = true; break;
        case opt_since: since = optarg; break;
        case opt_store: o.store = optarg; store_named = true; break;
        case opt_central: o.central = true; break;
        case opt_setup: o.setup = true; break;
        case opt_expire: expire = optarg; break;
        case opt_upgrade: o.upgrade = true; break;
        case opt_runs: o.runs = true; break;
        case 'h': std::fputs(usage, stdout); return command_line::answered;
        case opt_version: std::puts("onvif_camscout_list " CAMSCOUT_VERSION); return command_line::answered;
        default: return command_line::wrong;
        }
    }
    why = optind < argc ? std::string("unexpected argument ") + argv[optind]
                        : wrong_together(o, store_named, since.has_value(), expire.has_value());
    std::optional<long long> at = since ? parse_since(*since) : std::nullopt;
    if (why.empty() && since && !at)
        why = "--since: not a UTC time such as 2026-12-06 or 2026-12-06T05:30:00Z: '" + *since + "'";
    o.since = at ? format_utc(*at) : "";
    o.expire_days = expire ? parse_days(*expire) : 0;
    if (why.empty() && expire && o.expire_days == 0)
        why = "--expire: not a whole number of days from 1 to 36500: '" + *expire + "'";
    return why.empty() ? command_line::run : command_line::wrong;
}

// The work was done as far as its time allowed, and the rest goes next
// time: no failure, but not all either.
static const int more_next_time = 3;

// As the database's owner: the central schema made, or brought up to date.
static int set_up(const std::string& conninfo, const std::string& name)
{
    int was = 0;
    std::string why = set_up_central(conninfo, was);
    if (!why.empty()) {
        std::fprintf(stderr, "onvif_camscout_list: %s cannot be set up: %s\n", name.c_str(), escape_text(why).c_str());
        return 1;
    }
    std::string from = was > 0 && was < central_schema_version ? ", upgraded from version " + std::to_string(was) : "";
    std::printf("onvif_camscout_list: %s has the central schema, version %d%s\n", name.c_str(), central_schema_version,
                from.c_str());
    return 0;
}

// As the database's owner: the sightings older than days removed, in
// bounded steps; more_next_time when the budget ended before the last of them.
static int expire(const std::string& conninfo, const std::string& name, int days)
{
    auto start = std::chrono::steady_clock::now();
    long long runs = 0;
    bool done = false;
    std::string why = expire_central(conninfo, days, runs, done);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::string trimmed = std::to_string(runs) + (runs == 1 ? " run" : " runs") + " older than " + std::to_string(days) +
                          " days removed with their sightings";
    if (!why.empty()) {
        std::string before = runs > 0 ? " (" + trimmed + " before)" : "";
        std::fprintf(stderr, "onvif_camscout_list: %s cannot be trimmed: %s%s\n", name.c_str(), escape_text(why).c_str(),
                     before.c_str());
        return 1;
    }
    std::printf("onvif_camscout_list: %s: %s in %.1f s%s\n", name.c_str(), trimmed.c_str(), took.count(),
                done ? "" : "; the rest (out of time, or held by a forward) goes at the next expiry");
    return done ? 0 : more_next_time;
}

// The store brought to this version, each step said on a terminal.
static int upgrade(const std::string& path)
{
    bool terminal = isatty(STDERR_FILENO);
    std::string why = store_upgrade_at(path, [&](const std::string& step) {
        if (terminal)
            std::fprintf(stderr, "onvif_camscout_list: %s: %s\n", escape_text(path).c_str(), escape_text(step).c_str());
    });
    if (!why.empty()) {
        std::fprintf(stderr, "onvif_camscout_list: the store %s cannot be upgraded: %s\n", escape_text(path).c_str(),
                     escape_text(why).c_str());
        return 1;
    }
    std::printf("onvif_camscout_list: the store %s is up to date\n", escape_text(path).c_str());
    return 0;
}

int main(int argc, char** argv)
{
    options o;
    std::string wrong;
    command_line asked = parse(argc, argv, o, wrong);
    if (asked == command_line::answered)
        return 0;
    if (asked == command_line::wrong) {  // one line, as getopt_long says it too
        if (!wrong.empty())
            std::fprintf(stderr, "onvif_camscout_list: %s (see --help)\n", wrong.c_str());
        return 2;
    }
    // The central inventory is named by CAMSCOUT_CENTRAL (or libpq's own
    // variables), never on the command line, where every local user sees it.
    const std::string& conninfo = settings().central;
    std::string refused = o.central ? central_refusal(conninfo) : "";
    if (!refused.empty()) {
        std::fprintf(stderr, "onvif_camscout_list: %s\n", escape_text(refused).c_str());
        return 2;
    }
    // Whatever a connection string or a server says is shown escaped, as device texts are.
    o.name = escape_text(o.central ? "the central inventory at " + conninfo_for_display(conninfo) : "the store " + o.store);
    if (o.upgrade)
        return upgrade(o.store);
    if (o.setup)
        return set_up(conninfo, o.name);
    if (o.expire_days > 0)
        return expire(conninfo, o.name, o.expire_days);
    store_reader store;
    std::string why = o.central ? open_central_store(conninfo, store, o.changes ? 2 : 1) : open_sqlite_store(o.store, o.changes, store);
    std::vector<source_change> changes;
    int failure = o.changes ? 2 : 1;
    try {
        // The runs' questions see one snapshot of the store, as a table's two passes do; the central
        // inventory's rows come from a cursor, which needs a transaction.
        if (why.empty() && (o.central || o.changes || o.format == out_format::table || o.format == out_format::wide))
            why = store.query(store.snapshot, {}, [](const result_row&) {});
        if (why.empty())
            why = o.changes ? read_changes(store, o.since, changes)
                  : o.runs  ? print_runs(o.format, store, o.name)
                            : print_sources(o.format, o.all, store, o.name);
    } catch (const unexpected_cell& cell) {  // the store was read, but holds what no run writes
        why = cell.what();
        failure = 2;
    }
    if (!why.empty()) {
        std::fprintf(stderr, "onvif_camscout_list: cannot read %s: %s\n", o.name.c_str(), escape_text(why).c_str());
        return failure;
    }
    if (!o.changes)
        return 0;
    // As diff: 0 when nothing changed, 1 when something did.
    print_changes(o.format, store, changes);
    return changes.empty() ? 0 : 1;
}
