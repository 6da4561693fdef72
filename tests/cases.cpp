// The system's code against the platform doubles, and the platform's own
// parts that make no platform call.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <set>

#include "catalogue/model_table.h"
#include "fake_platform.h"
#include "host/log/text_escape.h"
#include "response/response.h"
#include "run/run.h"
#include "run/text_field.h"
#include "transport/transport.h"

using namespace std::string_literals;
using words = std::vector<std::string>;

// The recorded calls of the kinds given ("log", "sendto"...) in their order:
// each without its kind when one kind is asked for, else cut after its first detail.
static words calls(const std::set<std::string>& kinds)
{
    words out;
    for (const std::string& e : fake::state.events) {
        std::size_t colon = e.find(':');
        if (kinds.count(e.substr(0, colon)) != 0)
            out.push_back(kinds.size() == 1 ? e.substr(std::min(colon + 1, e.size())) : e.substr(0, e.find(':', colon + 1)));
    }
    return out;
}

// A WS-Discovery answer that binds d to the discovery namespace, with the
// Scopes and XAddrs given (an empty one left out) in a ProbeMatch or kind.
static std::string answer(const std::string& scopes, const std::string& xaddrs, const std::string& kind = "ProbeMatch")
{
    auto element = [](const std::string& name, const std::string& text) {
        return text.empty() ? "" : "<d:" + name + ">" + text + "</d:" + name + ">";
    };
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:d=\"http://schemas.xmlsoap.org/ws/"
           "2005/04/discovery\"><s:Body>" + element(kind + "es", element(kind, element("Types", "dn:NetworkVideoTransmitter")
           + element("Scopes", scopes) + element("XAddrs", xaddrs))) + "</s:Body></s:Envelope>";
}

static void deliver(const char* from, const std::string& bytes)
{
    fake::state.incoming.push_back({inet_addr(from), bytes});
    onvif_socket = max_fd = 7;
    recv_onvif_response();
}

static std::string record_text(const TMediaSourceDevInfo& r)
{
    return std::string(r.ip_addr) + " " + r.mac_addr + " port=" + std::to_string(r.port) + " brand=" + std::to_string(r.brand_id) +
           " id=" + std::to_string(r.model_id >> 32) + "/" + std::to_string(r.model_id & 0xffffffff) + " model=[" + r.model + "]";
}

template <typename Entry>
static void add_entry(std::vector<Entry>& list, const char* dev, const char* state, const char* required = "x")
{
    Entry& e = list.emplace_back();
    copy_text(e.dev_name, dev);
    copy_text(e.state, state);
    copy_text(e.ipv4_addr, required);
}

// An interface that netcom_NIC_Get_Info knows, with MAC 02:00:00:00:00:01.
static NIC_INFO& add_nic(const char* dev, const char* addr, const char* b_addr = "10.0.0.255")
{
    NIC_INFO& n = fake::state.nics[dev];
    copy_text(n.dev, dev);
    copy_text(n.mac, "02:00:00:00:00:01");
    copy_text(n.addr, addr);
    copy_text(n.b_addr, b_addr);
    return n;
}

static void add_interfaces()
{
    for (const char* addr : {"10.0.0.2", "10.0.1.2"})
        in_lan_list.push_back(add_nic("eth", addr));
}

struct fresh : ::testing::Test {
    void SetUp() override { fake::reset(); init_model_table(); }
};
struct run_sequence : fresh {};
struct transport : fresh {};
struct response : fresh {};

