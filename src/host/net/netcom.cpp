// The network interface library for a generic Linux host.
#include <string>

#include "host/net/kernel_interfaces.h"
#include "platform/platform.h"
#include "run/text_field.h"

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
