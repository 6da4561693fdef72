#include "response/response.h"

#include <arpa/inet.h>

#include <cstring>

#include "platform/os_calls.h"
#include "run/run.h"
#include "transport/transport.h"
#include "transport/ws_discovery.h"

static const int receive_wait_seconds = 5;
static const std::size_t receive_room = 10240;

// Waits for onvif_socket to be readable; false on timeout or error. Without
// a socket it just waits out the timeout, so the worker's loop keeps its pace.
static bool wait_readable()
{
    timeval timeout = {receive_wait_seconds, 0};
    if (onvif_socket < 0 || onvif_socket >= FD_SETSIZE) {
        os_select(0, nullptr, &timeout);
        return false;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(onvif_socket, &readable);
    return os_select(max_fd + 1, &readable, &timeout) > 0 && FD_ISSET(onvif_socket, &readable);
}

static void process_probe_match(uint32_t source_addr, const char* text)
{
    // The bare line marks where a device's lines begin in the log. The MAC comes
    // before the ProbeMatch test: a responder that sends anything else is already
    // taken as handled, and its lookup shows in the log whatever it sent.
    debug_log("[onvif camscout]");
    char mac[32];
    resolve_device_mac(source_addr, mac);
    dev_info_ptr info = create_dev_info(source_addr, mac);
    if (std::strcmp(info->mac_addr, all_zero_mac) == 0)
        get_local_mac_addr(*info);

    char prefix[256] = {};
    bool prefixed = get_ns_prefix(text, prefix) == 0;
    // Without a prefix the names are empty, and are looked for all the same.
    auto name = [&](const char* local) { return prefixed ? prefix + std::string(":") + local : std::string(); };
    std::string value;
    if (!get_tag_value(text, name("ProbeMatch"), value)) {
        discard_dev_info(std::move(info));
        return;
    }
    bool has_xaddrs = get_tag_value(text, name("XAddrs"), value);
    parse_service_port(*info, has_xaddrs ? value.c_str() : nullptr);
    bool has_scopes = get_tag_value(text, name("Scopes"), value);
    identify_device(*info, has_scopes ? value.c_str() : nullptr);
    store_dev_info(std::move(info));
}

void recv_onvif_response()
{
    if (!wait_readable())
        return;
    // One byte more than the room given, so that even a datagram that fills
    // the room is a terminated text.
    char buffer[receive_room + 1] = {};
    sockaddr_in source{};
    socklen_t source_len = sizeof source;
    ssize_t n = os_recvfrom(onvif_socket, buffer, receive_room, 0, reinterpret_cast<sockaddr*>(&source), &source_len);
    if (n < 0) {
        debug_log("[onvif camscout] onvif_socket(%d) Reading datagram message error %d", onvif_socket, static_cast<int>(n));
        return;
    }
    // Hellos and what comes from the group's own address are dropped before
    // the sender is recorded; the text ends at its first zero byte.
    uint32_t source_addr = source.sin_addr.s_addr;
    if (std::strstr(buffer, ":Hello>") != nullptr || source_addr == inet_addr(ws_discovery_group) ||
        is_known_responder(source_addr, buffer))
        return;
    process_probe_match(source_addr, buffer);
}