// The parent collects the interfaces and ends at once, even when both platform
// calls failed: asked about only in state "1" ("enable" for a bridge) with the
// required member, kept without a 0.0.0.0 address or broadcast; wired, wireless,
// bridges. The child probes out of each before its first receive, and closes
// the library after the worker's stop.
TEST_F(run_sequence, the_parent_collects_the_interfaces_and_the_child_probes_them)
{
    auto run = [](pid_t fork) {
        fake::reset();
        std::tie(fake::state.auth, fake::state.net_list_result, fake::state.fork) = std::tuple(-1, -1, fork);
        for (const char* dev : {"eth0", "wlan0", "br0", "eth9", "noreq0", "en0"})
            add_nic(dev, "10.0.0.2");
        add_nic("a0", "0.0.0.0");
        add_nic("b0", "10.0.3.2", "0.0.0.0");
        auto& list = fake::state.net_list;
        add_entry(list.bridges, "br0", "enable");
        add_entry(list.bridges, "en0", "Enable");
        add_entry(list.wireless, "wlan0", "1");
        add_entry(list.wired, "eth9", "10");
        add_entry(list.wired, "noreq0", "1", "");
        for (const char* dev : {"a0", "b0", "missing0", "eth0"})
            add_entry(list.wired, dev, "1");
        onvif_socket = max_fd = 9;
        char name[] = "/usr/sbin/onvif_camscout", *argv[] = {name, nullptr};
        EXPECT_EQ(camscout_main(1, argv), 0);
        return calls({"reentried", "daemon", "fork", "msas_init_onvif", "thread_create", "sendto", "select", "sleep", "msas_uninit_onvif"});
    };
    EXPECT_EQ(run(1234), (words{"reentried:/usr/sbin/onvif_camscout", "daemon:0", "fork"}));
    EXPECT_EQ(calls({"netcom_NIC_Get_Info"}), (words{"a0", "b0", "missing0", "eth0", "wlan0", "br0"}));
    const std::string dev = "[onvif camscout] main() dev=[", addr = "], addr=[10.0.0.2], b_addr=[10.0.0.255]";
    EXPECT_EQ(calls({"log"}), (words{"[onvif camscout] PAL_auth_get_auth() failed", "[onvif camscout] PAL_network_get_netmgr_net_list() failed",
                                     dev + "eth0" + addr, dev + "wlan0" + addr, dev + "br0" + addr, "[onvif camscout] main() in_lan_num=3"}));
    EXPECT_EQ(std::tuple(onvif_socket, max_fd), std::tuple(0, 0));
    EXPECT_EQ(run(0), (words{"reentried:/usr/sbin/onvif_camscout", "daemon:0", "fork", "msas_init_onvif", "thread_create", "sendto:7", "sendto:7",
                             "sendto:7", "sendto:7", "sendto:7", "sendto:7", "select:8", "sleep:60", "sleep:2", "msas_uninit_onvif"}));
    EXPECT_EQ(calls({"log"}).back(), "[onvif camscout] onvif_camscout exit(0)");

    fake::reset();  // a line cut at 4095 characters, a '%' passed through
    EXPECT_EQ(debug_log("%s", std::string(5000, 'x').c_str()), 0);
    debug_log("%s", "100%d %s %n");
    EXPECT_EQ(calls({"log"}), (words{std::string(4095, 'x'), "100%d %s %n"}));
}

// One worker at a time: it registers, opens a non-blocking socket with a 16 MiB
// receive queue (else what the host allows), receives until stopped and
// tears down; the stop waits for it, then a new one can start. Without a socket
// it neither probes nor closes, and waits out its run all the same.
TEST_F(transport, the_worker_receives_until_stopped)
{
    fake::state.defer = 1;  // the worker runs when it is joined
    start_recv_thread();
    start_recv_thread();
    stop_recv_thread();
    EXPECT_EQ(std::tuple(onvif_socket, max_fd, recv_thread_running.load()), std::tuple(0, 0, false));
    start_recv_thread();
    EXPECT_EQ(calls({"thread_create", "thread_join", "nvr_sys_state_create_thread", "socket", "fcntl", "close", "nvr_sys_state_destroy_thread", "sleep"}),
              (words{"thread_create", "thread_join:7", "nvr_sys_state_create_thread:[onvif_camscout] recv thread...", "socket:2", "fcntl:7", "fcntl:7",
                     "close:7", "nvr_sys_state_destroy_thread", "sleep:2", "thread_create"}));
    EXPECT_EQ(calls({"fcntl"}).back(), "7:4:2050");  // O_NONBLOCK added
    EXPECT_EQ(calls({"setsockopt"})[0], "7:1:33:00000001");
    stop_recv_thread();

    fake::reset();
    std::tie(fake::state.socket, fake::state.fail_sockopt) = std::tuple(0, 0);  // descriptor 0 is one
    start_recv_thread();
    stop_recv_thread();
    EXPECT_EQ(calls({"setsockopt", "select", "close"}), (words{"setsockopt:0", "setsockopt:0", "select:1", "close:0"}));
    EXPECT_EQ(calls({"setsockopt"})[1], "0:1:8:00000001");  // SO_RCVBUF

    fake::reset();
    fake::state.socket = -1;
    add_interfaces();
    start_recv_thread();
    stop_recv_thread();
    EXPECT_EQ(calls({"select", "close", "sendto"}), words{"select:0"});
    EXPECT_EQ(calls({"log"}), (words{"[onvif_camscout] start recv thread...", "[onvif camscout] onvif_socket(-1) error failed",
                                     "[onvif camscout] error: onvif_socket=-1", "[onvif_camscout] stop recv thread..."}));
    EXPECT_EQ(onvif_socket, 0);
}

