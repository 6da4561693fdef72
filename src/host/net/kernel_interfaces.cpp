// The kernel's view of this host's network interfaces, and the network
// interface library of a generic Linux host made from it.
#include "host/net/kernel_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"
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

std::vector<kernel_interface> list_kernel_interfaces()
{
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0)
        return {};
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

int netcom_NIC_Get_Info(char* dev_name, NIC_INFO* info)
{
    if (dev_name == nullptr || info == nullptr)
        return -1;
    for (const kernel_interface& k : list_kernel_interfaces()) {
        if (k.name == dev_name && !k.addr.empty()) {
            fill_nic_info(k, *info);
            return 0;
        }
    }
    return -1;
}

int netcom_NIC_Get_Dev_Name_List(netcom_nic_dev_name_st** head)
{
    if (head == nullptr)
        return -1;
    *head = nullptr;
    netcom_nic_dev_name_st** tail = head;
    for (const kernel_interface& k : list_kernel_interfaces()) {
        *tail = new netcom_nic_dev_name_st{};
        copy_text((*tail)->name, k.name);
        (*tail)->select_flag_1 = k.up;
        (*tail)->select_flag_2 = !k.addr.empty();
        (*tail)->exclude_flag = k.loopback;
        tail = &(*tail)->next;
    }
    return 0;
}

void netcom_NIC_Free_Dev_Name_List(netcom_nic_dev_name_st* head)
{
    while (head != nullptr) {
        netcom_nic_dev_name_st* next = head->next;
        delete head;
        head = next;
    }
}
