#include "fleet.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

using json = nlohmann::json;

static const char* const unprompted_kinds[] = {"hello", "empty", "not_probe_match", "oversized"};

static std::optional<std::string> optional_text(const json& j, const char* key)
{
    if (!j.contains(key) || j[key].is_null())
        return std::nullopt;
    return j[key].get<std::string>();
}

static sim_camera camera_from_json(const json& j, std::size_t index)
{
    sim_camera c;
    c.name = j.value("name", "camera" + std::to_string(index));
    c.address = j.at("address").get<std::string>();
    c.mac = j.value("mac", "");
    c.device = j.value("device", "cam" + std::to_string(index));
    c.lan = j.value("lan", 0);
    c.arp = j.value("arp", true);
    if (j.contains("answers")) {
        auto answers = j["answers"].get<std::vector<std::string>>();
        c.answers_transmitter = std::find(answers.begin(), answers.end(), "transmitter") != answers.end();
        c.answers_device = std::find(answers.begin(), answers.end(), "device") != answers.end();
    }
    c.delay_ms = j.value("delay_ms", -1);
    c.repeat = j.value("repeat", 1);
    c.scopes = optional_text(j, "scopes");
    c.xaddrs = optional_text(j, "xaddrs");
    c.prefix = j.value("prefix", "d");
    c.raw_reply = optional_text(j, "raw_reply");
    c.unprompted = j.value("unprompted", std::vector<std::string>{});
    c.flood_per_second = j.value("flood_per_second", 0);
    for (const std::string& kind : c.unprompted)
        if (std::find(std::begin(unprompted_kinds), std::end(unprompted_kinds), kind) ==
            std::end(unprompted_kinds))
            throw std::runtime_error(c.name + ": unknown unprompted kind " + kind);
    if (c.device.size() > 15)
        throw std::runtime_error(c.name + ": device name longer than 15 characters");
    return c;
}

sim_fleet load_fleet(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    try {
        json j = json::parse(in);
        sim_fleet fleet;
        const json& cameras = j.at("cameras");
        for (std::size_t i = 0; i < cameras.size(); ++i)
            fleet.cameras.push_back(camera_from_json(cameras[i], i));
        return fleet;
    } catch (const json::exception& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

static json camera_to_json(const sim_camera& c)
{
    json j = {{"name", c.name}, {"address", c.address}, {"mac", c.mac}, {"device", c.device},
              {"lan", c.lan}};
    if (!c.arp)
        j["arp"] = false;
    std::vector<std::string> answers;
    if (c.answers_transmitter)
        answers.push_back("transmitter");
    if (c.answers_device)
        answers.push_back("device");
    j["answers"] = answers;
    if (c.delay_ms >= 0)
        j["delay_ms"] = c.delay_ms;
    if (c.repeat != 1)
        j["repeat"] = c.repeat;
    j["scopes"] = c.scopes ? json(*c.scopes) : json(nullptr);
    j["xaddrs"] = c.xaddrs ? json(*c.xaddrs) : json(nullptr);
    j["prefix"] = c.prefix;
    if (c.raw_reply)
        j["raw_reply"] = *c.raw_reply;
    if (!c.unprompted.empty())
        j["unprompted"] = c.unprompted;
    if (c.flood_per_second > 0)
        j["flood_per_second"] = c.flood_per_second;
    return j;
}

std::string fleet_to_json(const sim_fleet& fleet)
{
    json cameras = json::array();
    for (const sim_camera& c : fleet.cameras)
        cameras.push_back(camera_to_json(c));
    return json{{"cameras", cameras}}.dump(2) + "\n";
}
