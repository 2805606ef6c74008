#pragma once
// File-name masks: "*" stands for any run of characters (also none), "?"
// for any one character; everything else stands for itself.
#include <string_view>

bool WildMatch(std::string_view mask, std::string_view name);
// As WildMatch, ignoring case (the code page's case table).
bool IcWildMatch(std::string_view mask, std::string_view name);
