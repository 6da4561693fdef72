// The comparison of two runs, without a store.
#include <gtest/gtest.h>

#include <sstream>

#include "../../tools/list/changes.h"

// "mac address model", and in the newest run "+" when a run before the
// compared one saw the MAC address.
static std::string changes(const std::vector<std::string>& earlier, const std::vector<std::string>& newest)
{
    auto device = [](const std::string& text, bool& seen) {
        source_row r;
        std::string mark;
        std::istringstream(text) >> r.mac >> r.address >> r.model >> mark;
        seen = mark == "+";
        return r;
    };
    std::vector<source_row> before;
    std::vector<newest_device> now;
    bool seen = false;
    for (const std::string& e : earlier)
        before.push_back(device(e, seen));
    for (const std::string& n : newest)
        now.push_back({device(n, seen), seen});
    std::string out;
    for (const source_change& c : compare_runs(before, now))
        out += c.kind + " " + c.mac + " " + c.address + " " + c.before + ">" + c.now + "; ";
    return out;
}

// Each kind of change alone is read from a store in test_list_store.cpp.
TEST(compare_runs, reports_each_kind_of_change_and_every_device_gone)
{
    struct { std::vector<std::string> earlier, newest; std::string changes; } cases[] = {
        {{"a 10.0.0.1 M"}, {"b 10.0.0.1 M +"}, "replaced b 10.0.0.1 a>b; "},
        // Two devices at a factory-default address, one there now.
        {{"a 10.0.0.1 M", "c 10.0.0.1 M"}, {"b 10.0.0.1 M"}, "replaced b 10.0.0.1 a>b; gone c 10.0.0.1 M (0/0)>; "},
        // The address taken by a device that moved there: the one before is gone.
        {{"a 10.0.0.1 M", "b 10.0.0.2 M"}, {"b 10.0.0.1 M"}, "moved b 10.0.0.1 10.0.0.2>10.0.0.1; gone a 10.0.0.1 M (0/0)>; "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(changes(c.earlier, c.newest), c.changes) << c.changes;
}
