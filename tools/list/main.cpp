// onvif_camscout_list: the found media sources of the store, or what changed
// between the last two runs, as a table, JSON or CSV, printed as read.
#include <getopt.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <cstdio>
#include <optional>

#include "host/settings/settings.h"
#include "host/central/central_connection.h"
#include "host/central/central_inventory.h"
#include "host/log/text_escape.h"
#include "host/log/utc_time.h"
#include "host/store/store_reading.h"
#include "output.h"
#include "read_postgres.h"

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
    "  --runs           each run's outcome, newest first: its counts and what was cut short\n"
    "  --since TIME     with --changes: against the last run that started before TIME, UTC\n"
    "                   (2026-12-06, 2026-12-06T05:30, 2026-12-06T05:30:00Z ...)\n"
    "  --store PATH     the store, else $CAMSCOUT_STORE, else /var/lib/onvif_camscout/media_sources.db\n"
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
    "store to --upgrade, a cell no run writes (--changes: any trouble); 3 --expire left work.\n"
    "See onvif_camscout_list(1).\n";

// Each option, with the others it goes with and those it needs; -h, --help
// and --version answer whatever else is given.
enum option_id { o_json, o_csv, o_wide, o_all, o_changes, o_since, o_store, o_central, o_setup, o_expire, o_upgrade,
                 o_runs, o_help, o_version, option_count };
constexpr unsigned bit(option_id id)
{
    return 1u << id;
}
constexpr unsigned formats = bit(o_json) | bit(o_csv) | bit(o_wide);
constexpr unsigned with_format = bit(o_all) | bit(o_changes) | bit(o_since) | bit(o_store) | bit(o_central) | bit(o_runs);
struct option_rule {
    const char* name;
    bool value;
    unsigned goes_with, needs;
};
static const option_rule rules[option_count] = {
    {"json", false, with_format, 0},
    {"csv", false, with_format, 0},
    {"wide", false, with_format, 0},
    {"all", false, formats | bit(o_store) | bit(o_central), 0},
    {"changes", false, formats | bit(o_since) | bit(o_store) | bit(o_central), 0},
    {"since", true, formats | bit(o_changes) | bit(o_store) | bit(o_central), bit(o_changes)},
    {"store", true, formats | bit(o_all) | bit(o_changes) | bit(o_since) | bit(o_runs) | bit(o_upgrade), 0},
    {"central", false, formats | bit(o_all) | bit(o_changes) | bit(o_since) | bit(o_setup) | bit(o_expire), 0},
    {"setup", false, bit(o_central), bit(o_central)},
    {"expire", true, bit(o_central), bit(o_central)},
    {"upgrade", false, bit(o_store), 0},
    {"runs", false, formats | bit(o_store), 0},
    {"help", false, 0, 0},
    {"version", false, 0, 0},
};

struct options {
    unsigned given = 0;                  // a bit for each option given
    std::string value[option_count];     // what was given with it
    bool has(option_id id) const { return (given & bit(id)) != 0; }
};

// What is wrong with the options given together, or "".
static std::string wrong_together(unsigned given)
{
    for (int i = 0; i < option_count; ++i) {
        const option_rule& r = rules[i];
        unsigned clash = given & ~bit(option_id(i)) & ~r.goes_with;
        if (!(given & bit(option_id(i))))
            continue;
        if (clash)
            return std::string("--") + r.name + " and --" + rules[std::countr_zero(clash)].name + " do not go together";
        if ((given & r.needs) != r.needs)
            return std::string("--") + r.name + " goes with --" + rules[std::countr_zero(r.needs)].name;
    }
    return "";
}

// 2026-12-06, 2026-12-06T05, ...T05:30, ...T05:30:00 or ...T05:30:00.250,
// each with or without a trailing Z, in UTC, as the store writes times; ""
// for anything else (2026-13-45 and an empty text included).
static std::string parse_since(std::string text)
{
    if (!text.empty() && text.back() == 'Z')
        text.pop_back();
    // A form cut short at a separator, or in its milliseconds, is completed
    // to the store's form, which alone is checked whole.
    static const std::string whole = "2000-01-01T00:00:00.000";
    std::size_t n = text.size();
    bool cut_short = n >= 10 && (n > 20 ? n <= 23 : std::string("T:.").find(whole[n]) != std::string::npos);
    std::optional<long long> at = cut_short ? parse_utc(text + whole.substr(n) + "Z") : std::nullopt;
    return at ? format_utc(*at) : "";
}

