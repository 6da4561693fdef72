#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include "../../tools/camsim/fleet.h"
#include "../../tools/camsim/responder.h"
#include "catalogue/model_table.h"

namespace fs = std::filesystem;

struct fleet_file : ::testing::Test {
    std::string path = (fs::temp_directory_path() / ("camscout-fleet-" + std::to_string(getpid()) + ".json")).string();
    void TearDown() override { fs::remove(path); }
    std::string load_error(const std::string& text, const std::string& suffix = "")
    {
        std::ofstream(path) << text;
        try {
            load_fleet(path + suffix);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "loaded";
    }
};

TEST_F(fleet_file, bad_files_say_what_is_wrong)
{
    struct { std::string text, error; } cases[] = {
        {"{\"cameras\": [", path + ": [json.exception.parse_error"},
        {"{}", path + ": [json.exception.out_of_range.403] key 'cameras' not found"},
        {"{\"cameras\": [{\"name\": \"c\"}]}", path + ": [json.exception.out_of_range.403] key 'address' not found"},
        {"{\"cameras\": [{\"address\": \"10.0.0.1\", \"delay_ms\": \"x\"}]}", path + ": [json.exception.type_error"},
        {"{\"cameras\": [{\"address\": \"10.0.0.1\", \"unprompted\": [\"shout\"]}]}", "camera0: unknown unprompted kind shout"},
        {"{\"cameras\": [{\"address\": \"10.0.0.1\", \"device\": \"a-very-long-name\"}]}",
         "camera0: device name longer than 15 characters"},
        {"{\"cameras\": [{\"address\": \"10.0.0.1\", \"device\": \"fifteen-chars-x\"}]}", "loaded"},
    };
    for (auto& c : cases)
        EXPECT_EQ(load_error(c.text).substr(0, c.error.size()), c.error) << c.text;
    EXPECT_EQ(load_error("", ".missing"), "cannot read " + path + ".missing");
}

TEST_F(fleet_file, a_fleet_survives_its_file_and_a_seed_gives_one_fleet)
{
    init_model_table();
    sim_fleet fleet = generate_fleet(60, 7, 2);
    add_flooders(fleet, 2, 50);
    fleet.cameras.push_back({"odd", "10.77.9.9", "02:00:00:00:00:01", "odd0", 1, false, true, false, 0, 3,
                             std::nullopt, "", "", "<raw/>", {"hello", "empty", "not_probe_match", "oversized"}, 0});
    std::string json = fleet_to_json(fleet);
    std::ofstream(path) << json;
    EXPECT_EQ(fleet_to_json(load_fleet(path)), json);

    EXPECT_EQ(fleet_to_json(generate_fleet(60, 7, 2)), fleet_to_json(generate_fleet(60, 7, 2)));
    EXPECT_NE(fleet_to_json(generate_fleet(60, 7, 2)), fleet_to_json(generate_fleet(60, 8, 2)));
    std::set<std::string> addresses, macs;
    for (const sim_camera& c : generate_fleet(300, 1, 3).cameras)
        EXPECT_TRUE(addresses.insert(c.address).second && macs.insert(c.mac).second && c.device.size() <= 15) << c.name;
}

TEST(responder, answers_one_sender_at_most_8_probes_in_10_seconds)
{
    std::map<in_addr_t, sender_window> senders;
    auto t = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    std::string made;
    for (int s : {0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 10, 10})  // seconds: a 9th Probe waits for the next window
        made += probe_allowed(senders, 1, t + std::chrono::seconds(s)) ? 'y' : 'n';
    EXPECT_EQ(made, "yyyyyyyynnyy");
    EXPECT_TRUE(probe_allowed(senders, 2, t));  // another sender has a share of its own
    for (in_addr_t from = 3; from < 70; ++from)      // but all of them together 64
        made += probe_allowed(senders, from, t + std::chrono::seconds(10)) ? 'y' : 'n';
    EXPECT_EQ(made.substr(12), std::string(61, 'y') + "nnnnnn");
}
