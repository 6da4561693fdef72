#include "fleet.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <queue>
#include <random>
#include <stdexcept>

#include "transport/ws_discovery.h"

using sim_clock = std::chrono::steady_clock;

struct pending_reply {
    sim_clock::time_point when;
    std::size_t camera;
    std::string text;
    sockaddr_in to;
    bool operator>(const pending_reply& o) const { return when > o.when; }
};

using reply_queue = std::priority_queue<pending_reply, std::vector<pending_reply>, std::greater<>>;

// One sender's share of answers: Probes counted in a fixed window.
struct sender_window {
    sim_clock::time_point start;
    int probes = 0;
};

struct responder {
    const sim_fleet& fleet;
    std::vector<bool> greeted;      // unprompted datagrams go out once per camera
    std::mt19937 rng;
    int fd = -1;
    std::vector<unsigned> ifindex;  // per camera: its device
    std::optional<sockaddr_in> prober;  // where floods go: the first Probe's sender
    long flood_tick = 0;
    reply_queue queue;
    sim_counts counts;
    std::map<in_addr_t, sender_window> senders;
    responder(const sim_fleet& f, unsigned seed) : fleet(f), greeted(f.size()), rng(seed) {}
    ~responder() { if (fd >= 0) close(fd); }
};

static void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

