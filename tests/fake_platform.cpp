#include "fake_platform.h"

#include <arpa/inet.h>
#include <fcntl.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/os_calls.h"
#include "platform/platform.h"
#include "platform/text_field.h"

namespace fake {

platform_state state;

static void event(const std::string& what)
{
    std::lock_guard<std::mutex> guard(state.lock);
    state.events.push_back(what);
}

void reset()
{
    std::lock_guard<std::mutex> guard(state.lock);
    state.log.clear();
    state.events.clear();
    state.reentried_result = 0;
    state.auth_result = 0;
    state.net_list_result = 0;
    state.net_list = {};
    state.nics.clear();
    state.dev_names.clear();
    state.dev_name_list_result = 0;
    state.stored.clear();
    state.fork_result = 1;
    state.socket_result = 7;
    state.fail_sockopt_at = -1;
    state.fail_send_at = -1;
    state.sockopts.clear();
    state.sent.clear();
    state.incoming.clear();
    state.recv_result = 0;
    state.selects = 0;
    state.last_select_nfds = -1;
    state.last_select_had_set = false;
    state.arp_tables.clear();
    state.arp_opens = 0;
}

std::vector<std::string> events_named(const std::string& prefix)
{
    std::lock_guard<std::mutex> guard(state.lock);
    std::vector<std::string> out;
    for (const std::string& e : state.events)
        if (e.rfind(prefix, 0) == 0)
            out.push_back(e);
    return out;
}

NIC_INFO nic(const std::string& dev, const std::string& mac, const std::string& addr,
             const std::string& b_addr)
{
    NIC_INFO n{};
    copy_text(n.dev, dev);
    copy_text(n.mac, mac);
    copy_text(n.addr, addr);
    copy_text(n.b_addr, b_addr);
    return n;
}

uint32_t addr(const char* dotted)
{
    return inet_addr(dotted);
}

}  // namespace fake

using fake::event;
using fake::state;

int reentried(const char* name)
{
    event(std::string("reentried:") + name);
    return state.reentried_result;
}

int PAL_auth_get_auth(t_auth* auth)
{
    event("PAL_auth_get_auth");
    copy_text(auth->user, "tester");
    return state.auth_result;
}

int PAL_network_get_netmgr_net_list(const t_auth*, t_network_netmgr_net_list* list)
{
    event("PAL_network_get_netmgr_net_list");
    *list = state.net_list;
    return state.net_list_result;
}

int netcom_NIC_Get_Info(char* dev_name, NIC_INFO* info)
{
    event(std::string("netcom_NIC_Get_Info:") + dev_name);
    auto it = state.nics.find(dev_name);
    if (it == state.nics.end())
        return -1;
    *info = it->second;
    return 0;
}

int netcom_NIC_Get_Dev_Name_List(netcom_nic_dev_name_st** head)
{
    event("netcom_NIC_Get_Dev_Name_List");
    if (state.dev_name_list_result != 0)
        return state.dev_name_list_result;
    *head = nullptr;
    for (auto it = state.dev_names.rbegin(); it != state.dev_names.rend(); ++it) {
        auto* e = new netcom_nic_dev_name_st(*it);
        e->next = *head;
        *head = e;
    }
    return 0;
}

void netcom_NIC_Free_Dev_Name_List(netcom_nic_dev_name_st* head)
{
    event("netcom_NIC_Free_Dev_Name_List");
    while (head != nullptr) {
        auto* next = head->next;
        delete head;
        head = next;
    }
}

int msas_init_onvif()
{
    event("msas_init_onvif");
    return 0;
}

int msas_uninit_onvif()
{
    event("msas_uninit_onvif");
    return 0;
}

int msas_store_found_media_source_onvif(TMediaSourceDevInfo* info)
{
    event(std::string("msas_store:") + info->ip_addr);
    state.stored.push_back(*info);
    return 0;
}

int nvr_sys_state_create_thread(char* name, long long arg)
{
    event(std::string("nvr_sys_state_create_thread:") + name + ":" + std::to_string(arg));
    return 0;
}

int nvr_sys_state_destroy_thread()
{
    event("nvr_sys_state_destroy_thread");
    return 0;
}