// Out of each interface: its loop, reuse and interface options, then both
// Probes to the group, each with a fresh MessageID. The first failure is
// logged, closes the socket and ends the probes.
TEST_F(transport, each_interface_gets_both_probes_until_the_first_failure)
{
    auto probe = [](int fail_sockopt, int fail_send) {
        fake::reset();
        add_interfaces();
        onvif_socket = 7;
        std::tie(fake::state.fail_sockopt, fake::state.fail_send) = std::tuple(fail_sockopt, fail_send);
        send_onvif_probe();
        bool failed = fail_sockopt >= 0 || fail_send >= 0;
        EXPECT_EQ(std::tuple(onvif_socket, calls({"close"})), failed ? std::tuple(-1, words{"7"}) : std::tuple(7, words{}));
        return calls({"log"});
    };
    probe(-1, -1);
    EXPECT_EQ(calls({"setsockopt"}), (words{"7:0:34:01", "7:1:2:01000000", "7:0:32:0a000002", "7:0:34:01", "7:1:2:01000000", "7:0:32:0a000102"}));
    words sent = calls({"sendto"});
    ASSERT_EQ(sent.size(), 4u);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        std::string text = sent[i].substr(sent[i].find('<'));
        EXPECT_EQ(sent[i].substr(0, sent[i].find('<')), "7:2:239.255.255.250:3702:16:");
        EXPECT_EQ(text.size(), i % 2 == 0 ? 803u : 787u);
        EXPECT_NE(text.find(i % 2 == 0 ? "<Types>dn:NetworkVideoTransmitter<" : "<Types>tds:Device<"), std::string::npos);
        std::string two = "0" + std::to_string(i + 1) + "0" + std::to_string(i + 1);  // the doubles' UUID i + 1
        std::string uuid = two + two + "-" + two + "-" + two + "-" + two + "-" + two + two + two;
        EXPECT_NE(text.find(">uuid:" + uuid + "<"), std::string::npos) << text;
    }

    EXPECT_EQ(probe(0, -1), words{"[onvif camscout] onvif_socket(7) setsockopt() IP_MULTICAST_LOOP error"});
    EXPECT_EQ(probe(5, -1).back(), "[onvif camscout] onvif_socket(7) setsockopt() IP_MULTICAST_IF error");
    EXPECT_EQ(calls({"sendto"}).size(), 2u);
    EXPECT_EQ(probe(-1, 1), (words{"[onvif camscout] onvif_socket(7) Sending onvif soap ws-discovery transmitter ...OK",
                                   "[onvif camscout] onvif_socket(7) Sending datagram message error"}));
}

static const char arp_header[] = "IP address       HW type     Flags       HW address            Mask     Device\n";

