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

static nlohmann::json scopes_for(generator& g, int i)
{
    int kind = g.pick(100);
    std::string profile = " " + root + (g.chance(50) ? "Profile/Streaming" : "Profile/T");
    std::string scopes = common_scopes("cam" + std::to_string(i));
    std::string hardware = " " + root + "hardware/";
    if (kind < 55) {
        std::string model = model_table[g.pick(static_cast<int>(model_table_rows))].model_name;
        if (g.chance(30))
            model += "-" + std::to_string(g.pick(900) + 100);
        return scopes + profile + hardware + model;
    }
    if (kind < 67)
        return scopes + profile + hardware + unknown_names[g.pick(std::size(unknown_names))];
    if (kind < 80)
        return scopes + profile;
    if (kind < 85)
        return scopes + hardware + (g.chance(50) ? "VRNC-73K" : "VRNC-73JW");
    if (kind < 92) {
        const char* listed[] = {"C1PA08501", "C1FA18002", "MS-C5375-FPD", "MS-C8267-X20PE"};
        return scopes + " " + root + "model/" + listed[g.pick(4)];
    }
    return nullptr;
}

static nlohmann::json xaddrs_for(generator& g, const std::string& address)
{
    const int ports[] = {8080, 8000, 8899, 2020, 10080};
    int kind = g.pick(100);
    if (kind < 55)
        return "http://" + address + "/onvif/device_service";
    std::string port = std::to_string(ports[g.pick(std::size(ports))]);
    std::string v4 = "http://" + address + ":" + port + "/onvif/device_service";
    if (kind < 80)
        return v4;
    char v6[64];
    snprintf(v6, sizeof v6, "http://[fe80::%x:%x]:%s/onvif/device_service", g.pick(0xffff),
             g.pick(0xffff), port.c_str());
    if (kind < 90)
        return v4 + " " + v6;
    if (kind < 96)
        return v6 + (" " + v4);
    return nullptr;
}

// A camera as a fleet file holds it, answering both Probes, on address
// 10.b.c.d with MAC 02:m1:m2 and the number's three low bytes.
static nlohmann::json camera(const std::string& name, const std::string& device, int lan, int b, int c, int d,
                             int m1, int m2, int number)
{
    char address[64], mac[64];
    snprintf(address, sizeof address, "10.%d.%d.%d", b, c, d);
    snprintf(mac, sizeof mac, "02:%02x:%02x:%02x:%02x:%02x", m1, m2, (number >> 16) & 255, (number >> 8) & 255,
             number & 255);
    return {{"name", name}, {"address", address}, {"mac", mac}, {"device", device}, {"lan", lan},
            {"answers", nlohmann::json::array({"transmitter", "device"})}, {"scopes", nullptr}, {"xaddrs", nullptr}, {"prefix", "d"}};
}

nlohmann::json generate_fleet(int n, unsigned seed, int lans)
{
    generator g{std::mt19937(seed)};
    const char* const prefixes[] = {"d", "wsdd", "dis", "ns2"};
    nlohmann::json cameras = nlohmann::json::array();
    for (int i = 0; i < n; ++i) {
        int lan = i % lans, host = i / lans;
        nlohmann::json c = camera("camera" + std::to_string(i), "cam" + std::to_string(i), lan, 77 + lan,
                                  1 + host / 240, 10 + host % 240, 0xc5, lan, i);
        c["scopes"] = scopes_for(g, i);
        c["xaddrs"] = xaddrs_for(g, c["address"].get<std::string>());
        c["prefix"] = prefixes[g.pick(std::size(prefixes))];
        if (g.chance(3))
            c["unprompted"] = nlohmann::json::array({"hello"});
        cameras.push_back(c);
    }
    return cameras;
}

void add_flooders(nlohmann::json& cameras, int k, int rate)
{
    for (int i = 0; i < k; ++i) {
        nlohmann::json c = camera("flooder" + std::to_string(i), "flood" + std::to_string(i), 0, 77, 200,
                                  10 + i % 240, 0xf1, 0, i & 0xffff);
        c["answers"] = nlohmann::json::array();
        c["scopes"] = root + "hardware/FLOOD-" + std::to_string(i);
        c["flood_per_second"] = rate;
        cameras.push_back(c);
    }
}

void add_silent(nlohmann::json& cameras, int k)
{
    for (int i = 0; i < k; ++i) {
        nlohmann::json c = camera("silent" + std::to_string(i), "silent" + std::to_string(i), 0, 77, 210 + i / 240,
                                  10 + i % 240, 0x5e, 0, i & 0xffff);
        c["arp"] = false;
        c["delay_ms"] = 0;
        c["scopes"] = root + "hardware/SILENT-" + std::to_string(i);
        cameras.push_back(c);
    }
}
