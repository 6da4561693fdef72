#include "response/response.h"

#include <algorithm>
#include <iterator>

#include "platform/platform.h"
#include "run/run.h"
#include "run/text_field.h"

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
    debug_log("[onvif camscout] msas_store_found_media_source_onvif, pInfo->model=[%s], "
              "pInfo->mac_addr=[%s]",
              info->model, info->mac_addr);
    if (std::ranges::find(forced_port_brands, info->brand_id) != std::end(forced_port_brands))
        info->port = 80;
    if (field_text(info->mac_addr) != all_zero_mac)
        msas_store_found_media_source_onvif(info.get());
}