// From the receive step (5 s wait, 10240 bytes of room) to the stored record.
// Hellos and the group's own address are dropped unrecorded; any other message
// marks its sender handled; only a ProbeMatch with a known MAC is stored. Brand
// 31 is stored with port 80, 44 with its own.
TEST_F(response, a_probe_match_from_a_new_responder_with_a_mac_is_stored)
{
    fake::state.arp_table = arp_header + "10.0.0.9   0x1   0x2   02:aa:00:00:00:09   *   eth0\n"s +
                            "10.0.0.13  0x1   0x2   02:aa:00:00:00:13   *   eth0\n10.0.0.14  0x1   0x2   02:aa:00:00:00:14   *   eth0\n";
    deliver("10.0.0.9", answer("onvif://www.onvif.org/hardware/DS-2CD2187G2H-LISU onvif://www.onvif.org/Profile/Streaming",
                               "http://10.0.0.9:8080/onvif/device_service"));
    EXPECT_EQ(calls({"select"})[0] + " " + calls({"recvfrom"})[0], "8:set:5000000 7:10240");
    EXPECT_EQ(calls({"log"}), (words{"[onvif camscout]", "[onvif camscout] pch_IP 10.0.0.9, FindRemoteMAC = 02:aa:00:00:00:09",
                                     "[onvif camscout] Find DS-2CD2187G2H",
                                     "[onvif camscout] msas_store_found_media_source_onvif, pInfo->model=[DS-2CD2187G2H-LISU], "
                                     "pInfo->mac_addr=[02:aa:00:00:00:09]"}));
    const std::string streaming = "onvif://www.onvif.org/Profile/Streaming";
    deliver("10.0.0.13", "<x:Hello>" + answer(streaming, "http://x/"));
    deliver("239.255.255.250", answer(streaming, "http://x/"));
    deliver("10.0.0.13", answer(streaming, "http://x/", "ResolveMatch"));
    deliver("10.0.0.13", answer(streaming, "http://x/"));
    deliver("10.0.0.14", answer(streaming, "http://10.0.0.14:8080/onvif/device_service"));
    deliver("10.0.0.20", answer("", ""));  // no MAC, no XAddrs, no Scopes
    EXPECT_EQ(calls({"ping"}), (words{"10.0.0.9:3000:", "10.0.0.13:3000:", "10.0.0.14:3000:", "10.0.0.20:3000:"}));
    ASSERT_EQ(fake::state.stored.size(), 2u);
    EXPECT_EQ(record_text(fake::state.stored[0]), "10.0.0.9 02:aa:00:00:00:09 port=80 brand=31 id=31/862 model=[DS-2CD2187G2H-LISU]");
    EXPECT_EQ(record_text(fake::state.stored[1]), "10.0.0.14 02:aa:00:00:00:14 port=8080 brand=44 id=44/11 model=[ONVIF ProfileS Cameras]");
    words log = calls({"log"});
    EXPECT_EQ(words(log.end() - 3, log.end()),
              (words{"[onvif camscout] can't find Camera endpoint, use default port: 80",
                     "[onvif camscout] can't find Camera Scopes, default model: ONVIF Cameras (Fixed Settings)",
                     "[onvif camscout] msas_store_found_media_source_onvif, pInfo->model=[ONVIF Cameras (Fixed Settings)], "
                     "pInfo->mac_addr=[00:00:00:00:00:00]"}));
    fake::state.recv = -1;
    deliver("10.0.0.17", "x");
    EXPECT_EQ(calls({"log"}).back(), "[onvif camscout] onvif_socket(7) Reading datagram message error -1");

    // A responder is known by address, or by address and channel for the
    // maker's multi-channel sources; the two kept apart.
    auto known = [](const char* from, const std::string& scopes) {
        return is_known_responder(inet_addr(from), answer(scopes, "").c_str());
    };
    EXPECT_FALSE(known("10.0.0.1", "onvif://www.onvif.org/Profile/Streaming vorn/Lumidock(ch3)"));
    EXPECT_FALSE(known("10.0.0.1", "VORN/Lumidock(ch3)Lumidock(ch1)"));  // channel 1
    EXPECT_TRUE(known("10.0.0.1", "x VORN/lumidock(CH3)"));
    EXPECT_FALSE(known("10.0.0.2", "x-VORN-Sparrowcam(ch4)-y"));
    EXPECT_FALSE(known("10.0.0.2", ""));
    EXPECT_FALSE(known("10.0.0.3", "Lumidock(ch1)"));
    EXPECT_TRUE(known("10.0.0.3", "VORN-Sparrowcamera"));
}

