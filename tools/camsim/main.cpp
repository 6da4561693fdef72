// onvif_camsim: makes a fleet of ONVIF cameras answer WS-Discovery Probes,
// each from its own address and network device, for a given time.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fleet.h"
#include "responder.h"

static const char usage[] =
    "usage: onvif_camsim --fleet FILE --interface DEV [--interface DEV ...] [--duration S] [--seed S]\n"
    "       onvif_camsim --generate N [--seed S] [--lans K] [--flooders K --flood-rate R]\n"
    "                            [--silent K]\n"
    "                                                  write a generated fleet to stdout\n"
    "       onvif_camsim --fleet FILE --list-devices           one line per camera: device lan address mac arp\n";

struct options {
    std::string fleet_path;
    std::vector<std::string> interfaces;
    int duration_s = 75;
    unsigned seed = 1;
    int generate = -1;
    int lans = 1;
    int flooders = 0;
    int flood_rate = 100;
    int silent = 0;
    bool list_devices = false;
};

static int number(const char* text, const char* what)
{
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v < 0 || v > 1000000)
        throw std::runtime_error(std::string("bad ") + what + ": " + text);
    return static_cast<int>(v);
}

static options parse(int argc, char** argv)
{
    options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                throw std::runtime_error(a + " needs a value");
            return argv[++i];
        };
        if (a == "--fleet") o.fleet_path = value();
        else if (a == "--interface") o.interfaces.push_back(value());
        else if (a == "--duration") o.duration_s = number(value(), "duration");
        else if (a == "--seed") o.seed = static_cast<unsigned>(number(value(), "seed"));
        else if (a == "--generate") o.generate = number(value(), "camera count");
        else if (a == "--lans") o.lans = std::max(1, number(value(), "LAN count"));
        else if (a == "--flooders") o.flooders = number(value(), "flooder count");
        else if (a == "--flood-rate") o.flood_rate = number(value(), "flood rate");
        else if (a == "--silent") o.silent = number(value(), "silent count");
        else if (a == "--list-devices") o.list_devices = true;
        else throw std::runtime_error("unknown option " + a);
    }
    return o;
}

static void list_devices(const sim_fleet& fleet)
{
    for (const sim_camera& c : fleet.cameras)
        std::printf("%s %d %s %s %s\n", c.device.c_str(), c.lan, c.address.c_str(),
                    c.mac.empty() ? "-" : c.mac.c_str(), c.arp ? "on" : "off");
}

static void report(const sim_counts& n)
{
    std::printf("onvif_camsim: probes received %ld (transmitter %ld, device %ld); replies sent %ld; "
                "unprompted sent %ld; flood sent %ld; send errors %ld; other datagrams %ld; probes refused %ld\n",
                n.probes, n.transmitter_probes, n.device_probes, n.replies, n.unprompted, n.flood, n.send_errors,
                n.other_datagrams, n.probes_refused);
}

static volatile sig_atomic_t stop_requested = 0;

static void request_stop(int)
{
    stop_requested = 1;
}

int main(int argc, char** argv)
{
    std::signal(SIGTERM, request_stop);
    std::signal(SIGINT, request_stop);
    try {
        options o = parse(argc, argv);
        if (o.generate >= 0) {
            sim_fleet fleet = generate_fleet(o.generate, o.seed, o.lans);
            add_flooders(fleet, o.flooders, o.flood_rate);
            add_silent(fleet, o.silent);
            std::cout << fleet_to_json(fleet);
            return 0;
        }
        if (o.fleet_path.empty())
            throw std::runtime_error("no fleet given");
        sim_fleet fleet = load_fleet(o.fleet_path);
        if (o.list_devices) {
            list_devices(fleet);
            return 0;
        }
        if (o.interfaces.empty())
            throw std::runtime_error("no interface given");
        report(run_responder(fleet, o.interfaces, o.duration_s, o.seed, &stop_requested));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "onvif_camsim: %s\n%s", e.what(), usage);
        return 2;
    }
}
