// WS-Discovery (April 2005) Probes in SOAP 1.2 envelopes with WS-Addressing
// (August 2004) headers, sent by multicast to 239.255.255.250:3702.
#include "transport/transport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <uuid/uuid.h>

#include <algorithm>
#include <cstring>

#include "platform/os_calls.h"
#include "run/run.h"
#include "transport/ws_discovery.h"

// Both Probes share one text; they differ only in the namespace that the
// Envelope declares and in the type that they probe for.
static const char probe_template[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<Envelope %s xmlns=\"http://www.w3.org/2003/05/soap-envelope\">"
    "<Header>"
    "<wsa:MessageID xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\">uuid:%s</wsa:MessageID>"
    "<wsa:To xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\">"
    "urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>"
    "<wsa:Action xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\">"
    "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action>"
    "</Header>"
    "<Body><Probe xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
    " xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">"
    "<Types>%s</Types><Scopes /></Probe></Body></Envelope>";

// The Probe for type with a fresh MessageID.
static void format_probe(char (&probe)[2048], const char* namespace_declaration, const char* type)
{
    unsigned char u[16];
    os_uuid_generate(u);
    char uuid[37];
    uuid_unparse_lower(u, uuid);
    snprintf(probe, sizeof probe, probe_template, namespace_declaration, uuid, type);
}

static bool set_option(int level, int name, const void* value, socklen_t len, const char* label)
{
    if (os_setsockopt(onvif_socket, level, name, value, len) == 0)
        return true;
    debug_log("[onvif camscout] onvif_socket(%d) setsockopt() %s error", onvif_socket, label);
    return false;
}

static bool send_probe(const char* text, const sockaddr_in& to, const char* label)
{
    if (os_sendto(onvif_socket, text, std::strlen(text), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
        debug_log("[onvif camscout] onvif_socket(%d) Sending datagram message error", onvif_socket);
        return false;
    }
    debug_log("[onvif camscout] onvif_socket(%d) Sending onvif soap ws-discovery %s ...OK", onvif_socket, label);
    return true;
}

// The two Probes out of one interface; false after a failure.
static bool probe_interface(const NIC_INFO& nic)
{
    unsigned char loop = 1;
    int reuse = 1;
    in_addr interface_addr{inet_addr(nic.addr)};
    if (!set_option(IPPROTO_IP, IP_MULTICAST_LOOP, &loop, 1, "IP_MULTICAST_LOOP") ||
        !set_option(SOL_SOCKET, SO_REUSEADDR, &reuse, 4, "SO_REUSEADDR") ||
        !set_option(IPPROTO_IP, IP_MULTICAST_IF, &interface_addr, 4, "IP_MULTICAST_IF"))
        return false;

    sockaddr_in to{AF_INET, htons(ws_discovery_port), {inet_addr(ws_discovery_group)}, {}};

    char transmitter[2048], device[2048];
    format_probe(transmitter, "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"", "dn:NetworkVideoTransmitter");
    format_probe(device, "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"", "tds:Device");
    return send_probe(transmitter, to, "transmitter") && send_probe(device, to, "device");
}

void send_onvif_probe()
{
    if (onvif_socket < 0) {
        debug_log("[onvif camscout] error: onvif_socket=%d", onvif_socket);
        return;
    }
    if (!std::ranges::all_of(in_lan_list, probe_interface)) {
        os_close(onvif_socket);
        onvif_socket = -1;
    }
}
