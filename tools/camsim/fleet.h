// A simulated fleet of ONVIF cameras: what each one is and how it answers.
#pragma once

#include <nlohmann/json.hpp>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

struct sim_camera {
    std::string name;
    std::string address;               // its own IPv4 address
    std::string mac;                   // its own MAC address (set up by the lab)
    std::string device;                // its own network device
    int lan = 0;                       // which of the recorder's LANs it sits on
    bool arp = true;                   // false: the device does not answer ARP
    bool answers_transmitter = true;   // answers the NetworkVideoTransmitter Probe
    bool answers_device = true;        // answers the Device Probe
    int delay_ms = -1;                 // reply delay; -1: random 0 to 500 ms
    int repeat = 1;                    // copies of each answer
    std::optional<std::string> scopes; // absent: no Scopes element
    std::optional<std::string> xaddrs; // absent: no XAddrs element
    std::string prefix = "d";          // prefix bound to WS-Discovery; "": default namespace
    std::optional<std::string> raw_reply;  // sent as it stands instead of a ProbeMatch
    std::vector<std::string> unprompted;   // hello, empty, not_probe_match, oversized
    int flood_per_second = 0;              // > 0: floods the prober with datagrams of every kind
};

using sim_fleet = std::vector<sim_camera>;

// Reads a fleet file; throws std::runtime_error with the reason.
sim_fleet load_fleet(const std::string& path);

// The cameras of a fleet file, as it holds them: a realistic mixed fleet of
// n cameras on lans LANs, the same for one seed.
nlohmann::json generate_fleet(int n, unsigned seed, int lans);
// Adds k devices on the first LAN that answer no Probe but send rate
// datagrams a second, of every kind, to the prober.
void add_flooders(nlohmann::json& cameras, int k, int rate);
// Adds k devices on the first LAN whose ARP is off and that answer every
// Probe at once: the recorder can never learn their MAC addresses.
void add_silent(nlohmann::json& cameras, int k);

// The camera's ProbeMatches answer to the Probe with that MessageID.
std::string probe_match_text(const sim_camera& camera, const std::string& relates_to);
// One unprompted datagram of the kind: hello, empty, not_probe_match, oversized.
std::string unprompted_text(const sim_camera& camera, const std::string& kind);

struct sim_counts {
    long probes = 0;
    long transmitter_probes = 0;
    long device_probes = 0;
    long replies = 0;
    long unprompted = 0;
    long send_errors = 0;
    long other_datagrams = 0;
    long flood = 0;
    long probes_refused = 0;
};

// The simulator's network side: one socket on 0.0.0.0:3702 joined to the
// WS-Discovery group on the given interfaces; replies leave from each
// camera's own address and device. Answers every Probe for duration_s
// seconds, or until *stop is set, then returns what happened. Throws
// std::runtime_error when the socket cannot be set up.
sim_counts run_responder(const sim_fleet& fleet, const std::vector<std::string>& interfaces,
                         int duration_s, unsigned seed, const volatile sig_atomic_t* stop);