// Reads the options into o: -1 to run with them, else the exit status of
// an answer printed (--help, --version) or of a wrong command line, said.
static int parse(int argc, char** argv, options& o)
{
    option long_options[option_count + 1] = {};
    for (int i = 0; i < option_count; ++i)
        long_options[i] = {rules[i].name, rules[i].value ? required_argument : no_argument, nullptr, 256 + i};
    for (int c; (c = getopt_long(argc, argv, "h", long_options, nullptr)) != -1;) {
        int id = c == 'h' ? o_help : c - 256;
        if (id < 0 || id >= option_count)
            return 2;  // as getopt_long has said
        o.given |= bit(option_id(id));
        o.value[id] = optarg ? optarg : "";
        if (id == o_help || id == o_version) {
            std::fputs(id == o_help ? usage : "onvif_camscout_list " CAMSCOUT_VERSION "\n", stdout);
            return 0;
        }
    }
    const std::string& days = o.value[o_expire];  // a whole number of days up to a century
    bool digits = !days.empty() && days.size() <= 5 && days.find_first_not_of("0123456789") == std::string::npos;
    std::string why = optind < argc ? std::string("unexpected argument ") + argv[optind] : wrong_together(o.given);
    if (why.empty() && o.has(o_since) && parse_since(o.value[o_since]).empty())
        why = "--since: not a UTC time such as 2026-12-06 or 2026-12-06T05:30:00Z: '" + o.value[o_since] + "'";
    if (why.empty() && o.has(o_expire) && !(digits && std::stoi(days) >= 1 && std::stoi(days) <= 36500))
        why = "--expire: not a whole number of days from 1 to 36500: '" + o.value[o_expire] + "'";
    if (why.empty())
        return -1;
    std::fprintf(stderr, "onvif_camscout_list: %s (see --help)\n", why.c_str());  // one line, as getopt_long says it
    return 2;
}

// One line: what failed, on stderr with status 1, or what was done.
static int said(const std::string& why, const std::string& failed, const std::string& done, int status = 0)
{
    if (!why.empty()) {
        std::fprintf(stderr, "onvif_camscout_list: %s: %s\n", failed.c_str(), escape_text(why).c_str());
        return 1;
    }
    std::printf("onvif_camscout_list: %s\n", done.c_str());
    return status;
}

// --expire, as expire_central says; 3 when the budget ended before the last
// old sighting, which goes next time: no failure, but not all either.
static int expire(const std::string& conninfo, const std::string& name, int days)
{
    auto start = std::chrono::steady_clock::now();
    long long runs = 0;
    bool done = false;
    std::string why = expire_central(conninfo, days, runs, done);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    char trimmed[128], seconds[32];
    std::snprintf(trimmed, sizeof trimmed, "%lld run%s older than %d day%s removed with their sightings", runs,
                  runs == 1 ? "" : "s", days, days == 1 ? "" : "s");
    std::snprintf(seconds, sizeof seconds, " in %.1f s", took.count());
    return said(why, name + " cannot be trimmed" + (runs > 0 ? " (" + std::string(trimmed) + " before)" : ""),
                name + ": " + trimmed + seconds +
                    (done ? "" : "; the rest (out of time, or held by a forward) goes at the next expiry"),
                done ? 0 : 3);
}

int main(int argc, char** argv)
{
    options o;
    if (int answered = parse(argc, argv, o); answered >= 0)
        return answered;
    // The central inventory is named by CAMSCOUT_CENTRAL (or libpq's own
    // variables), never on the command line, where every local user sees it.
    const std::string& conninfo = settings().central;
    bool central = o.has(o_central), changes = o.has(o_changes);
    std::string refused = central ? central_refusal(conninfo) : "";
    if (!refused.empty()) {
        std::fprintf(stderr, "onvif_camscout_list: %s\n", escape_text(refused).c_str());
        return 2;
    }
    std::string path = o.has(o_store) ? o.value[o_store] : settings().store_path;
    // Whatever a connection string or a server says is shown escaped, as device texts are.
    std::string name = escape_text(central ? "the central inventory at " + conninfo_for_display(conninfo) : "the store " + path);
    if (o.has(o_upgrade)) {  // each step said on a terminal
        std::string why = store_upgrade_at(path, [&](const std::string& step) {
            if (isatty(STDERR_FILENO))
                std::fprintf(stderr, "onvif_camscout_list: %s: %s\n", name.c_str(), escape_text(step).c_str());
        });
        return said(why, name + " cannot be upgraded", name + " is up to date");
    }
    if (o.has(o_setup)) {  // as the database's owner
        int was = 0;
        std::string why = set_up_central(conninfo, was);
        std::string from = was > 0 && was < central_schema_version ? ", upgraded from version " + std::to_string(was) : "";
        return said(why, name + " cannot be set up",
                    name + " has the central schema, version " + std::to_string(central_schema_version) + from);
    }
    if (o.has(o_expire))
        return expire(conninfo, name, std::stoi(o.value[o_expire]));
    out_format format = o.has(o_json) ? out_format::json : o.has(o_csv) ? out_format::csv
                        : o.has(o_wide) ? out_format::wide : out_format::table;
    store_reader store;
    std::vector<source_change> found;
    int failure = changes ? 2 : 1;
    std::string why;
    try {
        why = central ? open_central_store(conninfo, store, failure) : open_sqlite_store(path, store);
        // The questions of --changes and --runs see one snapshot of the store; the central
        // inventory's rows come from a cursor, which needs a transaction.
        if (why.empty())
            why = store.query(store.snapshot, {}, [](const result_row&) {});
        if (why.empty())
            why = changes          ? read_changes(store, parse_since(o.value[o_since]), found)
                  : o.has(o_runs) ? print_runs(format, store, name)
                                  : print_sources(format, o.has(o_all), store, name);
    } catch (const unreadable_store& unreadable) {  // the store was read, but holds what cannot be shown
        why = unreadable.what();
        failure = 2;
    }
    if (!why.empty()) {
        std::fprintf(stderr, "onvif_camscout_list: cannot read %s: %s\n", name.c_str(), escape_text(why).c_str());
        return failure;
    }
    if (changes)
        print_changes(format, store, found);
    return found.empty() ? 0 : 1;  // as diff: 0 when nothing changed, 1 when something did
}
