#pragma once

#include <string>

#include "platform/records.h"

// Sets info.model_id, info.model and info.brand_id from a Scopes text (null
// when the message has none): ONVIF profile, hardware and model scopes, the
// maker's own IP cameras, then the model table. Never fails.
void identify_device(TMediaSourceDevInfo& info, const char* scopes);

// True when pattern occurs in text, the letters a to z matched in either
// case. An empty pattern occurs in every text.
bool contains_nocase(const std::string& text, const char* pattern);
