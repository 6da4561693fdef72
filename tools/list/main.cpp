// onvif_camscout_list: the found media sources of the store, as a table,
// JSON or CSV.
#include <sqlite3.h>

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/settings.h"

static const char usage[] = "usage: onvif_camscout_list [--json | --csv] [--all] [--store PATH]\n";

struct source_row {
    std::string address, mac, model, last_seen;
    long long port = 0, brand = 0, model_brand = 0, model_no = 0;
};

struct options {
    enum { table, json, csv } format = table;
    bool all = false;
    std::string store;
};

static bool parse(int argc, char** argv, options& o)
{
    o.store = settings().store_path;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--json") o.format = options::json;
        else if (a == "--csv") o.format = options::csv;
        else if (a == "--all") o.all = true;
        else if (a == "--store" && i + 1 < argc) o.store = argv[++i];
        else return false;
    }
    return true;
}

static std::string column_text(sqlite3_stmt* st, int i)
{
    const unsigned char* t = sqlite3_column_text(st, i);
    return t ? reinterpret_cast<const char*>(t) : "";
}

// Reads the rows; returns an empty string or what failed.
static std::string read_rows(const options& o, std::vector<source_row>& rows)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(o.store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::string why = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return why;
    }
    sqlite3_busy_timeout(db, 2000);
    std::string sql = std::string("SELECT ip_addr, mac_addr, port, brand_id, model, model_id >> 32,"
                                  " model_id & 4294967295, found_at FROM ") +
                      (o.all ? "found_media_sources ORDER BY id" : "media_sources ORDER BY ip_addr, id");
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        std::string why = sqlite3_errmsg(db);
        sqlite3_close(db);
        return why;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        rows.push_back({column_text(st, 0), column_text(st, 1), column_text(st, 4), column_text(st, 7),
                        sqlite3_column_int64(st, 2), sqlite3_column_int64(st, 3), sqlite3_column_int64(st, 5),
                        sqlite3_column_int64(st, 6)});
    std::string why = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return why;
}

static std::vector<std::string> cells(const source_row& r)
{
    return {r.address, r.mac, std::to_string(r.port), std::to_string(r.brand), r.model,
            std::to_string(r.model_brand) + "/" + std::to_string(r.model_no), r.last_seen};
}

static const std::vector<std::string> headings = {"ADDRESS", "MAC", "PORT", "BRAND", "MODEL", "MODEL ID", "LAST SEEN"};

static void print_table(const std::vector<source_row>& rows)
{
    std::vector<std::size_t> width;
    for (const std::string& h : headings)
        width.push_back(h.size());
    for (const source_row& r : rows) {
        auto c = cells(r);
        for (std::size_t i = 0; i < c.size(); ++i)
            width[i] = std::max(width[i], c[i].size());
    }
    auto line = [&](const std::vector<std::string>& c) {
        std::string out;
        for (std::size_t i = 0; i < c.size(); ++i)
            out += c[i] + (i + 1 < c.size() ? std::string(width[i] - c[i].size() + 2, ' ') : "");
        std::cout << out << "\n";
    };
    line(headings);
    for (const source_row& r : rows)
        line(cells(r));
}

static std::string csv_cell(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

static void print_csv(const std::vector<source_row>& rows)
{
    std::cout << "address,mac,port,brand,model,model_id,last_seen\n";
    for (const source_row& r : rows) {
        auto c = cells(r);
        for (std::size_t i = 0; i < c.size(); ++i)
            std::cout << csv_cell(c[i]) << (i + 1 < c.size() ? "," : "\n");
    }
}

static void print_json(const std::vector<source_row>& rows)
{
    nlohmann::json out = nlohmann::json::array();
    for (const source_row& r : rows)
        out.push_back({{"address", r.address}, {"mac", r.mac}, {"port", r.port}, {"brand", r.brand},
                       {"model", r.model}, {"model_id", {{"brand", r.model_brand}, {"model", r.model_no}}},
                       {"last_seen", r.last_seen}});
    // Device texts are not always valid UTF-8; replace rather than fail.
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

int main(int argc, char** argv)
{
    options o;
    if (!parse(argc, argv, o)) {
        std::fputs(usage, stderr);
        return 2;
    }
    std::vector<source_row> rows;
    std::string why = read_rows(o, rows);
    if (!why.empty()) {
        std::fprintf(stderr, "onvif_camscout_list: cannot read the store %s: %s\n", o.store.c_str(), why.c_str());
        return 1;
    }
    if (o.format == options::json)
        print_json(rows);
    else if (o.format == options::csv)
        print_csv(rows);
    else if (rows.empty())
        std::cout << "no media sources found yet in " << o.store << "\n";
    else
        print_table(rows);
    return 0;
}
