// Internals of the media-source store, exposed for its tests and readers.
#pragma once

#include <string>

#include "platform/records.h"

// Opens (creating folders, file, table and view as needed) the store at
// path. Returns an empty string on success, otherwise what failed and why.
std::string store_open(const std::string& path);
// Adds one row for info; returns an empty string or what failed and why.
std::string store_insert(const TMediaSourceDevInfo& info);
void store_close();
