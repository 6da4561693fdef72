#include "response/response.h"

#include <cstdlib>

#include "catalogue/model_table.h"
#include "platform/platform.h"
#include "run/run.h"
#include "run/text_field.h"

static const int default_brand = 44;
static const int maker_brand = 53;

static const std::string scope_root = "onvif://www.onvif.org/";
static const std::string hardware_scope = scope_root + "hardware/";
static const std::string model_scope = scope_root + "model/";
static const std::string profile_t = scope_root + "Profile/T", profile_streaming = scope_root + "Profile/Streaming";

// Model scopes are trusted only for these names; other devices put
// marketing text there.
static const char* const listed_model_names[] = {"C1PA08501", "C1FA18002", "MS-C5375-FPD", "MS-C8267-X20PE"};

// strcasestr folds a to z alone in the C locale, which the daemon never leaves.
bool contains_nocase(const std::string& text, const char* pattern)
{
    return strcasestr(text.c_str(), pattern) != nullptr;
}

// Replaces each %XX, searching from the start every time, so that a '%'
// that decoding produced is decoded in its turn.
static std::string percent_decoded(std::string text)
{
    std::size_t pos;
    while ((pos = text.find('%')) != std::string::npos) {
        std::string digits = text.substr(pos + 1, 2);
        long value = std::strtol(digits.c_str(), nullptr, 16);
        text.replace(pos, std::min<std::size_t>(3, text.size() - pos), 1,
                     static_cast<char>(static_cast<unsigned long>(value) & 0xff));
    }
    return text;
}

// The identifier and brand from the text as received: the maker's own IP
// cameras by their exact names, any other by the first model-table row
// whose name the text contains.
static void look_up_model(TMediaSourceDevInfo& info, const std::string& text)
{
    if (contains_nocase(text, "VRNC")) {
        debug_log("[onvif camscout] Find VORN IPC");
        if (text == "VRNC-73JW")
            info.model_id = make_long_long(maker_brand, 603);
        else if (text == "VRNC-73K")
            info.model_id = make_long_long(maker_brand, 604);
        info.brand_id = maker_brand;
        return;
    }
    for (const model_row& row : model_table) {
        if (contains_nocase(text, row.model_name)) {
            debug_log("[onvif camscout] Find %s", row.model_name);
            info.model_id = row.catalogue_id;
            info.brand_id = row.record_brand;
            return;
        }
    }
}

static void name_model(TMediaSourceDevInfo& info, const std::string& text, bool hardware_seen)
{
    if (hardware_seen || !text.empty()) {
        // Up to a zero byte that decoding may have made. A listed model scope
        // without a hardware scope names the model too: better than no name
        // in the recorder's list.
        copy_text(info.model, std::string_view(percent_decoded(text).c_str()));
        return;
    }
    // The name of a device that named no model, by its model number under the default brand.
    static const std::pair<int, const char*> default_names[] = {
        {10, "Bosch ONVIF-compatible"}, {23, "ONVIF ProfileT Cameras"},
        {11, "ONVIF ProfileS Cameras"}, {6, "ONVIF Cameras (Fixed Settings)"}};
    for (auto [model_no, name] : default_names)
        if (info.model_id == make_long_long(default_brand, model_no))
            copy_text(info.model, name);
}

void identify_device(TMediaSourceDevInfo& info, const char* scopes)
{
    info.model_id = make_long_long(default_brand, 6);
    info.brand_id = default_brand;
    std::string text;  // the model text that the scopes give, as received
    bool hardware_seen = false;
    for (const std::string& token : split_scopes(scopes != nullptr ? scopes : "")) {
        if (token == profile_t) {
            info.model_id = make_long_long(default_brand, 23);
        } else if (token == profile_streaming) {
            info.model_id = make_long_long(default_brand, 11);
        } else if (token.find(hardware_scope) != std::string::npos) {
            text = token.substr(hardware_scope.size());
            hardware_seen = true;
        }
        // Tested on every token, whichever test above held.
        if (token.find(model_scope) != std::string::npos) {
            std::string name = token.substr(model_scope.size());
            if (std::ranges::find(listed_model_names, name) != std::end(listed_model_names))
                text = name;
        }
    }
    // An empty text contains neither the maker's prefix nor any row's name.
    look_up_model(info, text);
    name_model(info, text, hardware_seen);
    if (scopes == nullptr)
        debug_log("[onvif camscout] can't find Camera Scopes, default model: %s", info.model);
}