int ping(const char* address, int timeout_ms, char* out)
{
    event(std::string("ping:") + address + ":" + std::to_string(timeout_ms) + ":" + out);
    return 0;
}

void log_Debug(const char* format, ...)
{
    char text[8192];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    event(std::string("log:") + text);
    std::lock_guard<std::mutex> guard(state.lock);
    state.log.push_back(text);
}

int os_socket(int, int, int)
{
    event("socket:" + std::to_string(state.socket_result));
    return state.socket_result;
}

int os_fcntl(int fd, int cmd, int arg)
{
    event("fcntl:" + std::to_string(fd) + ":" + std::to_string(cmd) + ":" + std::to_string(arg));
    return cmd == F_GETFL ? O_RDWR : 0;
}

int os_setsockopt(int fd, int level, int name, const void* value, socklen_t len)
{
    int index = static_cast<int>(state.sockopts.size());
    state.sockopts.push_back({fd, level, name, std::string(static_cast<const char*>(value), len)});
    event("setsockopt:" + std::to_string(name));
    return index == state.fail_sockopt_at ? -1 : 0;
}

ssize_t os_sendto(int fd, const void* buf, size_t len, int, const sockaddr* to, socklen_t to_len)
{
    int index = static_cast<int>(state.sent.size());
    sockaddr_in dest{};
    std::memcpy(&dest, to, std::min<size_t>(to_len, sizeof dest));
    state.sent.push_back({fd, std::string(static_cast<const char*>(buf), len), dest, to_len});
    event("sendto");
    return index == state.fail_send_at ? -1 : static_cast<ssize_t>(len);
}

int os_select(int nfds, fd_set* readfds, timeval* timeout)
{
    std::lock_guard<std::mutex> guard(state.lock);
    ++state.selects;
    state.last_select_nfds = nfds;
    state.last_select_had_set = readfds != nullptr;
    if (timeout == nullptr || timeout->tv_sec != 5 || timeout->tv_usec != 0)
        return -1;  // every receive step waits exactly 5 s
    if (state.incoming.empty() && state.recv_result == 0) {
        if (readfds)
            FD_ZERO(readfds);
        return 0;
    }
    return 1;
}

ssize_t os_recvfrom(int, void* buf, size_t len, int, sockaddr* from, socklen_t* from_len)
{
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.recv_result != 0)
        return state.recv_result;
    fake::datagram d = state.incoming.front();
    state.incoming.pop_front();
    size_t n = std::min(len, d.bytes.size());
    std::memcpy(buf, d.bytes.data(), n);
    sockaddr_in src{};
    src.sin_family = AF_INET;
    src.sin_port = htons(3702);
    src.sin_addr.s_addr = d.source;
    std::memcpy(from, &src, std::min<size_t>(*from_len, sizeof src));
    return static_cast<ssize_t>(n);
}

int os_close(int fd)
{
    event("close:" + std::to_string(fd));
    return 0;
}

int os_daemon(int, int)
{
    event("daemon");
    return 0;
}

pid_t os_fork()
{
    event("fork");
    return state.fork_result;
}

unsigned os_sleep(unsigned seconds)
{
    event("sleep:" + std::to_string(seconds));
    return 0;
}

FILE* os_fopen(const char* path, const char* mode)
{
    if (std::strcmp(path, "/proc/net/arp") != 0 || state.arp_tables.empty())
        return nullptr;
    size_t i = std::min<size_t>(static_cast<size_t>(state.arp_opens), state.arp_tables.size() - 1);
    ++state.arp_opens;
    std::string& table = state.arp_tables[i];
    return fmemopen(table.data(), table.size(), mode);
}

int os_fclose(FILE* stream)
{
    return fclose(stream);
}

int os_thread_create(pthread_t* thread, void* (*entry)(void*), void* arg)
{
    return pthread_create(thread, nullptr, entry, arg);
}

int os_thread_join(pthread_t thread)
{
    return pthread_join(thread, nullptr);
}

void os_uuid_generate(unsigned char (&out)[16])
{
    static unsigned counter = 0;
    std::memset(out, 0, 16);
    std::memcpy(out, &++counter, sizeof counter);
}
