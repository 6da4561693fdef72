#include "fleet.h"

#include <algorithm>
#include <fstream>
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
    auto answers = j.value("answers", std::vector<std::string>{"transmitter", "device"});
    c.answers_transmitter = std::ranges::find(answers, "transmitter") != answers.end();
    c.answers_device = std::ranges::find(answers, "device") != answers.end();
    c.delay_ms = j.value("delay_ms", -1);
    c.repeat = j.value("repeat", 1);
    c.scopes = optional_text(j, "scopes");
    c.xaddrs = optional_text(j, "xaddrs");
    c.prefix = j.value("prefix", "d");
    c.raw_reply = optional_text(j, "raw_reply");
    c.unprompted = j.value("unprompted", std::vector<std::string>{});
    c.flood_per_second = j.value("flood_per_second", 0);
    for (const std::string& kind : c.unprompted)
        if (std::ranges::find(unprompted_kinds, kind) == std::end(unprompted_kinds))
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
            fleet.push_back(camera_from_json(cameras[i], i));
        return fleet;
    } catch (const json::exception& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}
