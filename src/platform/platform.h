// The recorder platform's interfaces that this program calls. On a generic
// Linux host src/host implements them; the unit tests link doubles.
// Unless said otherwise a call returns 0 on success.
#pragma once

#include "platform/records.h"

// Non-zero when another instance started under the same name is running.
int reentried(const char* invocation_name);

int PAL_auth_get_auth(t_auth* auth);
int PAL_network_get_netmgr_net_list(const t_auth* auth, t_network_netmgr_net_list* list);

// Fills info for one device; non-zero when there is no such device or it
// has no IPv4 address.
int netcom_NIC_Get_Info(char* dev_name, NIC_INFO* info);
// Sets *head to a list of every interface (null when there is none); the
// list is freed with netcom_NIC_Free_Dev_Name_List, null included.
int netcom_NIC_Get_Dev_Name_List(netcom_nic_dev_name_st** head);
void netcom_NIC_Free_Dev_Name_List(netcom_nic_dev_name_st* head);

int msas_init_onvif();
int msas_uninit_onvif();
// Takes a copy of what it needs before it returns.
int msas_store_found_media_source_onvif(TMediaSourceDevInfo* info);

int nvr_sys_state_create_thread(char* name, long long arg);
int nvr_sys_state_destroy_thread();

// The catalogue identifier of (brand, model); deterministic and one-to-one.
long long make_long_long(int brand, int model);

// Asks the host to reach address; returns once it answered, once the
// kernel knows its MAC address, or after timeout_ms at the latest.
int ping(const char* address, int timeout_ms, char* out);

void log_Debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
