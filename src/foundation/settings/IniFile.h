#pragma once
// The settings ini file: one "key=value" entry per line, values URL-escaped.
// A line may hold several entries separated by '&'. The file is outside
// input (users edit it), so every oddity is skipped rather than trusted.
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

// Byte-wise ordered, shorter first on a common prefix: std::string's own order.
using CIniMap = std::map<std::string, std::string>;

enum class IniReadResult {
    Missing, // no such file: nothing read
    Read,    // read whole
    Failed,  // the file exists but could not be opened or read whole
};

// Lines longer than this are skipped.
constexpr size_t kIniMaxLineLength = 1000000;

// Adds the entries of the file to `map` (later entries replace earlier ones).
IniReadResult ReadIniFile(const std::string& path, CIniMap& map, std::string* error = nullptr);
// Adds the entries of ini text to `map`.
void ParseIniText(std::string_view text, CIniMap& map);
// Adds the entries of one line (without its line feed) to `map`.
void ParseKeyValueList(std::string_view line, CIniMap& map);
// The whole ini text of a map, in key order; empty keys and values are left out.
std::string FormatIniText(const CIniMap& map);
// Replaces the file with the text of `map` atomically; the old file stays as
// it was on failure.
bool WriteIniFile(const std::string& path, const CIniMap& map, std::string* error = nullptr);

// Letters, digits and "$-_.!*'()" stay, a space becomes '+', any other byte "%xx".
std::string UrlEscape(std::string_view text);
// '+' is a space, "%xx" a byte; a '%' without two characters after it ends the value.
std::string UrlUnescape(std::string_view text);
