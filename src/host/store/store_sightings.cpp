#include "host/store/store_sightings.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "host/store/sqlite_query.h"
#include "host/log/utc_time.h"

// After the id: 1 found_at, 2 run_pid, 3 run_started, 4 to 10 the facts.
const char store_row_columns[] = "found_at, run_pid, run_started, mac_addr, ip_addr, port, model, model_id, brand_id, record";
static const int first_fact = 4, fact_count = 7;

static const char* const adder_sql[] = {
    "SELECT id FROM runs WHERE run_pid IS ?1 AND run_started IS ?2 ORDER BY id DESC LIMIT 1",
    "INSERT INTO runs (run_pid, run_started, started_ms) VALUES (?1, ?2, ?3)",
    "SELECT id FROM facts WHERE mac_addr IS ?1 AND ip_addr IS ?2 AND port IS ?3 AND model IS ?4 AND model_id IS ?5"
    " AND brand_id IS ?6 AND record IS ?7 ORDER BY id DESC LIMIT 1",
    "INSERT INTO facts (mac_addr, ip_addr, port, model, model_id, brand_id, record, first_run) VALUES (?1, ?2, ?3, ?4,"
    " ?5, ?6, ?7, ?8)",
    "INSERT INTO sightings (id, run, facts, at, found_at) VALUES (?1, ?2, ?3, ?4, ?5)",
    "UPDATE facts SET last_sighting = max(coalesce(last_sighting, 0), ?2) WHERE id = ?1",
    "UPDATE runs SET first_sighting = min(coalesce(first_sighting, ?2), ?2),"
    " last_sighting = max(coalesce(last_sighting, 0), ?3) WHERE id = ?1",
};
enum adder_step { find_run, add_run, find_facts, add_facts, add_sighting, facts_seen, run_seen, adder_steps };

struct run_entry {
    long long id = 0;
    std::optional<std::string> started;  // run_started when it is text
    long long first = 0, last = 0;
};

// A part of a migration adds 200,000 rows of a few runs and devices: what
// it has looked up once it keeps, and writes each run's and facts' range once.
struct adder {
    sqlite3* db;
    sqlite3_stmt* st[adder_steps] = {};
    std::unordered_map<std::string, run_entry> runs;
    std::unordered_map<std::string, long long> facts;
    std::unordered_map<long long, long long> facts_last;
    std::string why;

    explicit adder(sqlite3* d) : db(d)
    {
        for (int i = 0; i < adder_steps && why.empty(); ++i)
            if (sqlite3_prepare_v2(db, adder_sql[i], -1, &st[i], nullptr) != SQLITE_OK)
                why = sqlite3_errmsg(db);
    }
    ~adder()
    {
        for (sqlite3_stmt* s : st)
            sqlite3_finalize(s);
    }
    // Steps s once; the first column's integer, or nullopt for no row.
    std::optional<long long> step(adder_step s)
    {
        int rc = sqlite3_step(st[s]);
        std::optional<long long> out;
        if (rc == SQLITE_ROW)
            out = sqlite3_column_int64(st[s], 0);
        else if (rc == SQLITE_DONE && std::strncmp(adder_sql[s], "INSERT", 6) == 0)
            out = sqlite3_last_insert_rowid(db);
        else if (rc != SQLITE_DONE && why.empty())
            why = sqlite3_errmsg(db);
        return out;
    }
};

// A value as SQLite holds it, its type included, so that equal keys are what IS finds equal.
static void add_key(std::string& key, sqlite3_stmt* row, int i)
{
    int type = sqlite3_column_type(row, i);
    std::string bytes;
    if (type == SQLITE_INTEGER)
        bytes = std::to_string(sqlite3_column_int64(row, i));
    else if (type == SQLITE_FLOAT) {
        double d = sqlite3_column_double(row, i);
        bytes.assign(reinterpret_cast<const char*>(&d), sizeof d);
    } else if (type != SQLITE_NULL) {
        const char* b = static_cast<const char*>(sqlite3_column_blob(row, i));
        if (int n = sqlite3_column_bytes(row, i); n > 0)
            bytes.assign(b, static_cast<std::size_t>(n));
    }
    key += std::to_string(type) + ":" + std::to_string(bytes.size()) + ":" + bytes;
}

static run_entry* run_of(adder& a, sqlite3_stmt* row)
{
    std::string key;
    add_key(key, row, 2);
    add_key(key, row, 3);
    auto known = a.runs.find(key);
    if (known != a.runs.end())
        return &known->second;
    run_entry run;
    if (sqlite3_column_type(row, 3) == SQLITE_TEXT)
        run.started = reinterpret_cast<const char*>(sqlite3_column_text(row, 3));
    std::optional<long long> ms = run.started ? parse_utc(*run.started) : std::nullopt;
    for (adder_step s : {find_run, add_run}) {
        sqlite3_reset(a.st[s]);
        sqlite3_bind_value(a.st[s], 1, sqlite3_column_value(row, 2));
        sqlite3_bind_value(a.st[s], 2, sqlite3_column_value(row, 3));
        if (s == add_run && ms)
            sqlite3_bind_int64(a.st[s], 3, *ms);
        else if (s == add_run)
            sqlite3_bind_null(a.st[s], 3);
        std::optional<long long> id = a.step(s);
        if (id) {
            run.id = *id;
            break;
        }
    }
    return a.why.empty() ? &(a.runs[key] = run) : nullptr;
}

