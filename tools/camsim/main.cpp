// onvif_camsim: makes a fleet of ONVIF cameras answer WS-Discovery Probes,
// each from its own address and network device, for a given time.
#include <getopt.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "fleet.h"

static const char usage[] =
    "usage: onvif_camsim --fleet FILE --interface DEV [--interface DEV ...] [--duration S] [--seed S]\n"
    "       onvif_camsim --generate N [--seed S] [--lans K] [--flooders K --flood-rate R]\n"
    "                            [--silent K]\n"
    "                                                  write a generated fleet to stdout\n"
    "       onvif_camsim --fleet FILE --list-devices           one line per camera: device lan address mac arp\n"
    "       onvif_camsim --help | --version\n";

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

// Long options only; each is handled in the switch of parse.
enum option_id { opt_fleet = 256, opt_interface, opt_duration, opt_seed, opt_generate, opt_lans, opt_flooders,
                 opt_flood_rate, opt_silent, opt_list_devices, opt_help, opt_version };
static const option long_options[] = {
    {"fleet", required_argument, nullptr, opt_fleet},       {"interface", required_argument, nullptr, opt_interface},
    {"duration", required_argument, nullptr, opt_duration}, {"seed", required_argument, nullptr, opt_seed},
    {"generate", required_argument, nullptr, opt_generate}, {"lans", required_argument, nullptr, opt_lans},
    {"flooders", required_argument, nullptr, opt_flooders}, {"flood-rate", required_argument, nullptr, opt_flood_rate},
    {"silent", required_argument, nullptr, opt_silent},
    {"list-devices", no_argument, nullptr, opt_list_devices}, {"help", no_argument, nullptr, opt_help},
    {"version", no_argument, nullptr, opt_version},         {nullptr, 0, nullptr, 0},
};

static options parse(int argc, char** argv)
{
    options o;
    for (int c; (c = getopt_long(argc, argv, "", long_options, nullptr)) != -1;) {
        switch (c) {
        case opt_fleet: o.fleet_path = optarg; break;
        case opt_interface: o.interfaces.push_back(optarg); break;
        case opt_duration: o.duration_s = number(optarg, "duration"); break;
        case opt_seed: o.seed = static_cast<unsigned>(number(optarg, "seed")); break;
        case opt_generate: o.generate = number(optarg, "camera count"); break;
        case opt_lans: o.lans = std::max(1, number(optarg, "LAN count")); break;
        case opt_flooders: o.flooders = number(optarg, "flooder count"); break;
        case opt_flood_rate: o.flood_rate = number(optarg, "flood rate"); break;
        case opt_silent: o.silent = number(optarg, "silent count"); break;
        case opt_list_devices: o.list_devices = true; break;
        case opt_help: std::fputs(usage, stdout); std::exit(0);
        case opt_version: std::puts("onvif_camsim " CAMSCOUT_VERSION); std::exit(0);
        default: std::exit(2);  // getopt_long has named the wrong option, on one line
        }
    }
    if (optind < argc)
        throw std::runtime_error(std::string("unexpected argument ") + argv[optind]);
    return o;
}

static void list_devices(const sim_fleet& fleet)
{
    for (const sim_camera& c : fleet)
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
            nlohmann::json cameras = generate_fleet(o.generate, o.seed, o.lans);
            add_flooders(cameras, o.flooders, o.flood_rate);
            add_silent(cameras, o.silent);
            std::puts(nlohmann::json{{"cameras", cameras}}.dump(2).c_str());
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
        std::fprintf(stderr, "onvif_camsim: %s (see --help)\n", e.what());
        return 2;
    }
}
