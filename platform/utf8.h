// UTF-16 text of Windows as UTF-8, for SQLite's file names, Wine's Unix paths and console output.
#pragma once

#include <string>
#include <string_view>

// Unpaired surrogates become U+FFFD.
std::string Utf8(std::wstring_view text);
