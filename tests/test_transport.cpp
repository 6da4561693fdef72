// Discovery transport: the worker's life, its socket and the Probes.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstring>

#include "core/globals.h"
#include "fake_platform.h"
#include "transport/probe.h"
#include "transport/recv_thread.h"

using lines = std::vector<std::string>;
using option = std::tuple<int, int, std::string>;

static void add_interfaces(int n, const char* addr = "10.0.0.2")
{
    for (int i = 0; i < n; ++i)
        in_lan_list.push_back(fake::nic("eth", "02:00:00:00:00:01", addr));
}

static void run_worker(int selects)
{
    fake::state.selects_per_run = selects;
    add_interfaces(1);
    start_recv_thread();
    stop_recv_thread();
}

static lines joined(lines a, const lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(recv_thread, the_worker_with_and_without_its_socket)
{
    const lines start = {"thread_create", "log:[onvif_camscout] start recv thread...",
                         "nvr_sys_state_create_thread:[onvif_camscout] recv thread...:0"};
    const lines end = {"nvr_sys_state_destroy_thread", "log:[onvif_camscout] stop recv thread...", "sleep:2"};
    // Every camera's answers wait in the receive queue: 16 MiB (33), forced
    // past the host's limit where that is allowed, else as much as it allows (8).
    struct { int socket, fail_sockopt_at; lines opened, closed; int select_nfds; std::size_t sent; } cases[] = {
        {7, -1, {"socket:7", "log:[onvif camscout] onvif_socket(7) create succ", "setsockopt:7:33", "fcntl:7:3:0", "fcntl:7:4:2050"}, {"close:7"}, 8, 2},
        {7, 0, {"socket:7", "log:[onvif camscout] onvif_socket(7) create succ", "setsockopt:7:33", "setsockopt:7:8", "fcntl:7:3:0"}, {"close:7"}, 8, 2},
        {0, -1, {"socket:0", "log:[onvif camscout] onvif_socket(0) create succ", "setsockopt:0:33", "fcntl:0:3:0", "fcntl:0:4:2050"}, {"close:0"}, 1, 2},
        {-1, -1, {"socket:-1", "log:[onvif camscout] onvif_socket(-1) error failed", "fcntl:-1:3:0", "fcntl:-1:4:2050",
                  "log:[onvif camscout] error: onvif_socket=-1"}, {}, 0, 0},
    };
    int bytes = 16 << 20;
    for (auto& c : cases) {
        fake::reset();
        fake::state.socket_result = c.socket;
        fake::state.fail_sockopt_at = c.fail_sockopt_at;
        run_worker(3);
        for (std::size_t i = 0; c.socket >= 0 && i < (c.fail_sockopt_at == 0 ? 2u : 1u); ++i)
            EXPECT_EQ(fake::state.sockopts[i].value, std::string(reinterpret_cast<char*>(&bytes), 4));
        const lines& got = fake::state.events;
        lines head = joined(start, c.opened), tail = joined(c.closed, end);
        EXPECT_EQ(lines(got.begin(), got.begin() + std::min(got.size(), head.size())), head);
        EXPECT_EQ(lines(got.end() - std::min(got.size(), tail.size()), got.end()), tail);
        EXPECT_EQ(fake::state.selects, 3) << "receives until the run is stopped";
        EXPECT_EQ(std::make_pair(fake::state.last_select_nfds, fake::state.last_select_had_set),
                  std::make_pair(c.select_nfds, c.socket >= 0));
        EXPECT_EQ(fake::state.sent.size(), c.sent);
        EXPECT_EQ(std::make_tuple(onvif_socket, max_fd, bool(recv_thread_held)), std::make_tuple(0, 0, false));
    }
}

static option option_of(const fake::sockopt_call& o)
{
    return {o.level, o.name, o.value};
}

TEST(recv_thread, start_and_stop_without_a_worker_or_with_one_already_there)
{
    fake::reset();
    fake::state.thread_result = 11;
    start_recv_thread();
    EXPECT_FALSE(recv_thread_held);
    stop_recv_thread();
    EXPECT_EQ(fake::state.events, (lines{"thread_create", "sleep:2"}));
    fake::reset();
    recv_thread_held = true;  // a worker runs already
    start_recv_thread();
    EXPECT_TRUE(recv_thread_running);
    stop_recv_thread();
    EXPECT_FALSE(recv_thread_running);
    EXPECT_EQ(fake::state.events, (lines{"thread_join", "sleep:2"}));
}

static const char expected_transmitter_probe[] =
    R"(<?xml version="1.0" encoding="utf-8"?><Envelope xmlns:dn="http://www.onvif.org/ver10/network/wsdl" xmlns="http://www.w3.org/2003/05/soap-envelope"><Header><wsa:MessageID xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">uuid:00112233-4455-6677-8899-aabbccddeeff</wsa:MessageID><wsa:To xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To><wsa:Action xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action></Header><Body><Probe xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns="http://schemas.xmlsoap.org/ws/2005/04/discovery"><Types>dn:NetworkVideoTransmitter</Types><Scopes /></Probe></Body></Envelope>)";

static const char expected_device_probe[] =
    R"(<?xml version="1.0" encoding="utf-8"?><Envelope xmlns:tds="http://www.onvif.org/ver10/device/wsdl" xmlns="http://www.w3.org/2003/05/soap-envelope"><Header><wsa:MessageID xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">uuid:00112233-4455-6677-8899-aabbccddeeff</wsa:MessageID><wsa:To xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To><wsa:Action xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action></Header><Body><Probe xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns="http://schemas.xmlsoap.org/ws/2005/04/discovery"><Types>tds:Device</Types><Scopes /></Probe></Body></Envelope>)";

// The n-th MessageID of the doubles comes from 16 bytes of n.
static std::string message_id(int n)
{
    char h[3];
    snprintf(h, sizeof h, "%02x", n);
    std::string x = h;
    return "uuid:" + x + x + x + x + "-" + x + x + "-" + x + x + "-" + x + x + "-" + x + x + x + x + x + x;
}

// Each interface: its three options, then both Probes, each with a MessageID
// of its own, to the WS-Discovery group, without the terminating zero.
TEST(probe, each_interface_gets_its_options_and_two_probes)
{
    fake::reset();
    onvif_socket = 7;
    add_interfaces(1, "10.0.0.2");
    add_interfaces(1, "10.0.1.2");
    add_interfaces(1, "10.0.0.2");
    send_onvif_probe();
    ASSERT_EQ(fake::state.sockopts.size(), 9u);
    ASSERT_EQ(fake::state.sent.size(), 6u);
    int one = 1;
    for (std::size_t i = 0; i < 9; ++i) {
        in_addr interface;
        inet_aton(in_lan_list[i / 3].addr, &interface);
        option want[] = {{IPPROTO_IP, IP_MULTICAST_LOOP, std::string(1, 1)},
                         {SOL_SOCKET, SO_REUSEADDR, std::string(reinterpret_cast<char*>(&one), 4)},
                         {IPPROTO_IP, IP_MULTICAST_IF, std::string(reinterpret_cast<char*>(&interface), 4)}};
        EXPECT_EQ(option_of(fake::state.sockopts[i]), want[i % 3]) << i;
    }
    for (std::size_t i = 0; i < 6; ++i) {
        const fake::sent_datagram& d = fake::state.sent[i];
        std::string want = i % 2 == 0 ? expected_transmitter_probe : expected_device_probe;
        EXPECT_EQ(d.payload, want.replace(want.find("uuid:"), 41, message_id(static_cast<int>(i) + 1)));
        EXPECT_EQ(std::make_tuple(d.to.sin_family, d.to.sin_addr.s_addr, ntohs(d.to.sin_port), d.to_len),
                  std::make_tuple(AF_INET, inet_addr("239.255.255.250"), 3702, 16u));
        EXPECT_EQ(fake::state.log[i], std::string("[onvif camscout] onvif_socket(7) Sending onvif soap ws-discovery ") +
                                          (i % 2 == 0 ? "transmitter" : "device") + " ...OK");
    }
}

TEST(probe, the_first_failure_ends_the_phase_and_closes_the_socket)
{
    const std::string sock = "[onvif camscout] onvif_socket(7) ";
    struct { int socket, interfaces, fail_sockopt_at, fail_send_at; std::size_t sent; std::string last_line; } cases[] = {
        {7, 3, 3, -1, 2, sock + "setsockopt() IP_MULTICAST_LOOP error"},
        {7, 3, 4, -1, 2, sock + "setsockopt() SO_REUSEADDR error"},
        {7, 3, 5, -1, 2, sock + "setsockopt() IP_MULTICAST_IF error"},
        {7, 3, 0, -1, 0, sock + "setsockopt() IP_MULTICAST_LOOP error"},
        {7, 3, -1, 3, 4, sock + "Sending datagram message error"},
        {7, 3, -1, 2, 3, sock + "Sending datagram message error"},
        {7, 0, -1, -1, 0, ""},
        {-1, 1, -1, -1, 0, "[onvif camscout] error: onvif_socket=-1"},
    };
    for (auto& c : cases) {
        fake::reset();
        onvif_socket = c.socket;
        add_interfaces(c.interfaces);
        fake::state.fail_sockopt_at = c.fail_sockopt_at;
        fake::state.fail_send_at = c.fail_send_at;
        send_onvif_probe();
        bool failed = c.fail_sockopt_at >= 0 || c.fail_send_at >= 0;
        EXPECT_EQ(fake::state.sent.size(), c.sent);
        EXPECT_EQ(fake::state.log.empty() ? "" : fake::state.log.back(), c.last_line);
        EXPECT_EQ(fake::events_named("close:"), failed ? lines{"close:7"} : lines{});
        EXPECT_EQ(onvif_socket, failed ? -1 : c.socket);
    }
}
