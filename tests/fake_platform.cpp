#include "fake_platform.h"

#include <arpa/inet.h>
#include <fcntl.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <sstream>
#include <utility>

#include "response/response.h"
#include "run/run.h"
#include "transport/transport.h"
#include "platform/os_calls.h"
#include "platform/platform.h"

namespace fake {

platform_state state;

static std::string hex(const void* bytes, size_t n)
{
    std::string h;
    for (const auto* b = static_cast<const unsigned char*>(bytes); n-- > 0; ++b)
        h += {"0123456789abcdef"[*b >> 4], "0123456789abcdef"[*b & 15]};
    return h;
}

template <typename... Parts>
static void event(const char* name, const Parts&... parts)
{
    std::ostringstream e;
    e << name;
    ((e << ':' << parts), ...);
    state.events.push_back(e.str());
}

void reset()
{
    state = platform_state{};
    in_lan_list.clear();
    seen_responder_addrs.clear();
    seen_channel_keys.clear();
    onvif_socket = max_fd = 0;
    recv_thread_running = false;
}

}  // namespace fake

using fake::event;
using fake::state;

int reentried(const char* name) { return event("reentried", name), 0; }
int PAL_auth_get_auth(t_auth*) { return state.auth; }

int PAL_network_get_netmgr_net_list(const t_auth*, t_network_netmgr_net_list* list)
{
    *list = state.net_list;
    return state.net_list_result;
}

int netcom_NIC_Get_Info(char* dev_name, NIC_INFO* info)
{
    event("netcom_NIC_Get_Info", dev_name);
    auto it = state.nics.find(dev_name);
    if (it == state.nics.end())
        return -1;
    *info = it->second;
    return 0;
}

// The list is state.dev_names itself, linked in place.
int netcom_NIC_Get_Dev_Name_List(netcom_nic_dev_name_st** head)
{
    *head = nullptr;
    for (auto it = state.dev_names.rbegin(); it != state.dev_names.rend(); ++it)
        it->next = std::exchange(*head, &*it);
    return 0;
}

void netcom_NIC_Free_Dev_Name_List(netcom_nic_dev_name_st*) { event("netcom_NIC_Free_Dev_Name_List"); }

int msas_init_onvif() { return event("msas_init_onvif"), 0; }
int msas_uninit_onvif() { return event("msas_uninit_onvif"), 0; }
int nvr_sys_state_create_thread(char* name, long long arg) { return event("nvr_sys_state_create_thread", name, arg), 0; }
int nvr_sys_state_destroy_thread() { return event("nvr_sys_state_destroy_thread"), 0; }
int ping(const char* address, int timeout_ms, char* out) { return event("ping", address, timeout_ms, out), 0; }

int msas_store_found_media_source_onvif(TMediaSourceDevInfo* i) { return state.stored.push_back(*i), 0; }

void log_Debug(const char* format, ...)
{
    char text[8192];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    event("log", text);
}

int os_socket(int domain, int type, int protocol) { return event("socket", domain, type, protocol), state.socket; }
int os_fcntl(int fd, int cmd, int arg) { return event("fcntl", fd, cmd, arg), cmd == F_GETFL ? O_RDWR : 0; }
int os_close(int fd) { return event("close", fd), 0; }
int os_daemon(int nochdir, int noclose) { return event("daemon", nochdir, noclose), 0; }
pid_t os_fork() { return event("fork"), state.fork; }
unsigned os_sleep(unsigned seconds) { return event("sleep", seconds), 0; }
int os_fclose(FILE* stream) { return ++state.arp_closes, fclose(stream); }

void os_uuid_generate(unsigned char (&out)[16]) { std::fill(out, out + 16, ++state.uuids); }

// Handle 7 is the one thread there is.
int os_thread_create(pthread_t* thread, void* (*entry)(void*), void* arg)
{
    event("thread_create");
    *thread = 7;
    if (state.defer != 0)
        state.deferred = entry;  // the one thread there is takes no argument
    else
        entry(arg);
    return 0;
}

int os_thread_join(pthread_t thread)
{
    event("thread_join", static_cast<long long>(thread));
    if (thread == 7 && state.deferred != nullptr)
        std::exchange(state.deferred, nullptr)(nullptr);
    return 0;
}

int os_setsockopt(int fd, int level, int name, const void* value, socklen_t len)
{
    event("setsockopt", fd, level, name, fake::hex(value, len));
    return state.sockopts++ == state.fail_sockopt ? -1 : 0;
}

ssize_t os_sendto(int fd, const void* buf, size_t len, int, const sockaddr* to, socklen_t to_len)
{
    const sockaddr_in* in = reinterpret_cast<const sockaddr_in*>(to);
    event("sendto", fd, in->sin_family, inet_ntoa(in->sin_addr), ntohs(in->sin_port), to_len,
          std::string(static_cast<const char*>(buf), len));
    return state.sends++ == state.fail_send ? -1 : static_cast<ssize_t>(len);
}

// Every receive step waits exactly 5 s, and the worker's run ends at its
// first: the running flag is cleared, as the stop step would during the wait.
int os_select(int nfds, fd_set* readfds, timeval* timeout)
{
    event("select", nfds, readfds ? "set" : "none", timeout ? timeout->tv_sec * 1000000 + timeout->tv_usec : -1);
    recv_thread_running = false;
    if (!state.incoming.empty() || state.recv != 0)
        return 1;
    if (readfds)
        FD_ZERO(readfds);
    return 0;
}

ssize_t os_recvfrom(int fd, void* buf, size_t len, int, sockaddr* from, socklen_t* from_len)
{
    event("recvfrom", fd, static_cast<long long>(len));
    if (state.recv != 0)
        return state.recv;
    auto [source, bytes] = state.incoming.front();
    state.incoming.pop_front();
    size_t n = std::min(len, bytes.size());
    std::memcpy(buf, bytes.data(), n);
    sockaddr_in src{AF_INET, 0, {source}, {}};
    std::memcpy(from, &src, std::min<size_t>(*from_len, sizeof src));
    return static_cast<ssize_t>(n);
}

FILE* os_fopen(const char* path, const char* mode)
{
    if (std::strcmp(path, "/proc/net/arp") != 0 || state.arp_table.empty())
        return nullptr;
    return ++state.arp_opens, fmemopen(state.arp_table.data(), state.arp_table.size(), mode);
}
