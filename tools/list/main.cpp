// onvif_camscout_list: the found media sources of the store, or what changed
// between the last two runs, as a table, JSON or CSV.
#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "changes.h"
#include "output.h"
#include "host/settings/settings.h"
#include "host/store/central_text.h"
#include "rows.h"

static const char usage[] =
    "usage: onvif_camscout_list [--json | --csv] [--all | --changes [--since TIME]] [--store PATH | --central]\n"
    "       onvif_camscout_list --central --setup\n";

struct options {
    enum { table, json, csv } format = table;
    bool all = false, changes = false, central = false, setup = false;
    std::string store, since;
};

static bool parse(int argc, char** argv, options& o)
{
    o.store = settings().store_path;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--json") o.format = options::json;
        else if (a == "--csv") o.format = options::csv;
        else if (a == "--all") o.all = true;
        else if (a == "--changes") o.changes = true;
        else if (a == "--since" && has_value) o.since = argv[++i];
        else if (a == "--store" && has_value) o.store = argv[++i];
        else if (a == "--central") o.central = true;
        else if (a == "--setup") o.setup = true;
        else return false;
    }
    if (o.setup && (!o.central || o.all || o.changes || o.format != options::table))
        return false;
    // UTC as the store writes it, to any precision: 2026-12-06, 2026-12-06T05:00 ...
    static const std::regex utc(R"(\d{4}-\d{2}-\d{2}(T\d{2}(:\d{2}(:\d{2}(\.\d{1,3})?)?)?)?Z?)");
    return !(o.all && o.changes) && (o.since.empty() || (o.changes && std::regex_match(o.since, utc)));
}

// The central inventory's rows come with their recorder, a first column.
static void add_recorder(text_table& t, const std::vector<std::string>& recorders)
{
    if (std::all_of(recorders.begin(), recorders.end(), [](const std::string& r) { return r.empty(); }))
        return;
    t[0].insert(t[0].begin(), "RECORDER");
    for (std::size_t i = 0; i < recorders.size(); ++i)
        t[i + 1].insert(t[i + 1].begin(), recorders[i]);
}

// An empty table is said in so many words.
static void print_in_format(const options& o, const text_table& t, const nlohmann::json& json,
                            const std::string& when_empty)
{
    if (o.format == options::json)
        print_json(json);
    else if (o.format == options::csv)
        print_csv(t);
    else if (t.size() < 2)
        std::printf("%s\n", when_empty.c_str());
    else
        print_table(t);
}

static void print_sources(const options& o, const std::vector<source_row>& rows)
{
    text_table t = {{"ADDRESS", "MAC", "PORT", "BRAND", "MODEL", "MODEL ID", "LAST SEEN"}};
    std::vector<std::string> recorders;
    nlohmann::json json = nlohmann::json::array();
    for (const source_row& r : rows) {
        std::string id = std::to_string(r.model_brand) + "/" + std::to_string(r.model_no);
        t.push_back({r.address, r.mac, std::to_string(r.port), std::to_string(r.brand), r.model, id, r.found_at});
        recorders.push_back(r.recorder);
        nlohmann::json j = {{"port", r.port}, {"brand", r.brand}, {"last_seen", r.found_at},
                            {"model_id", {{"brand", r.model_brand}, {"model", r.model_no}}}};
        put_text(j, "address", r.address);
        put_text(j, "mac", r.mac);
        put_text(j, "model", r.model);
        if (!r.recorder.empty())
            put_text(j, "recorder", r.recorder);
        json.push_back(j);
    }
    add_recorder(t, recorders);
    print_in_format(o, t, json, "no media sources found yet in " + (o.central ? "the central inventory" : o.store));
}

static void print_changes(const options& o, const std::vector<source_change>& changes)
{
    text_table t = {{"CHANGE", "MAC", "ADDRESS", "BEFORE", "NOW"}};
    std::vector<std::string> recorders;
    nlohmann::json json = nlohmann::json::array();
    for (const source_change& c : changes) {
        t.push_back({c.kind, c.mac, c.address, c.before, c.now});
        recorders.push_back(c.recorder);
        nlohmann::json j = {{"change", c.kind}};
        for (auto [key, text] : {std::pair{"mac", &c.mac}, {"address", &c.address}, {"before", &c.before},
                                 {"now", &c.now}, {"recorder", &c.recorder}})
            if (!text->empty() || key != std::string("recorder"))
                put_text(j, key, *text);
        json.push_back(j);
    }
    add_recorder(t, recorders);
    print_in_format(o, t, json, "no changes");
}

// As the database's owner: the central schema made or migrated.
static int set_up(const std::string& conninfo, const std::string& name)
{
    std::string why = set_up_central(conninfo, central_setup_sql());
    if (!why.empty()) {
        std::fprintf(stderr, "onvif_camscout_list: %s cannot be set up: %s\n", name.c_str(), why.c_str());
        return 1;
    }
    std::printf("onvif_camscout_list: %s has the central schema, version %d\n", name.c_str(), central_schema_version);
    return 0;
}

int main(int argc, char** argv)
{
    options o;
    if (!parse(argc, argv, o)) {
        std::fputs(usage, stderr);
        return 2;
    }
    // The central inventory is named by CAMSCOUT_CENTRAL (or libpq's own
    // variables), never on the command line, where every local user sees it.
    const std::string& conninfo = settings().central;
    std::string name = o.central ? "the central inventory at " + conninfo_for_display(conninfo) : "the store " + o.store;
    if (o.setup)
        return set_up(conninfo, name);
    std::vector<source_row> rows;
    std::string why = o.central ? read_central_rows(conninfo, o.all || o.changes, rows)
                                : read_sqlite_rows(o.store, o.all || o.changes, rows);
    if (!why.empty()) {
        std::fprintf(stderr, "onvif_camscout_list: cannot read %s: %s\n", name.c_str(), why.c_str());
        return o.changes ? 2 : 1;
    }
    if (!o.changes) {
        print_sources(o, rows);
        return 0;
    }
    // As diff: 0 when nothing changed, 1 when something did.
    std::vector<source_change> changes = changes_between_runs(rows, o.since);
    print_changes(o, changes);
    return changes.empty() ? 0 : 1;
}
