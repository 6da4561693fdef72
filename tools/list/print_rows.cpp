#include "print_rows.h"

static std::string model_id(const source_row& r)
{
    return std::to_string(r.model_brand) + "/" + std::to_string(r.model_no);
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
            // The table gives the time to the minute, as ls -l does, to fit 80 columns.
            std::string seen = r.found_at;
            if (format == out_format::table && seen.size() > 16 && seen[10] == 'T')
                seen = seen.substr(0, 10) + ' ' + seen.substr(11, 5);
            std::vector<std::string> cells = {r.address, r.mac, std::to_string(r.port), std::to_string(r.brand),
                                              r.model, model_id(r), seen};
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
