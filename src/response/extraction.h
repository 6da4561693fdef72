// Reading the fields of a WS-Discovery message by plain substring search:
// no XML parser, no entity decoding, no trimming.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Writes into the zero-filled prefix area the prefix that the message binds
// to the WS-Discovery namespace (the empty prefix counts) and returns 0;
// returns -1, leaving prefix untouched, when there is none.
int get_ns_prefix(const char* message, char (&prefix)[256]);

// The qualified name prefix:local, cut to its 256-byte area.
void form_element_name(char (&name)[256], const char* prefix, const char* local);

// True, with the text between the element's start and end tags in value,
// when the element is present; false with value unchanged otherwise.
bool get_tag_value(const char* message, const char* tag, std::string& value);

// The tokens of a Scopes value, separated by runs of spaces (code 32 only);
// tabs and line breaks stay inside the tokens.
std::vector<std::string> split_scopes(std::string_view scopes);
