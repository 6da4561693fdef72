// Generated fleets: many makers and models from the catalogue, names the
// catalogue does not know, profile-only devices, XAddrs with IPv6
// alternates and ports other than 80.
#include <cstdio>
#include <random>

#include "catalogue/model_table.h"
#include "fleet.h"

static const std::string root = "onvif://www.onvif.org/";

static const char* const unknown_names[] = {
    "NetCam%20Pro%20X2", "IPC-Generic-5MP", "Dome 4K", "ACME-BX4100", "Outdoor%2FBullet%2D8MP",
    "HD-IPC", "PTZ-2030-IR", "FishEye%20360"};

struct generator {
    std::mt19937 rng;
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    bool chance(int percent) { return pick(100) < percent; }
};

static std::string common_scopes(const std::string& name)
{
    std::string scopes;
    for (const char* scope : {"type/video_encoder ", "type/ptz ", "location/country/nowhere ", "name/"})
        scopes.append(root).append(scope);
    return scopes.append(name);
}

static std::optional<std::string> scopes_for(generator& g, int i)
{
    int kind = g.pick(100);
    std::string profile = g.chance(50) ? root + "Profile/Streaming" : root + "Profile/T";
    std::string name = "cam" + std::to_string(i);
    if (kind < 55) {
        std::string model = model_table[g.pick(static_cast<int>(model_table_rows))].model_name;
        if (g.chance(30))
            model += "-" + std::to_string(g.pick(900) + 100);
        return common_scopes(name) + " " + profile + " " + root + "hardware/" + model;
    }
    if (kind < 67)
        return common_scopes(name) + " " + profile + " " + root + "hardware/" +
               unknown_names[g.pick(std::size(unknown_names))];
    if (kind < 80)
        return common_scopes(name) + " " + profile;
    if (kind < 85)
        return common_scopes(name) + " " + root + "hardware/" + (g.chance(50) ? "VRNC-73K" : "VRNC-73JW");
    if (kind < 92) {
        const char* listed[] = {"C1PA08501", "C1FA18002", "MS-C5375-FPD", "MS-C8267-X20PE"};
        return common_scopes(name) + " " + root + "model/" + listed[g.pick(4)];
    }
    return std::nullopt;
}

static std::optional<std::string> xaddrs_for(generator& g, const std::string& address)
{
    const int ports[] = {8080, 8000, 8899, 2020, 10080};
    int kind = g.pick(100);
    if (kind < 55)
        return "http://" + address + "/onvif/device_service";
    std::string port = std::to_string(ports[g.pick(std::size(ports))]);
    if (kind < 80)
        return "http://" + address + ":" + port + "/onvif/device_service";
    char v6[64];
    snprintf(v6, sizeof v6, "http://[fe80::%x:%x]:%s/onvif/device_service", g.pick(0xffff),
             g.pick(0xffff), port.c_str());
    if (kind < 90)
        return "http://" + address + ":" + port + "/onvif/device_service " + v6;
    if (kind < 96)
        return std::string(v6) + " http://" + address + ":" + port + "/onvif/device_service";
    return std::nullopt;
}

sim_fleet generate_fleet(int n, unsigned seed, int lans)
{
    generator g{std::mt19937(seed)};
    const char* const prefixes[] = {"d", "wsdd", "dis", "ns2"};
    sim_fleet fleet;
    for (int i = 0; i < n; ++i) {
        sim_camera c;
        c.lan = i % lans;
        int host = i / lans;
        char text[64];
        snprintf(text, sizeof text, "10.%d.%d.%d", 77 + c.lan, 1 + host / 240, 10 + host % 240);
        c.address = text;
        snprintf(text, sizeof text, "02:c5:%02x:%02x:%02x:%02x", c.lan, (i >> 16) & 255, (i >> 8) & 255,
                 i & 255);
        c.mac = text;
        c.name = "camera" + std::to_string(i);
        c.device = "cam" + std::to_string(i);
        c.scopes = scopes_for(g, i);
        c.xaddrs = xaddrs_for(g, c.address);
        c.prefix = prefixes[g.pick(std::size(prefixes))];
        if (g.chance(3))
            c.unprompted.push_back("hello");
        fleet.cameras.push_back(c);
    }
    return fleet;
}

void add_flooders(sim_fleet& fleet, int k, int rate)
{
    for (int i = 0; i < k; ++i) {
        sim_camera c;
        char text[64];
        snprintf(text, sizeof text, "10.77.200.%d", 10 + i % 240);
        c.address = text;
        snprintf(text, sizeof text, "02:f1:00:00:%02x:%02x", (i >> 8) & 255, i & 255);
        c.mac = text;
        c.name = "flooder" + std::to_string(i);
        c.device = "flood" + std::to_string(i);
        c.answers_transmitter = c.answers_device = false;
        c.scopes = root + "hardware/FLOOD-" + std::to_string(i);
        c.flood_per_second = rate;
        fleet.cameras.push_back(c);
    }
}

void add_silent(sim_fleet& fleet, int k)
{
    for (int i = 0; i < k; ++i) {
        sim_camera c;
        char text[64];
        snprintf(text, sizeof text, "10.77.%d.%d", 210 + i / 240, 10 + i % 240);
        c.address = text;
        snprintf(text, sizeof text, "02:5e:00:00:%02x:%02x", (i >> 8) & 255, i & 255);
        c.mac = text;
        c.name = "silent" + std::to_string(i);
        c.device = "silent" + std::to_string(i);
        c.arp = false;
        c.delay_ms = 0;
        c.scopes = root + "hardware/SILENT-" + std::to_string(i);
        fleet.cameras.push_back(c);
    }
}
