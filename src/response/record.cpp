// The media-source record of one ProbeMatch: made, given its port, stored.
#include "response/response.h"

#include <cstdlib>

#include "platform/platform.h"
#include "run/run.h"
#include "run/text_field.h"

// The recorder's drivers for these brands speak only to port 80; their
// cameras' XAddrs often name a web port that the drivers cannot use.
static const int forced_port_brands[] = {1, 3, 31, 53, 71, 130, 145};

dev_info_ptr create_dev_info(uint32_t source_addr, const char* mac)
{
    auto info = std::make_unique<TMediaSourceDevInfo>();
    char dotted[16];
    dotted_text(source_addr, dotted);
    copy_text(info->ip_addr, dotted);
    copy_text(info->mac_addr, mac);
    return info;
}

void discard_dev_info(dev_info_ptr)
{
}

void store_dev_info(dev_info_ptr info)
{
    debug_log("[onvif camscout] msas_store_found_media_source_onvif, pInfo->model=[%s], pInfo->mac_addr=[%s]",
              info->model, info->mac_addr);
    if (std::ranges::find(forced_port_brands, info->brand_id) != std::end(forced_port_brands))
        info->port = 80;
    if (field_text(info->mac_addr) != all_zero_mac)
        msas_store_found_media_source_onvif(info.get());
}

// The port of the URL's host part, or 0 when it names none.
static long host_part_port(const char* text)
{
    // A text without "://" is read as a host part from its first character.
    // Whether the host is bracketed is decided over the whole list, not the
    // first URL: recorders already in use store the ports this rule gives,
    // so an IPv4 URL followed by an IPv6 alternate keeps giving port 80.
    bool bracketed = std::strstr(text, "://[") != nullptr;
    const char* scheme_end = std::strstr(text, "://");
    std::string_view host = scheme_end != nullptr ? scheme_end + 3 : text;
    host = host.substr(0, host.find('/'));
    std::size_t separator = bracketed ? host.find("]:") : host.find(':');
    if (separator == std::string_view::npos)
        return 0;
    // The digits end at the '/' that ends the host part, if not before.
    return std::strtol(host.data() + separator + (bracketed ? 2 : 1), nullptr, 10);
}

void parse_service_port(TMediaSourceDevInfo& info, const char* xaddrs)
{
    if (xaddrs == nullptr) {
        debug_log("[onvif camscout] can't find Camera endpoint, use default port: 80");
        info.port = 80;
        return;
    }
    // Only the low 16 bits count, as in the socket's port field.
    uint16_t port = static_cast<uint16_t>(static_cast<unsigned long>(host_part_port(xaddrs)));
    info.port = port != 0 ? port : 80;
}
