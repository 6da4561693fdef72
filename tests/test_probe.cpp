#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>

#include "core/globals.h"
#include "fake_platform.h"
#include "transport/probe.h"

static const char expected_transmitter_probe[] =
    R"(<?xml version="1.0" encoding="utf-8"?><Envelope xmlns:dn="http://www.onvif.org/ver10/network/wsdl" xmlns="http://www.w3.org/2003/05/soap-envelope"><Header><wsa:MessageID xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">uuid:00112233-4455-6677-8899-aabbccddeeff</wsa:MessageID><wsa:To xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To><wsa:Action xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action></Header><Body><Probe xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns="http://schemas.xmlsoap.org/ws/2005/04/discovery"><Types>dn:NetworkVideoTransmitter</Types><Scopes /></Probe></Body></Envelope>)";

static const char expected_device_probe[] =
    R"(<?xml version="1.0" encoding="utf-8"?><Envelope xmlns:tds="http://www.onvif.org/ver10/device/wsdl" xmlns="http://www.w3.org/2003/05/soap-envelope"><Header><wsa:MessageID xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">uuid:00112233-4455-6677-8899-aabbccddeeff</wsa:MessageID><wsa:To xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To><wsa:Action xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action></Header><Body><Probe xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns="http://schemas.xmlsoap.org/ws/2005/04/discovery"><Types>tds:Device</Types><Scopes /></Probe></Body></Envelope>)";

static void add_interfaces(std::initializer_list<const char*> addrs)
{
    for (const char* a : addrs)
        in_lan_list.push_back(fake::nic("eth", "02:00:00:00:00:01", a));
}

static std::string with_id(const char* probe, const std::string& id)
{
    std::string text = probe;
    return text.replace(text.find("uuid:"), 41, id);
}

TEST(probe, texts_are_byte_for_byte_the_ws_discovery_probes)
{
    const unsigned char u[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    char id[128];
    format_message_id(u, id);
    EXPECT_STREQ(id, "uuid:00112233-4455-6677-8899-aabbccddeeff");
    char probe[2048];
    format_probe(probe_kind::transmitter, id, probe);
    EXPECT_STREQ(probe, expected_transmitter_probe);
    format_probe(probe_kind::device, id, probe);
    EXPECT_STREQ(probe, expected_device_probe);
}

// Each interface: its three options, then both Probes, each with a MessageID
// of its own, to the WS-Discovery group, without the terminating zero.
TEST(probe, each_interface_gets_its_options_and_two_probes)
{
    fake::reset();
    onvif_socket = 7;
    add_interfaces({"10.0.0.2", "10.0.1.2", "10.0.0.2"});
    send_onvif_probe();
    ASSERT_EQ(fake::state.sent.size(), 6u);
    ASSERT_EQ(fake::state.sockopts.size(), 9u);
    int one = 1;
    for (std::size_t i = 0; i < 3; ++i) {
        in_addr interface;
        inet_aton(in_lan_list[i].addr, &interface);
        const fake::sockopt_call* o = &fake::state.sockopts[3 * i];
        EXPECT_EQ(std::make_tuple(o[0].level, o[0].name, o[0].value), std::make_tuple(IPPROTO_IP, IP_MULTICAST_LOOP, std::string(1, 1)));
        EXPECT_EQ(std::make_tuple(o[1].level, o[1].name, o[1].value),
                  std::make_tuple(SOL_SOCKET, SO_REUSEADDR, std::string(reinterpret_cast<char*>(&one), 4)));
        EXPECT_EQ(std::make_tuple(o[2].level, o[2].name, o[2].value),
                  std::make_tuple(IPPROTO_IP, IP_MULTICAST_IF, std::string(reinterpret_cast<char*>(&interface), 4)));
    }
    for (std::size_t i = 0; i < 6; ++i) {
        const fake::sent_datagram& d = fake::state.sent[i];
        unsigned char u[16];
        std::memset(u, static_cast<int>(i + 1), sizeof u);
        char id[128];
        format_message_id(u, id);
        EXPECT_EQ(d.payload, with_id(i % 2 == 0 ? expected_transmitter_probe : expected_device_probe, id));
        EXPECT_EQ(d.to.sin_family, AF_INET);
        EXPECT_EQ(d.to.sin_addr.s_addr, inet_addr("239.255.255.250"));
        EXPECT_EQ(ntohs(d.to.sin_port), 3702);
        EXPECT_EQ(d.to_len, 16u);
        EXPECT_EQ(fake::state.log[i], std::string("[onvif camscout] onvif_socket(7) Sending onvif soap ws-discovery ") +
                                          (i % 2 == 0 ? "transmitter" : "device") + " ...OK");
    }
}

TEST(probe, the_first_failure_ends_the_phase_and_closes_the_socket)
{
    struct {
        int fail_sockopt_at, fail_send_at;
        std::size_t sent;
        const char* last_line;
    } cases[] = {
        {3, -1, 2, "[onvif camscout] onvif_socket(7) setsockopt() IP_MULTICAST_LOOP error"},
        {4, -1, 2, "[onvif camscout] onvif_socket(7) setsockopt() SO_REUSEADDR error"},
        {5, -1, 2, "[onvif camscout] onvif_socket(7) setsockopt() IP_MULTICAST_IF error"},
        {-1, 3, 4, "[onvif camscout] onvif_socket(7) Sending datagram message error"},
        {-1, 2, 3, "[onvif camscout] onvif_socket(7) Sending datagram message error"},
        {0, -1, 0, "[onvif camscout] onvif_socket(7) setsockopt() IP_MULTICAST_LOOP error"},
    };
    for (auto& c : cases) {
        fake::reset();
        onvif_socket = 7;
        add_interfaces({"10.0.0.2", "10.0.1.2", "10.0.2.2"});
        fake::state.fail_sockopt_at = c.fail_sockopt_at;
        fake::state.fail_send_at = c.fail_send_at;
        send_onvif_probe();
        EXPECT_EQ(fake::state.sent.size(), c.sent);
        EXPECT_EQ(fake::state.log.back(), c.last_line);
        EXPECT_EQ(fake::events_named("close:"), std::vector<std::string>{"close:7"});
        EXPECT_EQ(fake::state.events.back(), "close:7");
        EXPECT_EQ(onvif_socket, -1);
    }
}

TEST(probe, nothing_is_sent_without_interfaces_or_without_a_socket)
{
    for (int socket : {7, -1}) {
        fake::reset();
        onvif_socket = socket;
        if (socket < 0)
            add_interfaces({"10.0.0.2"});
        send_onvif_probe();
        EXPECT_TRUE(fake::state.sent.empty());
        EXPECT_EQ(fake::state.log, socket < 0 ? std::vector<std::string>{"[onvif camscout] error: onvif_socket=-1"}
                                              : std::vector<std::string>{});
        EXPECT_EQ(onvif_socket, socket);
    }
}
