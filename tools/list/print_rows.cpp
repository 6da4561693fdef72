#include "print_rows.h"

static std::string model_id(const source_row& r)
{
    return std::to_string(r.model_brand) + "/" + std::to_string(r.model_no);
}

// The table gives a time to the minute, as ls -l does, to fit 80 columns.
static std::string shown_time(out_format format, const std::string& time)
{
    if (format == out_format::table && time.size() > 16 && time[10] == 'T')
        return time.substr(0, 10) + ' ' + time.substr(11, 5);
    return time;
}

static std::vector<std::string> headings(const store_reader& store, std::vector<std::string> names)
{
    if (store.central)
        names.insert(names.begin(), "RECORDER");  // the central inventory's rows come with their recorder
    return names;
}

std::string print_sources(out_format format, bool all, const store_reader& store, const std::string& name)
{
    std::string sql = "SELECT " + store.columns + " FROM " +
                      (all ? "found_media_sources ORDER BY " + store.order_all : "media_sources ORDER BY " + store.order_newest);
    auto items = [&](const item_sink& each) {
        return store.query(sql, {}, [&](const result_row& row) {
            source_row r = source_row_of(store, row);
            std::vector<std::string> cells = {r.address, r.mac, std::to_string(r.port), std::to_string(r.brand),
                                              r.model, model_id(r), shown_time(format, r.found_at)};
            if (store.central)
                cells.insert(cells.begin(), r.recorder);
            // Only JSON reads the object; a million rows of table or CSV need not build it.
            nlohmann::json j;
            if (format == out_format::json) {
                j = {{"port", r.port}, {"brand", r.brand}, {"last_seen", r.found_at},
                     {"model_id", {{"brand", r.model_brand}, {"model", r.model_no}}}};
                for (auto [key, text] : {std::pair{"address", &r.address}, {"mac", &r.mac}, {"model", &r.model}})
                    put_text(j, key, *text);
                if (store.central)
                    put_text(j, "recorder", r.recorder);
            }
            each(cells, j);
        });
    };
    return print_items(format, headings(store, {"ADDRESS", "MAC", "PORT", "BRAND", "MODEL", "MODEL ID", "LAST SEEN"}),
                       items, "no media sources found yet in " + name, {"RECORDER", "MODEL"});
}

std::string print_runs(out_format format, const store_reader& store, const std::string& name)
{
    static const char* const keys[] = {"started", "seconds", "found", "stored", "no_mac", "refused", "forwarded",
                                       "datagrams", "drops", "cut_short"};
    bool kept = false;  // a store that no run has used since outcomes were kept has no table for them
    std::string why = store.query("SELECT 1 FROM sqlite_master WHERE name = 'run_outcomes'", {},
                                  [&](const result_row&) { kept = true; });
    auto items = [&](const item_sink& each) {
        if (!kept)
            return why;
        return store.query("SELECT started, printf('%.1f', seconds), found, stored, no_mac, refused, forwarded, datagrams,"
                           " drops, cut_short FROM run_outcomes ORDER BY rowid DESC", {}, [&](result_row row) {
            nlohmann::json j;
            for (std::size_t i = 0; i < row.size(); ++i)
                if (i == 0 || i + 1 == row.size())
                    put_text(j, keys[i], row[i]);
                else
                    j[keys[i]] = i == 1 ? nlohmann::json(std::stod(row[i])) : nlohmann::json(std::stoll(row[i]));
            row[0] = shown_time(format, row[0]);
            each(row, j);
        });
    };
    return print_items(format, {"STARTED", "SECONDS", "FOUND", "STORED", "NO MAC", "REFUSED", "FORWARDED", "DATAGRAMS",
                                "DROPS", "CUT SHORT"}, items, "no runs recorded yet in " + name, {"CUT SHORT"});
}

void print_changes(out_format format, const store_reader& store, const std::vector<source_change>& changes)
{
    auto items = [&](const item_sink& each) {
        for (const source_change& c : changes) {
            std::vector<std::string> cells = {c.kind, c.mac, c.address, c.before, c.now};
            if (store.central)
                cells.insert(cells.begin(), c.recorder);
            nlohmann::json j = {{"change", c.kind}};
            for (auto [key, text] : {std::pair{"mac", &c.mac}, {"address", &c.address}, {"before", &c.before},
                                     {"now", &c.now}, {"recorder", &c.recorder}})
                if (!text->empty() || key != std::string("recorder"))
                    put_text(j, key, *text);
            each(cells, j);
        }
        return std::string();
    };
    print_items(format, headings(store, {"CHANGE", "MAC", "ADDRESS", "BEFORE", "NOW"}), items, "no changes",
                {"RECORDER", "BEFORE", "NOW"});
}
