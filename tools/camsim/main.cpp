// onvif_camsim: makes a fleet of ONVIF cameras answer WS-Discovery Probes,
// each from its own address and network device, for a given time.
#include <arpa/inet.h>
#include <getopt.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include <nlohmann/json.hpp>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <regex>
#include <system_error>

#include "catalogue/model_table.h"
#include "transport/ws_discovery.h"

// One camera as a fleet file holds it (a key left out keeps the default).
struct sim_camera {
    std::string name;        // its EndpointReference address; default: its device
    std::string address;     // its own IPv4 address
    std::string mac;         // its own MAC address (set up by the lab)
    std::string device;      // its own network device
    int lan = 0;             // which of the recorder's LANs it sits on
    bool arp = true;         // false: the device does not answer ARP
    bool answers_transmitter = true;  // false: answers the Device Probe only
    int delay_ms = -1;       // reply delay; -1: random 0 to 500 ms
    int repeat = 1;          // copies of each answer
    std::string scopes;      // empty: no Scopes element
    std::string xaddrs;      // empty: no XAddrs element
    std::string prefix = "d";  // prefix bound to WS-Discovery; "": default namespace
    std::vector<std::string> unprompted;  // datagram kinds sent once before the answers
    bool flood = false;      // answers no Probe but floods the prober with 100 datagrams a second of every kind
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(sim_camera, name, address, mac, device, lan, arp, answers_transmitter,
                                                delay_ms, repeat, scopes, xaddrs, prefix, unprompted, flood)

using sim_fleet = std::vector<sim_camera>;

// The kinds of datagram a camera sends besides its answers (see datagram()).
static const char* const datagram_kinds[] = {"hello", "empty", "not_probe_match", "oversized", "probe_match"};

// Reads a fleet file; throws std::runtime_error with the reason.
static sim_fleet load_fleet(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    sim_fleet fleet = nlohmann::json::parse(in).at("cameras").get<sim_fleet>();
    for (sim_camera& c : fleet) {
        if (c.address.empty() || c.device.empty() || c.device.size() > 15)
            throw std::runtime_error(path + ": a camera needs an address and a device of at most 15 characters");
        if (c.name.empty())
            c.name = c.device;
        for (const std::string& kind : c.unprompted)
            if (std::ranges::find(datagram_kinds, kind) == std::end(datagram_kinds))
                throw std::runtime_error(c.name + ": unknown unprompted kind " + kind);
    }
    return fleet;
}

static const std::string root = "onvif://www.onvif.org/";

struct generator {
    std::mt19937 rng;
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
};

// A camera's scopes: a catalogue model (some with a suffix the catalogue
// does not know), a name the catalogue does not know, its profile alone, or
// no scopes at all.
static std::string scopes_for(generator& g, const std::string& name)
{
    static const char* const unknown_names[] = {
        "NetCam%20Pro%20X2", "IPC-Generic-5MP", "Dome 4K", "ACME-BX4100", "Outdoor%2FBullet%2D8MP", "FishEye%20360"};
    std::string scopes;
    for (const char* scope : {"type/video_encoder ", "type/ptz ", "location/country/nowhere ", "name/"})
        scopes.append(root).append(scope);
    scopes += name + " " + root + (g.pick(100) < 50 ? "Profile/Streaming" : "Profile/T");
    int kind = g.pick(100);
    std::string model = model_table[g.pick(static_cast<int>(model_table_rows))].model_name;
    if (kind < 20)
        model += "-" + std::to_string(g.pick(900) + 100);
    else if (kind >= 65)
        model = unknown_names[g.pick(std::size(unknown_names))];
    return kind < 80 ? scopes + " " + root + "hardware/" + model : kind < 92 ? scopes : "";
}

// Its XAddrs: on port 80 or another, in one of four with an IPv6 alternate
// before or after, or none.
static std::string xaddrs_for(generator& g, const std::string& address)
{
    const char* const ports[] = {"", ":8080", ":8000", ":8899", ":2020", ":10080"};
    std::string port = ports[g.pick(std::size(ports))];
    std::string v4 = "http://" + address + port + "/onvif/device_service";
    char v6[64];
    snprintf(v6, sizeof v6, "http://[fe80::%x:%x]%s/onvif/device_service", g.pick(0xffff), g.pick(0xffff), port.c_str());
    int kind = g.pick(100);
    return kind < 75 ? v4 : kind < 85 ? v4 + " " + v6 : kind < 95 ? v6 + (" " + v4) : "";
}

// A device named kind and number, on address 10.(77 + lan).c.d with MAC
// 02:m:lan and the number's three low bytes.
static sim_camera device(const std::string& kind, int number, int lan, int c, int d, int m)
{
    char address[32], mac[32];
    snprintf(address, sizeof address, "10.%d.%d.%d", 77 + lan, c, d);
    snprintf(mac, sizeof mac, "02:%02x:%02x:%02x:%02x:%02x", m, lan, (number >> 16) & 255, (number >> 8) & 255,
             number & 255);
    std::string name = kind + std::to_string(number);
    return nlohmann::json{{"name", name}, {"device", name}, {"address", address}, {"mac", mac}, {"lan", lan}};
}

// A realistic mixed fleet of cameras on lans LANs, the same for one seed,
// then flooders and silent devices (ARP off, answering at once) on the first.
static sim_fleet generate_fleet(int cameras, unsigned seed, int lans, int flooders, int silent)
{
    generator g{std::mt19937(seed)};
    const char* const prefixes[] = {"d", "wsdd", "dis", "ns2"};
    sim_fleet fleet;
    for (int i = 0; i < cameras; ++i) {
        int lan = i % lans, host = i / lans;
        sim_camera c = device("cam", i, lan, 1 + host / 240, 10 + host % 240, 0xc5);
        c.scopes = scopes_for(g, c.name);
        c.xaddrs = xaddrs_for(g, c.address);
        c.prefix = prefixes[g.pick(std::size(prefixes))];
        if (g.pick(100) < 3)
            c.unprompted = {"hello"};
        fleet.push_back(c);
    }
    for (int i = 0; i < flooders; ++i) {
        sim_camera c = device("flood", i, 0, 200, 10 + i % 240, 0xf1);
        c.scopes = root + "hardware/FLOOD-" + std::to_string(i);
        c.flood = true;
        fleet.push_back(c);
    }
    for (int i = 0; i < silent; ++i) {
        sim_camera c = device("silent", i, 0, 210 + i / 240, 10 + i % 240, 0x5e);
        c.arp = false;
        c.delay_ms = 0;
        c.scopes = root + "hardware/SILENT-" + std::to_string(i);
        fleet.push_back(c);
    }
    return fleet;
}

using sim_clock = std::chrono::steady_clock;

static const std::string addressing_ns = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
static const std::string discovery_ns = "http://schemas.xmlsoap.org/ws/2005/04/discovery";

static std::string plain(const std::string& name, const std::string& content)
{
    return "<" + name + ">" + content + "</" + name + ">";
}

// The element under the camera's prefix for WS-Discovery.
static std::string element(const sim_camera& c, const std::string& local, const std::string& content)
{
    return plain(c.prefix.empty() ? local : c.prefix + ":" + local, content);
}

static std::string envelope(const sim_camera& c, const std::string& action, const std::string& relates_to,
                            const std::string& body)
{
    uuid_t id;
    uuid_generate(id);
    char message_id[37];
    uuid_unparse_lower(id, message_id);
    std::string header = plain("wsa:MessageID", "uuid:" + std::string(message_id)) +
                         (relates_to.empty() ? "" : plain("wsa:RelatesTo", relates_to)) +
                         plain("wsa:To", addressing_ns + "/role/anonymous") +
                         plain("wsa:Action", discovery_ns + "/" + action);
    std::string prefix = c.prefix.empty() ? "" : ":" + c.prefix;
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:wsa=\"" +
           addressing_ns + "\" xmlns" + prefix + "=\"" + discovery_ns +
           "\" xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\">\n" +
           plain("SOAP-ENV:Header", header) + "\n" + plain("SOAP-ENV:Body", body) + "</SOAP-ENV:Envelope>\n";
}

// A datagram of the kind: probe_match (the answer to the Probe with that
// MessageID), hello, not_probe_match (a ResolveMatches), oversized (a
// ProbeMatch far larger than a receive buffer) or empty.
static std::string datagram(const sim_camera& c, const std::string& kind, const std::string& relates_to = "")
{
    std::string reference = plain("wsa:EndpointReference", plain("wsa:Address", "urn:uuid:" + c.name));
    if (kind == "empty")
        return "";
    if (kind == "not_probe_match")
        return envelope(c, "ResolveMatches", "", element(c, "ResolveMatches", element(c, "ResolveMatch", reference)));
    std::string match = reference + element(c, "Types", "dn:NetworkVideoTransmitter tds:Device");
    if (!c.scopes.empty() || kind == "oversized")
        match += element(c, "Scopes", c.scopes + (kind == "oversized" ? " " + std::string(16000, 'S') : ""));
    if (!c.xaddrs.empty())
        match += element(c, "XAddrs", c.xaddrs);
    match = element(c, "ProbeMatch", match + element(c, "MetadataVersion", "1"));
    if (kind == "hello")
        return envelope(c, "Hello", "", element(c, "Hello", match));
    return envelope(c, "ProbeMatches", relates_to, element(c, "ProbeMatches", match));
}

struct pending_reply {
    std::size_t camera;
    std::string text;
    sockaddr_in to;
};

struct responder {
    const sim_fleet& fleet;
    std::mt19937 rng;
    int fd = -1;
    std::vector<int> ifindex = {};  // per camera: its device
    std::optional<sockaddr_in> prober = {};  // the first Probe's sender: floods and unprompted datagrams go there
    std::multimap<sim_clock::time_point, pending_reply> queue = {};  // those due at once in the order queued
    long probes = 0, transmitter_probes = 0, device_probes = 0, probes_refused = 0, sent = 0, send_errors = 0;
    long flood_sent = 0;
};

static void open_socket(responder& r, const std::vector<std::string>& interfaces)
{
    r.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (r.fd < 0)
        throw std::system_error(errno, std::generic_category(), "socket");
    int big = 8 << 20;
    setsockopt(r.fd, SOL_SOCKET, SO_SNDBUFFORCE, &big, sizeof big);
    sockaddr_in any{AF_INET, htons(ws_discovery_port), {INADDR_ANY}, {}};
    if (bind(r.fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0)
        throw std::system_error(errno, std::generic_category(), "bind 0.0.0.0:3702");
    for (const std::string& name : interfaces) {
        ip_mreqn group{{inet_addr(ws_discovery_group)}, {}, static_cast<int>(if_nametoindex(name.c_str()))};
        if (group.imr_ifindex == 0 || setsockopt(r.fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0)
            throw std::system_error(errno, std::generic_category(),
                                    std::string("join ") + ws_discovery_group + " on " + name);
    }
}

static void send_from(responder& r, std::size_t camera, const std::string& text, const sockaddr_in& to)
{
    char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    iovec iov = {const_cast<char*>(text.data()), text.size()};
    msghdr msg{.msg_name = const_cast<sockaddr_in*>(&to), .msg_namelen = sizeof to, .msg_iov = &iov, .msg_iovlen = 1,
               .msg_control = control, .msg_controllen = sizeof control, .msg_flags = 0};
    cmsghdr* cm = CMSG_FIRSTHDR(&msg);
    *cm = {.cmsg_len = CMSG_LEN(sizeof(in_pktinfo)), .cmsg_level = IPPROTO_IP, .cmsg_type = IP_PKTINFO};
    in_pktinfo info{r.ifindex[camera], {inet_addr(r.fleet[camera].address.c_str())}, {}};  // out of its device, from its address
    std::memcpy(CMSG_DATA(cm), &info, sizeof info);
    if (sendmsg(r.fd, &msg, 0) < 0)
        ++r.send_errors;
    else
        ++r.sent;
}

// Each camera that answers a Probe's type queues its answers to the sender,
// after its delay; the first Probe's sender also gets the unprompted datagrams.
static void answer_probe(responder& r)
{
    char buf[65536];
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    ssize_t n = recvfrom(r.fd, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &from_len);
    std::string probe(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (probe.find("Probe>") == std::string::npos || probe.find("ProbeMatch") != std::string::npos)
        return;
    // Each answered Probe makes one datagram per simulated camera, so without
    // a bound anyone who can reach the simulator could make it flood a host.
    // A recorder's run sends two Probes per interface: 64 are many runs.
    if (r.probes >= 64) {
        ++r.probes_refused;
        return;
    }
    bool transmitter = probe.find("NetworkVideoTransmitter") != std::string::npos;
    bool device = probe.find(":Device<") != std::string::npos;
    ++r.probes;
    r.transmitter_probes += transmitter;
    r.device_probes += device;
    std::smatch message_id;
    std::regex_search(probe, message_id, std::regex("MessageID[^>]*>([^<]*)<"));
    std::string relates_to = message_id.str(1);
    bool first = !r.prober;
    if (first)
        r.prober = from;
    auto now = sim_clock::now();
    for (std::size_t i = 0; i < r.fleet.size(); ++i) {
        const sim_camera& c = r.fleet[i];
        if (first)
            for (const std::string& kind : c.unprompted)
                r.queue.insert({now, {i, datagram(c, kind), from}});
        if (c.flood || !(device || (transmitter && c.answers_transmitter)))
            continue;
        int delay = c.delay_ms >= 0 ? c.delay_ms : std::uniform_int_distribution<int>(0, 500)(r.rng);
        for (int k = 0; k < c.repeat; ++k)
            r.queue.insert({now + std::chrono::milliseconds(delay + k), {i, datagram(c, "probe_match", relates_to), from}});
    }
}

// One datagram from each flooding camera, every kind in turn.
static void send_flood(responder& r)
{
    for (std::size_t i = 0; r.prober && i < r.fleet.size(); ++i)
        if (r.fleet[i].flood) {
            const char* kind = datagram_kinds[r.flood_sent++ % std::size(datagram_kinds)];
            send_from(r, i, datagram(r.fleet[i], kind), *r.prober);
        }
}

static volatile sig_atomic_t stop_requested = 0;

// Answers every Probe on the given interfaces for duration_s seconds or
// until a signal to stop, then says what happened.
static void run_responder(const sim_fleet& fleet, const std::vector<std::string>& interfaces, int duration_s,
                          unsigned seed)
{
    responder r{fleet, std::mt19937(seed)};
    for (const sim_camera& c : fleet) {
        unsigned index = if_nametoindex(c.device.c_str());
        if (index == 0)
            throw std::runtime_error(c.name + ": no network device " + c.device);
        r.ifindex.push_back(static_cast<int>(index));
    }
    open_socket(r, interfaces);
    auto end = sim_clock::now() + std::chrono::seconds(duration_s);
    auto next_flood = sim_clock::now();
    while (sim_clock::now() < end && !stop_requested) {
        if (sim_clock::now() >= next_flood) {
            send_flood(r);
            next_flood += std::chrono::milliseconds(10);
        }
        // A reply goes out at most a tick late.
        pollfd p = {r.fd, POLLIN, 0};
        if (poll(&p, 1, 10) > 0)
            answer_probe(r);
        for (auto due = r.queue.begin(); due != r.queue.end() && due->first <= sim_clock::now(); due = r.queue.erase(due))
            send_from(r, due->second.camera, due->second.text, due->second.to);
    }
    std::printf("onvif_camsim: probes received %ld (transmitter %ld, device %ld); probes refused %ld; "
                "datagrams sent %ld; send errors %ld\n",
                r.probes, r.transmitter_probes, r.device_probes, r.probes_refused, r.sent, r.send_errors);
    close(r.fd);
}

static const char usage[] =
    "usage: onvif_camsim --fleet FILE --interface DEV [--interface DEV ...] [--duration S] [--seed S]\n"
    "       onvif_camsim --generate N [--seed S] [--lans K] [--flooders K] [--silent K]\n"
    "                                         write a generated fleet to stdout\n"
    "       onvif_camsim --fleet FILE --list-devices   one line per camera: device lan address mac arp\n";

static int number(const char* text, const char* what)
{
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v < 0 || v > 1000000)
        throw std::runtime_error(std::string("bad ") + what + ": " + text);
    return static_cast<int>(v);
}

static const option long_options[] = {
    {"fleet", required_argument, nullptr, 'f'},    {"interface", required_argument, nullptr, 'i'},
    {"duration", required_argument, nullptr, 'd'}, {"seed", required_argument, nullptr, 's'},
    {"generate", required_argument, nullptr, 'g'}, {"lans", required_argument, nullptr, 'l'},
    {"flooders", required_argument, nullptr, 'F'}, {"silent", required_argument, nullptr, 'S'},
    {"list-devices", no_argument, nullptr, 'L'},   {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

static int run(int argc, char** argv)
{
    std::string fleet_path;
    std::vector<std::string> interfaces;
    int duration_s = 75, generate = -1, lans = 1, flooders = 0, silent = 0;
    unsigned seed = 1;
    bool list_devices = false;
    // Long options only: the letters are getopt_long's return values.
    for (int c; (c = getopt_long(argc, argv, "", long_options, nullptr)) != -1;) {
        switch (c) {
        case 'f': fleet_path = optarg; break;
        case 'i': interfaces.push_back(optarg); break;
        case 'd': duration_s = number(optarg, "duration"); break;
        case 's': seed = static_cast<unsigned>(number(optarg, "seed")); break;
        case 'g': generate = number(optarg, "camera count"); break;
        case 'l': lans = std::max(1, number(optarg, "LAN count")); break;
        case 'F': flooders = number(optarg, "flooder count"); break;
        case 'S': silent = number(optarg, "silent count"); break;
        case 'L': list_devices = true; break;
        case 'h': std::fputs(usage, stdout); return 0;
        default: return 2;  // getopt_long has named the wrong option, on one line
        }
    }
    if (optind < argc)
        throw std::runtime_error(std::string("unexpected argument ") + argv[optind]);
    if (generate >= 0) {
        std::puts(nlohmann::json{{"cameras", generate_fleet(generate, seed, lans, flooders, silent)}}.dump(2).c_str());
        return 0;
    }
    if (fleet_path.empty())
        throw std::runtime_error("no fleet given");
    sim_fleet fleet = load_fleet(fleet_path);
    if (list_devices) {
        for (const sim_camera& c : fleet)
            std::printf("%s %d %s %s %s\n", c.device.c_str(), c.lan, c.address.c_str(),
                        c.mac.empty() ? "-" : c.mac.c_str(), c.arp ? "on" : "off");
        return 0;
    }
    if (interfaces.empty())
        throw std::runtime_error("no interface given");
    run_responder(fleet, interfaces, duration_s, seed);
    return 0;
}

int main(int argc, char** argv)
{
    for (int signal : {SIGTERM, SIGINT})
        std::signal(signal, [](int) { stop_requested = 1; });
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "onvif_camsim: %s (see --help)\n", e.what());
        return 2;
    }
}
