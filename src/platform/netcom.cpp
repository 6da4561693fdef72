// The network interface library for a generic Linux host.
#include <string>

#include "platform/kernel_interfaces.h"
#include "platform/platform.h"
#include "platform/text_field.h"

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

int netcom_NIC_Get_Info(char* dev_name, NIC_INFO* info)
{
    if (dev_name == nullptr || info == nullptr)
        return -1;
    for (const kernel_interface& k : list_kernel_interfaces()) {
        if (k.name != dev_name)
            continue;
        if (k.addr.empty())
            return -1;
        fill_nic_info(k, *info);
        return 0;
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
        *tail = new netcom_nic_dev_name_st(dev_name_entry(k));
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
