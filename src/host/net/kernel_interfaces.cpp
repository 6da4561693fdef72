#include "host/net/kernel_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "run/text_field.h"

static std::string dotted(const sockaddr* sa)
{
    char text[INET_ADDRSTRLEN] = "0.0.0.0";
    if (sa != nullptr && sa->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, text, sizeof text);
    return text;
}

static std::string mac_text(const sockaddr_ll* ll)
{
    if (ll->sll_halen != 6)
        return "";
    char text[18];
    snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", ll->sll_addr[0],
             ll->sll_addr[1], ll->sll_addr[2], ll->sll_addr[3], ll->sll_addr[4], ll->sll_addr[5]);
    return text;
}

std::vector<kernel_interface> interfaces_from(const ifaddrs* all)
{
    std::vector<kernel_interface> list;
    for (const ifaddrs* ifa = all; ifa != nullptr; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr == nullptr)
            continue;
        auto it = std::find_if(list.begin(), list.end(), [&](const kernel_interface& k) { return k.name == ifa->ifa_name; });
        kernel_interface& k = it != list.end() ? *it : list.emplace_back();
        if (k.name.empty())
            k.name = ifa->ifa_name;
        k.up = (ifa->ifa_flags & IFF_UP) != 0;
        k.loopback = (ifa->ifa_flags & IFF_LOOPBACK) != 0;
        int family = ifa->ifa_addr->sa_family;
        if (family == AF_PACKET) {
            k.mac = mac_text(reinterpret_cast<const sockaddr_ll*>(ifa->ifa_addr));
        } else if (family == AF_INET && k.addr.empty()) {
            k.addr = dotted(ifa->ifa_addr);
            k.netmask = dotted(ifa->ifa_netmask);
            if (ifa->ifa_flags & IFF_BROADCAST)
                k.broadcast = dotted(ifa->ifa_broadaddr);
        }
    }
    return list;
}

std::vector<kernel_interface> list_kernel_interfaces()
{
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0)
        return {};
    std::vector<kernel_interface> list = interfaces_from(all);
    freeifaddrs(all);
    std::stable_sort(list.begin(), list.end(), [](const kernel_interface& a, const kernel_interface& b) {
        return if_nametoindex(a.name.c_str()) < if_nametoindex(b.name.c_str());
    });
    return list;
}

void fill_nic_info(const kernel_interface& k, NIC_INFO& info)
{
    info = NIC_INFO{};
    copy_text(info.dev, k.name);
    copy_text(info.mac, k.mac);
    copy_text(info.addr, k.addr);
    copy_text(info.netmask, k.netmask);
    copy_text(info.b_addr, k.broadcast);
}

netcom_nic_dev_name_st dev_name_entry(const kernel_interface& k)
{
    netcom_nic_dev_name_st entry{};
    copy_text(entry.name, k.name);
    entry.select_flag_1 = k.up;
    entry.select_flag_2 = !k.addr.empty();
    entry.exclude_flag = k.loopback;
    return entry;
}

template <typename Entry>
static Entry net_list_entry(const kernel_interface& k, const char* state)
{
    Entry e{};
    copy_text(e.dev_name, k.name);
    copy_text(e.state, state);
    copy_text(e.ipv4_addr, k.addr);
    return e;
}

// The interface's kind, from sysfs.
static bool in_sysfs(const std::string& name, const char* leaf)
{
    if (name.find('/') != std::string::npos || name == "." || name == "..")
        return false;
    struct stat st;
    return stat(("/sys/class/net/" + name + "/" + leaf).c_str(), &st) == 0;
}

void add_net_list_entry(t_network_netmgr_net_list& list, const kernel_interface& k)
{
    if (in_sysfs(k.name, "bridge"))
        list.bridges.push_back(net_list_entry<t_network_netmgr_bridge>(k, k.up ? "enable" : "disable"));
    else if (in_sysfs(k.name, "wireless") || in_sysfs(k.name, "phy80211"))
        list.wireless.push_back(net_list_entry<t_network_netmgr_wireless>(k, k.up ? "1" : "0"));
    else
        list.wired.push_back(net_list_entry<t_network_netmgr_wired>(k, k.up ? "1" : "0"));
}
