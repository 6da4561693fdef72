// The store's rows, its runs' outcomes and the changes between runs, as the list tool prints them.
#include "output.h"

// The table gives a time to the minute, as ls -l does, to fit 80 columns.
static std::string shown_time(out_format format, const std::string& time)
{
    if (format == out_format::table && time.size() > 16 && time[10] == 'T')
        return time.substr(0, 10) + ' ' + time.substr(11, 5);
    return time;
}

// Items whose first cell is their recorder: shown in a column of its own
// from the central inventory, left out of a recorder's own store.
static std::string print_rows(out_format format, const store_reader& store, listing what, const item_source& items)
{
    if (store.central) {
        what.headings.insert(what.headings.begin(), "RECORDER");
        what.cut.push_back("RECORDER");
        return print_items(format, what, items);
    }
    return print_items(format, what, [&](const item_sink& each) {
        return items([&](const std::vector<std::string>& cells) { each({cells.begin() + 1, cells.end()}); });
    });
}

std::string print_sources(out_format format, bool all, const store_reader& store, const std::string& name)
{
    std::string sql = "SELECT " + store.columns + " FROM " +
                      (all ? "found_media_sources ORDER BY " + store.order_all : "media_sources ORDER BY " + store.order_newest);
    listing what{{"ADDRESS", "MAC", "PORT", "BRAND", "MODEL", "MODEL ID", "LAST SEEN"}, {"MODEL"}, {"PORT", "BRAND"},
                 "no media sources found yet in " + name};
    return print_rows(format, store, what, [&](const item_sink& each) {
        return store.query(sql, {}, [&](const result_row& row) {
            source_row r = source_row_of(store, row);
            each({r.recorder, r.address, r.mac, std::to_string(r.port), std::to_string(r.brand), r.model,
                  std::to_string(r.model_brand) + "/" + std::to_string(r.model_no), shown_time(format, r.found_at)});
        });
    });
}

std::string print_runs(out_format format, const store_reader& store, const std::string& name)
{
    listing what{{"STARTED", "SECONDS", "FOUND", "STORED", "NO MAC", "REFUSED", "FORWARDED", "DATAGRAMS", "DROPS",
                  "CUT SHORT"}, {"CUT SHORT"}, {}, "no runs recorded yet in " + name};
    what.numbers.assign(what.headings.begin() + 1, what.headings.end() - 1);
    bool kept = false;  // a store that no run has used since outcomes were kept has no table for them
    std::string why = store.query("SELECT 1 FROM sqlite_master WHERE name = 'run_outcomes'", {},
                                  [&](const result_row&) { kept = true; });
    return print_items(format, what, [&](const item_sink& each) {
        if (!kept)
            return why;
        return store.query("SELECT started, printf('%.1f', seconds), found, stored, no_mac, refused, forwarded, datagrams,"
                           " drops, cut_short FROM run_outcomes ORDER BY rowid DESC", {}, [&](result_row row) {
            row[0] = shown_time(format, row[0]);
            each(row);
        });
    });
}

void print_changes(out_format format, const store_reader& store, const std::vector<source_change>& changes)
{
    listing what{{"CHANGE", "MAC", "ADDRESS", "BEFORE", "NOW"}, {"BEFORE", "NOW"}, {}, "no changes"};
    print_rows(format, store, what, [&](const item_sink& each) {
        for (const source_change& c : changes)
            each({c.recorder, c.kind, c.mac, c.address, c.before, c.now});
        return std::string();
    });
}