static void open_socket(responder& r, const std::vector<std::string>& interfaces)
{
    r.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (r.fd < 0)
        fail("socket");
    int one = 1;
    setsockopt(r.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    int big = 8 << 20;
    setsockopt(r.fd, SOL_SOCKET, SO_SNDBUFFORCE, &big, sizeof big);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(ws_discovery_port);
    if (bind(r.fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0)
        fail("bind 0.0.0.0:3702");
    for (const std::string& name : interfaces) {
        ip_mreqn group{};
        group.imr_multiaddr.s_addr = inet_addr(ws_discovery_group);
        group.imr_ifindex = static_cast<int>(if_nametoindex(name.c_str()));
        if (group.imr_ifindex == 0 ||
            setsockopt(r.fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0)
            fail(std::string("join ") + ws_discovery_group + " on " + name);
    }
}

static void send_from(responder& r, std::size_t camera, const std::string& text, const sockaddr_in& to)
{
    const sim_camera& c = r.fleet[camera];
    char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    iovec iov = {const_cast<char*>(text.data()), text.size()};
    msghdr msg{.msg_name = const_cast<sockaddr_in*>(&to), .msg_namelen = sizeof to, .msg_iov = &iov, .msg_iovlen = 1,
               .msg_control = control, .msg_controllen = sizeof control, .msg_flags = 0};
    cmsghdr* cm = CMSG_FIRSTHDR(&msg);
    cm->cmsg_level = IPPROTO_IP;
    cm->cmsg_type = IP_PKTINFO;
    cm->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(r.ifindex[camera]);
    info.ipi_spec_dst.s_addr = inet_addr(c.address.c_str());
    std::memcpy(CMSG_DATA(cm), &info, sizeof info);
    if (sendmsg(r.fd, &msg, 0) < 0)
        ++r.counts.send_errors;
}

static std::string message_id_of(const std::string& probe)
{
    std::size_t tag = probe.find("MessageID");
    std::size_t start = tag == std::string::npos ? tag : probe.find('>', tag);
    std::size_t end = start == std::string::npos ? start : probe.find('<', start);
    return end == std::string::npos ? "" : probe.substr(start + 1, end - start - 1);
}

static void schedule_answers(responder& r, const std::string& probe, const sockaddr_in& from)
{
    bool transmitter = probe.find("NetworkVideoTransmitter") != std::string::npos;
    bool device = probe.find(":Device<") != std::string::npos;
    ++r.counts.probes;
    r.counts.transmitter_probes += transmitter;
    r.counts.device_probes += device;
    std::string relates_to = message_id_of(probe);
    if (!r.prober)
        r.prober = from;
    auto now = sim_clock::now();
    for (std::size_t i = 0; i < r.fleet.size(); ++i) {
        const sim_camera& c = r.fleet[i];
        if (!r.greeted[i]) {
            r.greeted[i] = true;
            for (const std::string& kind : c.unprompted)
                r.queue.push({now, i, unprompted_text(c, kind), from});
            r.counts.unprompted += static_cast<long>(c.unprompted.size());
        }
        if (!((transmitter && c.answers_transmitter) || (device && c.answers_device)))
            continue;
        int delay = c.delay_ms >= 0 ? c.delay_ms : std::uniform_int_distribution<int>(0, 500)(r.rng);
        for (int k = 0; k < c.repeat; ++k)
            r.queue.push({now + std::chrono::milliseconds(delay + k), i, probe_match_text(c, relates_to), from});
    }
}

// Each answered Probe makes one datagram per simulated camera, so without a
// bound anyone who can reach the simulator could make it flood a host.
// A recorder sends two Probes per interface and run, and a run takes a
// minute: 8 in 10 s leaves room for a second start and a test's repeats.
static const int probes_per_window = 8;
static const auto probe_window = std::chrono::seconds(10);
// All senders together, kept under 0.0.0.0, which no Probe comes from: many
// spoofed sources cannot multiply the answers either.
static const int probes_per_window_all = 64;
// Spoofed senders could each take an entry: past this many, only those whose
// window has passed make room, so a flood of new ones cannot reset the
// shares of those already counted.
static const std::size_t senders_kept = 4096;

static bool take(sender_window& w, int limit, sim_clock::time_point now)
{
    if (w.probes == 0 || now - w.start >= probe_window)
        w = {now, 0};
    return ++w.probes <= limit;
}

// True when a Probe from this sender, now, may still be answered.
static bool probe_allowed(std::map<in_addr_t, sender_window>& senders, in_addr_t from, sim_clock::time_point now)
{
    auto over = [&](const auto& s) { return s.first != INADDR_ANY && now - s.second.start >= probe_window; };
    if (senders.size() >= senders_kept && senders.count(from) == 0)
        std::erase_if(senders, over);
    if (senders.size() >= senders_kept && senders.count(from) == 0)
        return false;
    return take(senders[from], probes_per_window, now) && take(senders[INADDR_ANY], probes_per_window_all, now);
}

static void read_datagram(responder& r)
{
    char buf[65536];
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    ssize_t n = recvfrom(r.fd, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &from_len);
    if (n <= 0)
        return;
    std::string text(buf, static_cast<std::size_t>(n));
    bool probe = text.find("Probe>") != std::string::npos && text.find("ProbeMatch") == std::string::npos;
    if (probe && !probe_allowed(r.senders, from.sin_addr.s_addr, sim_clock::now()))
        ++r.counts.probes_refused;
    else if (probe)
        schedule_answers(r, text, from);
    else
        ++r.counts.other_datagrams;
}

// The flooding cameras' share of one 10 ms tick, every kind in turn: Hello,
// empty, not a ProbeMatch, oversized, and a repeated ProbeMatch.
static void send_flood(responder& r)
{
    static const char* const kinds[] = {"hello", "empty", "not_probe_match", "oversized", "probe_match"};
    if (!r.prober)
        return;
    ++r.flood_tick;
    for (std::size_t i = 0; i < r.fleet.size(); ++i) {
        const sim_camera& c = r.fleet[i];
        long due = c.flood_per_second * r.flood_tick / 100 - c.flood_per_second * (r.flood_tick - 1) / 100;
        for (long k = 0; k < due; ++k) {
            std::size_t kind = static_cast<std::size_t>(r.counts.flood % 5);
            std::string text = kind == 4 ? probe_match_text(c, "") : unprompted_text(c, kinds[kind]);
            send_from(r, i, text, *r.prober);
            ++r.counts.flood;
        }
    }
}

static void send_due(responder& r)
{
    auto now = sim_clock::now();
    while (!r.queue.empty() && r.queue.top().when <= now) {
        const pending_reply& p = r.queue.top();
        send_from(r, p.camera, p.text, p.to);
        ++r.counts.replies;
        r.queue.pop();
    }
}

sim_counts run_responder(const sim_fleet& fleet, const std::vector<std::string>& interfaces,
                         int duration_s, unsigned seed, const volatile sig_atomic_t* stop)
{
    responder r(fleet, seed);
    for (const sim_camera& c : fleet) {
        unsigned index = if_nametoindex(c.device.c_str());
        if (index == 0)
            throw std::runtime_error(c.name + ": no network device " + c.device);
        r.ifindex.push_back(index);
    }
    open_socket(r, interfaces);
    auto end = sim_clock::now() + std::chrono::seconds(duration_s);
    auto next_flood = sim_clock::now();
    while (sim_clock::now() < end && !*stop) {
        if (sim_clock::now() >= next_flood) {
            send_flood(r);
            next_flood += std::chrono::milliseconds(10);
        }
        // Never past the next flood tick, nor past the next reply due.
        long wait_ms = 10;
        if (!r.queue.empty())
            wait_ms = std::clamp<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           r.queue.top().when - sim_clock::now()).count(), 0, 10);
        pollfd p = {r.fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(wait_ms)) > 0)
            read_datagram(r);
        send_due(r);
    }
    r.counts.replies -= r.counts.unprompted;
    return r.counts;
}