static std::optional<long long> facts_of(adder& a, sqlite3_stmt* row, long long run)
{
    std::string key;
    for (int i = first_fact; i < first_fact + fact_count; ++i)
        add_key(key, row, i);
    auto known = a.facts.find(key);
    if (known != a.facts.end())
        return known->second;
    std::optional<long long> id;
    for (adder_step s : {find_facts, add_facts}) {
        sqlite3_reset(a.st[s]);
        for (int i = 0; i < fact_count; ++i)
            sqlite3_bind_value(a.st[s], i + 1, sqlite3_column_value(row, first_fact + i));
        sqlite3_bind_int64(a.st[s], 8, run);
        if ((id = a.step(s)))
            break;
    }
    if (id)
        a.facts[key] = *id;
    return id;
}

static bool ascii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// When: the found time's text past what it shares with its run's start,
// a few bytes that give back the very text at the cost of a substr, where
// both are texts of one length (as the store writes times); else the text.
static void bind_when(sqlite3_stmt* add, sqlite3_stmt* row, const run_entry& run)
{
    const char* found = sqlite3_column_type(row, 1) == SQLITE_TEXT
                            ? reinterpret_cast<const char*>(sqlite3_column_text(row, 1)) : nullptr;
    if (found && run.started && run.started->size() == std::strlen(found) && ascii(*run.started) && ascii(found)) {
        std::size_t same = 0;
        while (found[same] != '\0' && found[same] == (*run.started)[same])
            ++same;
        sqlite3_bind_text(add, 4, found + same, -1, SQLITE_TRANSIENT);
        sqlite3_bind_null(add, 5);
    } else {
        sqlite3_bind_null(add, 4);
        sqlite3_bind_value(add, 5, sqlite3_column_value(row, 1));
    }
}

static void add_row(adder& a, sqlite3_stmt* row)
{
    run_entry* run = run_of(a, row);
    std::optional<long long> facts = run ? facts_of(a, row, run->id) : std::nullopt;
    if (!facts)
        return;
    sqlite3_stmt* add = a.st[add_sighting];
    sqlite3_reset(add);
    sqlite3_bind_value(add, 1, sqlite3_column_value(row, 0));
    sqlite3_bind_int64(add, 2, run->id);
    sqlite3_bind_int64(add, 3, *facts);
    bind_when(add, row, *run);
    std::optional<long long> id = a.step(add_sighting);
    if (!id)
        return;
    run->first = run->first ? std::min(run->first, *id) : *id;
    run->last = std::max(run->last, *id);
    long long& last = a.facts_last[*facts];
    last = std::max(last, *id);
}

static void write_ranges(adder& a)
{
    for (const auto& [facts, last] : a.facts_last) {
        sqlite3_reset(a.st[facts_seen]);
        sqlite3_bind_int64(a.st[facts_seen], 1, facts);
        sqlite3_bind_int64(a.st[facts_seen], 2, last);
        a.step(facts_seen);
    }
    for (const auto& [key, run] : a.runs) {
        if (run.last == 0)
            continue;
        sqlite3_reset(a.st[run_seen]);
        sqlite3_bind_int64(a.st[run_seen], 1, run.id);
        sqlite3_bind_int64(a.st[run_seen], 2, run.first);
        sqlite3_bind_int64(a.st[run_seen], 3, run.last);
        a.step(run_seen);
    }
}

std::string store_add_rows(sqlite3* db, const std::string& select)
{
    adder a(db);
    sqlite3_stmt* rows = nullptr;
    if (a.why.empty() && sqlite3_prepare_v2(db, select.c_str(), -1, &rows, nullptr) != SQLITE_OK)
        a.why = sqlite3_errmsg(db);
    int rc = SQLITE_DONE;
    while (a.why.empty() && (rc = sqlite3_step(rows)) == SQLITE_ROW)
        add_row(a, rows);
    if (a.why.empty() && rc != SQLITE_DONE)
        a.why = sqlite3_errmsg(db);
    sqlite3_finalize(rows);
    if (a.why.empty())
        write_ranges(a);
    return a.why;
}

// A part is committed before the next begins, so a move cut short (the
// process ended at the end of its run) keeps what it moved.
std::string store_move_pending(sqlite3* db)
{
    for (;;) {
        std::string why = sqlite_run(db, "BEGIN IMMEDIATE");
        if (!why.empty())
            return why;
        std::string last = std::to_string(sqlite_integer(db, "SELECT coalesce((SELECT id FROM found_pending ORDER BY id"
                                                             " LIMIT 1 OFFSET 999), (SELECT max(id) FROM found_pending), 0)", 0));
        if (last == "0")
            return sqlite_run(db, "COMMIT");
        why = store_add_rows(db, std::string("SELECT NULL, ") + store_row_columns + " FROM found_pending WHERE id <= " +
                                     last + " ORDER BY id");
        if (why.empty())
            why = sqlite_run(db, "DELETE FROM found_pending WHERE id <= " + last + "; COMMIT");
        if (!why.empty()) {
            sqlite_run(db, "ROLLBACK");
            return why;
        }
    }
}