// The ARP table after a ping, read up to 20 times, each opened and closed: the
// 4th column of the first line whose 1st is the address (a line over 1022
// characters read in pieces); else the first considered own interface with it.
TEST_F(response, the_mac_is_the_arp_tables_or_an_own_interfaces)
{
    auto resolve = [](const char* addr, const std::string& lines) {
        fake::state.arp_table = arp_header + lines;
        fake::state.arp_opens = fake::state.arp_closes = 0;
        char mac[32];
        resolve_device_mac(inet_addr(addr), mac);
        EXPECT_EQ(fake::state.arp_opens, fake::state.arp_closes);
        return std::string(mac) + " after " + std::to_string(fake::state.arp_opens);
    };
    EXPECT_EQ(resolve("192.168.1.2", "192.168.1.20 0x1 0x2 11:11:11:11:11:11\n192.168.1.2 0x1 0x2\n192.168.1.2 0x1 0x2 11:11:11:11:11:11\n"),
              "00:00:00:00:00:00 after 20");
    EXPECT_EQ(resolve("192.168.1.2", "  192.168.1.2 0x1 0x2 aa:bb:cc:dd:ee:01"), "aa:bb:cc:dd:ee:01 after 1");
    EXPECT_EQ(resolve("192.168.1.2", std::string(1022, 'x') + "192.168.1.2 0x1 0x2 aa:bb:cc:dd:ee:03 * eth0\n"), "aa:bb:cc:dd:ee:03 after 1");

    fake::reset();
    copy_text(add_nic("other0", "10.0.0.10").mac, "02:00:00:00:00:12");
    copy_text(add_nic("eth0", "10.0.0.1").mac, "02:00:00:00:00:10");
    copy_text(add_nic("eth1", "10.0.0.1").mac, "02:00:00:00:00:11");
    const struct { const char* name; uint8_t up, addressed, loopback; } names[] = {
        {"down0", 0, 1, 0}, {"noaddr0", 1, 0, 0}, {"lo", 1, 1, 1}, {"fail0", 1, 1, 0}, {"other0", 1, 1, 0}, {"eth0", 1, 1, 0}, {"eth1", 1, 1, 0}};
    for (const auto& n : names) {
        netcom_nic_dev_name_st& e = fake::state.dev_names.emplace_back();
        copy_text(e.name, n.name);
        std::tie(e.select_flag_1, e.select_flag_2, e.exclude_flag) = std::tuple(n.up, n.addressed, n.loopback);
    }
    char mac[32];
    resolve_device_mac(inet_addr("10.0.0.1"), mac);  // with no ARP table
    dev_info_ptr info = create_dev_info(inet_addr("10.0.0.1"), mac);
    get_local_mac_addr(*info);
    EXPECT_EQ(calls({"netcom_NIC_Get_Info", "netcom_NIC_Free_Dev_Name_List"}),
              (words{"netcom_NIC_Get_Info:fail0", "netcom_NIC_Get_Info:other0", "netcom_NIC_Get_Info:eth0", "netcom_NIC_Free_Dev_Name_List"}));
    EXPECT_EQ(calls({"log"}), (words{"[onvif camscout] pch_IP 10.0.0.1, FindRemoteMAC = 00:00:00:00:00:00",
                                     "[onvif camscout] get_local_mac_addr() dev=[eth0], addr=[10.0.0.1], mac=[02:00:00:00:00:10]"}));
}

