#include "host/net/ping_reply.h"

#include <arpa/inet.h>
#include <netinet/ip_icmp.h>

#include <cstring>

uint16_t icmp_checksum(const uint8_t* data, size_t len)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < len; i += 2)
        sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (len & 1)
        sum += static_cast<uint32_t>(data[len - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return htons(static_cast<uint16_t>(~sum));
}

void make_echo_request(uint8_t (&packet)[16], uint16_t id)
{
    std::memset(packet, 0, sizeof packet);
    icmphdr* h = reinterpret_cast<icmphdr*>(packet);
    h->type = ICMP_ECHO;
    h->un.echo.id = htons(id);
    h->un.echo.sequence = htons(1);
    h->checksum = icmp_checksum(packet, sizeof packet);
}

bool is_echo_reply(const uint8_t* bytes, size_t n, bool with_ip_header, uint16_t id)
{
    size_t skip = with_ip_header && n > 0 ? static_cast<size_t>(bytes[0] & 0x0f) * 4 : 0;
    if (n < skip + sizeof(icmphdr))
        return false;
    icmphdr h;
    std::memcpy(&h, bytes + skip, sizeof h);
    return h.type == ICMP_ECHOREPLY && (!with_ip_header || h.un.echo.id == htons(id));
}
