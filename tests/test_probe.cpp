#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <regex>
#include <set>

#include "test_support.h"
#include "transport/probe.h"

static const char expected_transmitter_probe[] =
    R"(<?xml version="1.0" encoding="utf-8"?><Envelope xmlns:dn="http://www.onvif.org/ver10/network/wsdl" xmlns="http://www.w3.org/2003/05/soap-envelope"><Header><wsa:MessageID xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">uuid:00112233-4455-6677-8899-aabbccddeeff</wsa:MessageID><wsa:To xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To><wsa:Action xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action></Header><Body><Probe xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns="http://schemas.xmlsoap.org/ws/2005/04/discovery"><Types>dn:NetworkVideoTransmitter</Types><Scopes /></Probe></Body></Envelope>)";

static const char expected_device_probe[] =
    R"(<?xml version="1.0" encoding="utf-8"?><Envelope xmlns:tds="http://www.onvif.org/ver10/device/wsdl" xmlns="http://www.w3.org/2003/05/soap-envelope"><Header><wsa:MessageID xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">uuid:00112233-4455-6677-8899-aabbccddeeff</wsa:MessageID><wsa:To xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To><wsa:Action xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action></Header><Body><Probe xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns="http://schemas.xmlsoap.org/ws/2005/04/discovery"><Types>tds:Device</Types><Scopes /></Probe></Body></Envelope>)";

static const std::regex message_id_form("uuid:[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");

static std::string message_id_of(const std::string& probe)
{
    std::size_t start = probe.find("uuid:");
    return probe.substr(start, probe.find('<', start) - start);
}

static void add_interfaces(std::initializer_list<const char*> addrs)
{
    for (const char* a : addrs)
        in_lan_list.push_back(fake::nic("eth", "02:00:00:00:00:01", a, "10.0.0.255"));
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
    EXPECT_EQ(std::strlen(probe), 803u);
    format_probe(probe_kind::device, id, probe);
    EXPECT_STREQ(probe, expected_device_probe);
    EXPECT_EQ(std::strlen(probe), 787u);
}

TEST(probe, each_interface_gets_two_probes_with_fresh_message_ids)
{
    reset_process_state();
    onvif_socket = 7;
    add_interfaces({"10.0.0.2", "10.0.1.2", "10.0.0.2"});
    send_onvif_probe();
    ASSERT_EQ(fake::state.sent.size(), 6u);
    std::set<std::string> ids;
    for (std::size_t i = 0; i < fake::state.sent.size(); ++i) {
        const fake::sent_datagram& d = fake::state.sent[i];
        EXPECT_EQ(d.payload.size(), i % 2 == 0 ? 803u : 787u);  // no terminating zero
        EXPECT_EQ(d.to.sin_addr.s_addr, inet_addr("239.255.255.250"));
        EXPECT_EQ(ntohs(d.to.sin_port), 3702);
        EXPECT_EQ(d.to_len, 16u);
        std::string id = message_id_of(d.payload);
        EXPECT_TRUE(std::regex_match(id, message_id_form)) << id;
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 6u);
    std::vector<std::string> expected_log;
    for (int i = 0; i < 3; ++i) {
        expected_log.push_back("[onvif camscout] onvif_socket(7) Sending onvif soap ws-discovery transmitter ...OK");
        expected_log.push_back("[onvif camscout] onvif_socket(7) Sending onvif soap ws-discovery device ...OK");
    }
    EXPECT_EQ(fake::state.log, expected_log);
}

TEST(probe, options_are_set_for_every_interface_with_exact_values)
{
    reset_process_state();
    onvif_socket = 7;
    add_interfaces({"10.0.0.2", "10.0.1.2"});
    send_onvif_probe();
    ASSERT_EQ(fake::state.sockopts.size(), 6u);
    in_addr second;
    inet_aton("10.0.1.2", &second);
    const fake::sockopt_call& loop = fake::state.sockopts[3];
    const fake::sockopt_call& reuse = fake::state.sockopts[4];
    const fake::sockopt_call& interface = fake::state.sockopts[5];
    EXPECT_EQ(loop.level, IPPROTO_IP);
    EXPECT_EQ(loop.name, IP_MULTICAST_LOOP);
    EXPECT_EQ(loop.value, std::string(1, '\1'));
    EXPECT_EQ(reuse.level, SOL_SOCKET);
    EXPECT_EQ(reuse.name, SO_REUSEADDR);
    int one = 1;
    EXPECT_EQ(reuse.value, std::string(reinterpret_cast<char*>(&one), 4));
    EXPECT_EQ(interface.name, IP_MULTICAST_IF);
    EXPECT_EQ(interface.value, std::string(reinterpret_cast<char*>(&second.s_addr), 4));
}

struct failure_case {
    int fail_sockopt_at;
    int fail_send_at;
    std::size_t sent;
    const char* last_line;
};

TEST(probe, first_failure_ends_the_phase_and_closes_the_socket)
{
    const failure_case cases[] = {
        {3, -1, 2, "[onvif camscout] onvif_socket(7) setsockopt() IP_MULTICAST_LOOP error"},
        {4, -1, 2, "[onvif camscout] onvif_socket(7) setsockopt() SO_REUSEADDR error"},
        {5, -1, 2, "[onvif camscout] onvif_socket(7) setsockopt() IP_MULTICAST_IF error"},
        {-1, 3, 4, "[onvif camscout] onvif_socket(7) Sending datagram message error"},
        {-1, 2, 3, "[onvif camscout] onvif_socket(7) Sending datagram message error"},
    };
    for (const failure_case& c : cases) {
        reset_process_state();
        onvif_socket = 7;
        add_interfaces({"10.0.0.2", "10.0.1.2", "10.0.2.2"});
        fake::state.fail_sockopt_at = c.fail_sockopt_at;
        fake::state.fail_send_at = c.fail_send_at;
        send_onvif_probe();
        EXPECT_EQ(fake::state.sent.size(), c.sent);
        EXPECT_EQ(fake::state.log.back(), c.last_line);
        EXPECT_EQ(fake::state.events.back(), "close:7");
        EXPECT_EQ(onvif_socket, -1);
    }
}

TEST(probe, nothing_is_sent_without_interfaces_or_without_a_socket)
{
    reset_process_state();
    onvif_socket = 7;
    send_onvif_probe();
    EXPECT_TRUE(fake::state.events.empty());

    reset_process_state();
    onvif_socket = -1;
    add_interfaces({"10.0.0.2"});
    send_onvif_probe();
    EXPECT_EQ(fake::state.log, std::vector<std::string>{"[onvif camscout] error: onvif_socket=-1"});
    EXPECT_TRUE(fake::state.sent.empty());
}
