#include "response/response.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "catalogue/model_table.h"
#include "platform/platform.h"
#include "run/run.h"
#include "run/text_field.h"

static const int default_brand = 44;
static const int maker_brand = 53;

static const std::string scope_root = "onvif://www.onvif.org/";
static const std::string hardware_scope = scope_root + "hardware/";
static const std::string model_scope = scope_root + "model/";

// Model scopes are trusted only for these names; other devices put
// marketing text there.
static const char* const listed_model_names[] = {"C1PA08501", "C1FA18002", "MS-C5375-FPD", "MS-C8267-X20PE"};

struct identification {
    std::string text;      // percent-decoded once the lookup has seen it
    std::string raw_text;  // never decoded
    bool hardware_seen = false;
};

// In the C locale, which the daemon never leaves, strcasestr folds the
// letters a to z alone.
bool contains_nocase(const std::string& text, const char* pattern)
{
    return strcasestr(text.c_str(), pattern) != nullptr;
}

// Replaces each %XX, searching from the start every time, so that a '%'
// that decoding produced is decoded in its turn.
static void percent_decode(std::string& text)
{
    std::size_t pos;
    while ((pos = text.find('%')) != std::string::npos) {
        std::string digits = text.substr(pos + 1, 2);
        long value = std::strtol(digits.c_str(), nullptr, 16);
        text.replace(pos, std::min<std::size_t>(3, text.size() - pos), 1,
                     static_cast<char>(static_cast<unsigned long>(value) & 0xff));
    }
}

static void take_scope_token(const std::string& token, TMediaSourceDevInfo& info, identification& id)
{
    if (token == scope_root + "Profile/T") {
        info.model_id = make_long_long(default_brand, 23);
    } else if (token == scope_root + "Profile/Streaming") {
        info.model_id = make_long_long(default_brand, 11);
    } else if (token.find(hardware_scope) != std::string::npos) {
        id.text = id.raw_text = token.substr(hardware_scope.size());
        id.hardware_seen = true;
    }
    if (token.find(model_scope) != std::string::npos) {
        std::string name = token.substr(model_scope.size());
        for (const char* listed : listed_model_names)
            if (name == listed)
                id.text = id.raw_text = name;
    }
}

static void identify_maker_camera(TMediaSourceDevInfo& info, identification& id)
{
    debug_log("[onvif camscout] Find VORN IPC");
    percent_decode(id.text);
    if (id.raw_text == "VRNC-73JW")
        info.model_id = make_long_long(maker_brand, 603);
    else if (id.raw_text == "VRNC-73K")
        info.model_id = make_long_long(maker_brand, 604);
    copy_text(info.model, id.raw_text);
    info.brand_id = maker_brand;
}

static void look_up_model_table(TMediaSourceDevInfo& info, identification& id)
{
    for (const model_row& row : model_table) {
        if (!contains_nocase(id.text, row.model_name))
            continue;
        debug_log("[onvif camscout] Find %s", row.model_name);
        info.model_id = row.catalogue_id;
        info.brand_id = row.record_brand;
        break;
    }
    percent_decode(id.text);
}

static void name_model(TMediaSourceDevInfo& info, const identification& id)
{
    // The name of a device that named no hardware, by its model number under the default brand.
    static const std::pair<int, const char*> default_names[] = {
        {10, "Bosch ONVIF-compatible"}, {23, "ONVIF ProfileT Cameras"},
        {11, "ONVIF ProfileS Cameras"}, {6, "ONVIF Cameras (Fixed Settings)"}};
    if (!id.hardware_seen) {
        for (auto [model_no, name] : default_names) {
            if (info.model_id == make_long_long(default_brand, model_no)) {
                copy_text(info.model, name);
                return;
            }
        }
    }
    if (id.hardware_seen || !id.text.empty())
        // Up to a zero byte that decoding may have made. A listed model scope
        // without a hardware scope names the model too: better than no name
        // in the recorder's list.
        copy_text(info.model, std::string_view(id.text.c_str()));
}

void identify_device(TMediaSourceDevInfo& info, const char* scopes)
{
    info.model_id = make_long_long(default_brand, 6);
    info.brand_id = default_brand;
    if (scopes == nullptr) {
        copy_text(info.model, "ONVIF Cameras (Fixed Settings)");
        debug_log("[onvif camscout] can't find Camera Scopes, default model: %s", info.model);
        return;
    }
    identification id;
    for (const std::string& token : split_scopes(scopes))
        take_scope_token(token, info, id);
    if (contains_nocase(id.text, "VRNC"))
        identify_maker_camera(info, id);
    else
        look_up_model_table(info, id);
    name_model(info, id);
}