// The prefix: between the last ":" and the "=" before the discovery namespace,
// at most 127 characters. The port of the first URL's host part (brackets looked
// for in the whole list; the low 16 bits count), else 80. The model from the
// profiles, hardware and model scopes, the maker's own names, the model table
// (brand 9 recorded as 44); scopes cut at spaces only.
TEST_F(response, the_fields_the_port_and_the_model_come_from_the_text)
{
    auto prefix = [](const std::string& text) {
        char p[256] = "untouched";
        return std::to_string(get_ns_prefix(text.c_str(), p)) + " " + p;
    };
    const std::string ns = "=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"";
    EXPECT_EQ(prefix("<s:Envelope xmlns:wsdd=\"HTTP://SCHEMAS.XMLSOAP.ORG/WS/2005/04/DISCOVERY\">"), "0 wsdd");
    EXPECT_EQ(prefix("<s:Envelope xmlns:" + ns), "0 ");
    EXPECT_EQ(prefix("<Envelope xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/other\">"), "-1 untouched");
    EXPECT_EQ(prefix(":" + std::string(127, 'p') + ns), "0 " + std::string(127, 'p'));
    EXPECT_EQ(prefix(":" + std::string(128, 'p') + ns), "-1 untouched");

    auto tag = [](const char* name, const char* text) {
        std::string value = "untouched";
        return std::to_string(get_tag_value(text, name, value)) + " " + value;
    };
    EXPECT_EQ(tag("d:XAddrs", "<d:XAddrs a=\"b\">http://a/</d:XAddrs>"), "1 http://a/");
    EXPECT_EQ(tag("d:Scopes", "<d:Scopes/>"), "0 untouched");
    EXPECT_EQ(tag("d:Scopes", "</d:Scopes><d:Scopes>tail"), "1 tail");
    EXPECT_EQ(tag("d:Scopes", "<D:Scopes>a</D:Scopes>"), "0 untouched");

    auto port = [](const char* xaddrs) {
        TMediaSourceDevInfo info{};
        parse_service_port(info, xaddrs);
        return info.port;
    };
    EXPECT_EQ(port("http://[fe80::1]:8899/onvif/device_service"), 8899);
    EXPECT_EQ(port("http://192.168.1.20:8000/onvif/device_service http://[fe80::1]:8000/onvif/device_service"), 80);
    EXPECT_EQ(port("http://192.168.1.20:0/onvif/device_service"), 80);
    EXPECT_EQ(port("http://192.168.1.20:65537/onvif/device_service"), 1);

    auto identify = [](const char* scopes) {
        TMediaSourceDevInfo info{};
        identify_device(info, scopes);
        std::string text = record_text(info);
        return text.substr(text.find("brand"));
    };
    const std::string hardware = "onvif://www.onvif.org/hardware/";
    EXPECT_EQ(identify("onvif://www.onvif.org/Profile/T"), "brand=44 id=44/23 model=[ONVIF ProfileT Cameras]");
    EXPECT_EQ(identify(" onvif://www.onvif.org/Profile/T  onvif://www.onvif.org/hardware/Q\tZ\nW "), "brand=44 id=44/23 model=[Q\tZ\nW]");
    EXPECT_EQ(identify((hardware + "AB%254a").c_str()), "brand=44 id=44/6 model=[ABJ]");
    EXPECT_EQ(identify((hardware + "VRNC-73JW").c_str()), "brand=53 id=53/603 model=[VRNC-73JW]");
    EXPECT_EQ(identify((hardware + "VRNC-73K").c_str()), "brand=53 id=53/604 model=[VRNC-73K]");
    EXPECT_EQ(identify((hardware + "VRNC%2D73K").c_str()), "brand=53 id=44/6 model=[VRNC-73K]");
    EXPECT_EQ(identify((hardware + "XYZ onvif://www.onvif.org/model/MS-C5375-FPD").c_str()), "brand=264 id=264/6 model=[MS-C5375-FPD]");
    EXPECT_EQ(identify("onvif://www.onvif.org/model/ms-c5375-fpd"), "brand=44 id=44/6 model=[ONVIF Cameras (Fixed Settings)]");
    EXPECT_EQ(identify("onvif://www.onvif.org/model/C1PA08501"), "brand=298 id=298/1 model=[C1PA08501]");
    EXPECT_EQ(identify((hardware + "x-LUMIDOCK(ch3)").c_str()), "brand=44 id=9/50 model=[x-LUMIDOCK(ch3)]");
    EXPECT_EQ(calls({"log"}), (words{"[onvif camscout] Find VORN IPC", "[onvif camscout] Find VORN IPC", "[onvif camscout] Find VORN IPC",
                                     "[onvif camscout] Find MS-C5375-FPD", "[onvif camscout] Find C1PA08501", "[onvif camscout] Find Lumidock(ch3)"}));
}

// Nothing a device sends breaks a line or drives a terminal (U+009B is a
// one-character CSI) or reorders what is shown; combining marks stay.
TEST(text_escape, a_device_text_is_shown_as_text)
{
    EXPECT_EQ(escape_text("a\\b 100% line\r\nnext \x01\x1f\x7f\x00 \t\x1b[2J"s), R"(a\\b 100% line\r\nnext \x01\x1f\x7f\x00 \x09\x1b[2J)");
    EXPECT_EQ(escape_text("\xc2\x9b" "2J \xe2\x80\x8b \xe2\x80\x8f \xe2\x80\xaa" "a\xe2\x80\xae \xe2\x81\xa6" "b\xe2\x81\xa9 \xef\xbb\xbf "
                          "\xee\x80\x80 \xf3\xa0\x80\x81 \xc2\xa0\xc3\xa9\xe0\xb8\xb1"),
              R"(\u009B2J \u200B \u200F \u202Aa\u202E \u2066b\u2069 \uFEFF \uE000 \U000E0001 )" "\xc2\xa0\xc3\xa9\xe0\xb8\xb1");
    EXPECT_EQ(escape_text("\"\xc2\x9b \xe2\x80\xae \x7f \xf3\xa0\x80\x81 \xc3\xa9 \xe6\x97\xa5 \\\"", text_form::json),
              R"("\u009b \u202e \u007f \udb40\udc01 é 日 \")");
}

// The look-up takes the first row whose name the text contains, so a row
// behind a row whose name it contains could never be found.
TEST(model_table, every_row_can_be_found)
{
    for (std::size_t i = 0; i < model_table_rows; ++i)
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_FALSE(contains_nocase(model_table[i].model_name, model_table[j].model_name))
                << model_table[i].model_name << " behind " << model_table[j].model_name;
}
