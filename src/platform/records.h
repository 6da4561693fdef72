// The recorder platform's records, in the exact layouts that its libraries
// exchange with this program. Text members are fixed-width and
// zero-terminated; the members this program does not read are kept so that
// every offset matches the platform's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One network interface, as netcom_NIC_Get_Info fills it.
struct NIC_INFO {
    char dev[32];     // device name
    char mac[32];     // MAC address text, lower-case hex joined by colons
    char addr[32];    // IPv4 address, dotted quad
    char netmask[32];
    char gateway[32];
    char b_addr[32];  // IPv4 broadcast address, dotted quad
    char reserved2[32];
};
static_assert(sizeof(NIC_INFO) == 224);

// One entry of the device-name list of netcom_NIC_Get_Dev_Name_List.
struct netcom_nic_dev_name_st {
    char name[17];
    uint8_t select_flag_1;  // the interface is up
    uint8_t select_flag_2;  // the interface has an IPv4 address
    uint8_t reserved;
    uint8_t exclude_flag;   // loopback
    uint8_t reserved2[3];
    netcom_nic_dev_name_st* next;
};
static_assert(offsetof(netcom_nic_dev_name_st, next) == 24);

// One discovered device, handed to the media-source library.
struct TMediaSourceDevInfo {
    int64_t model_id;   // catalogue identifier, from make_long_long
    char model[64];
    char ip_addr[16];
    char mac_addr[24];
    int32_t brand_id;
    uint8_t unused1[4];
    int32_t port;
    uint8_t unused2[132];
};
static_assert(sizeof(TMediaSourceDevInfo) == 256 && offsetof(TMediaSourceDevInfo, port) == 120);

// The platform's authentication record; this program only hands it on.
struct t_auth {
    char user[64];
    char password[64];
    char group[64];
    char home[128];
    int32_t uid;
    int32_t gid;
    int32_t level;
    int32_t flags;
    char token[128];
};

typedef char netmgr_text[64];

// A wired interface of the network manager (31 text members).
struct t_network_netmgr_wired {
    netmgr_text text_1_6[6];
    int32_t scalar_1;
    netmgr_text text_7_13[7];
    netmgr_text dev_name;      // 14th
    int32_t scalar_2;
    netmgr_text text_15_17[3];
    netmgr_text state;         // 18th: "1" when up
    netmgr_text text_19;
    netmgr_text ipv4_addr;     // 20th: must not be empty
    netmgr_text text_21_24[4];
    int32_t scalar_3;
    netmgr_text text_25_31[7];
    int32_t scalar_4;
};

// A wireless interface of the network manager (21 text members).
struct t_network_netmgr_wireless {
    netmgr_text text_1_8[8];
    int32_t scalar_1;
    netmgr_text text_9_10[2];
    netmgr_text state;         // 11th: "1" when up
    netmgr_text text_12;
    netmgr_text ipv4_addr;     // 13th: must not be empty
    netmgr_text text_14_16[3];
    int32_t scalar_2;
    netmgr_text text_17;
    netmgr_text dev_name;      // 18th
    netmgr_text text_19_21[3];
};

// A bridge of the network manager (36 text members).
struct t_network_netmgr_bridge {
    netmgr_text dev_name;      // 1st
    netmgr_text text_2_19[18];
    int32_t scalar_1;
    netmgr_text text_20_23[4];
    netmgr_text state;         // 24th: "enable" when up
    netmgr_text text_25_33[9];
    netmgr_text ipv4_addr;     // 34th: must not be empty
    netmgr_text text_35_36[2];
};

// As documented: 64-byte texts, each member at (its number - 1) * 64 plus
// 4 bytes for each scalar before it.
static_assert(sizeof(t_network_netmgr_wired) == 31 * 64 + 4 * 4 && offsetof(t_network_netmgr_wired, dev_name) == 13 * 64 + 4);
static_assert(offsetof(t_network_netmgr_wired, state) == 17 * 64 + 8 && offsetof(t_network_netmgr_wired, ipv4_addr) == 19 * 64 + 8);
static_assert(sizeof(t_network_netmgr_wireless) == 21 * 64 + 2 * 4 && offsetof(t_network_netmgr_wireless, state) == 10 * 64 + 4);
static_assert(offsetof(t_network_netmgr_wireless, ipv4_addr) == 12 * 64 + 4 && offsetof(t_network_netmgr_wireless, dev_name) == 17 * 64 + 8);
static_assert(sizeof(t_network_netmgr_bridge) == 36 * 64 + 4 && offsetof(t_network_netmgr_bridge, dev_name) == 0);
static_assert(offsetof(t_network_netmgr_bridge, state) == 23 * 64 + 4 && offsetof(t_network_netmgr_bridge, ipv4_addr) == 33 * 64 + 4);

struct t_network_netmgr_net_list {
    std::vector<t_network_netmgr_wired> wired;
    std::vector<t_network_netmgr_wireless> wireless;
    std::vector<t_network_netmgr_bridge> bridges;
};
