#include "host/net/kernel_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>

#include <algorithm>
#include <cstdio>
#include <string>

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
        auto named = [&](const kernel_interface& k) { return field_text(k.nic.dev) == ifa->ifa_name; };
        auto it = std::find_if(list.begin(), list.end(), named);
        kernel_interface& k = it != list.end() ? *it : list.emplace_back();
        if (k.nic.dev[0] == '\0') {
            copy_text(k.nic.dev, ifa->ifa_name);
            copy_text(k.nic.b_addr, "0.0.0.0");
            k.index = static_cast<int>(if_nametoindex(ifa->ifa_name));
        }
        k.up = (ifa->ifa_flags & IFF_UP) != 0;
        k.loopback = (ifa->ifa_flags & IFF_LOOPBACK) != 0;
        int family = ifa->ifa_addr->sa_family;
        if (family == AF_PACKET) {
            copy_text(k.nic.mac, mac_text(reinterpret_cast<const sockaddr_ll*>(ifa->ifa_addr)));
        } else if (family == AF_INET && k.nic.addr[0] == '\0') {
            copy_text(k.nic.addr, dotted(ifa->ifa_addr));
            copy_text(k.nic.netmask, dotted(ifa->ifa_netmask));
            if (ifa->ifa_flags & IFF_BROADCAST)
                copy_text(k.nic.b_addr, dotted(ifa->ifa_broadaddr));
        }
    }
    freeifaddrs(all);
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
    return list;
}

int netcom_NIC_Get_Info(char* dev_name, NIC_INFO* info)
{
    if (dev_name == nullptr || info == nullptr)
        return -1;
    for (const kernel_interface& k : list_kernel_interfaces()) {
        if (field_text(k.nic.dev) == dev_name && k.nic.addr[0] != '\0') {
            *info = k.nic;
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
        copy_text((*tail)->name, k.nic.dev);
        (*tail)->select_flag_1 = k.up;
        (*tail)->select_flag_2 = k.nic.addr[0] != '\0';
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
