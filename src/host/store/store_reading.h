// The store as its readers open it: read-only, never changing it.
#pragma once

#include <functional>
#include <string>

struct sqlite3;

// Opens the store at path read-only, with a short wait for a writer; in a
// folder that cannot be written, as the file alone when no log holds
// writes. Null with why on failure; the caller closes it.
sqlite3* store_open_for_reading(const std::string& path, std::string& why);

// Opens the store at path for writing, never making one, and brings it to
// this version a step at a time, each step told to say as it begins.
// "" or why not.
std::string store_upgrade_at(const std::string& path, const std::function<void(const std::string&)>& say);
