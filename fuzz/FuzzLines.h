#pragma once
// The fuzz input as lines of sentences, and sentences with their checksum
// made right so that every line reaches the handlers.
#include "instruments/nmea/NMEASentence.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace fuzzsupport {

// The input split at each '\n'.
inline std::vector<std::string> Lines(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// `start` and `body` up to its first '*' or '\r', without NULs and further
// start characters, with a fresh checksum.
inline std::string WithChecksum(char start, const std::string& body)
{
    std::string clean(1, start);
    for (char c : body.substr(0, body.find_first_of("*\r")))
        if (c != '\0' && c != '$' && c != '!')
            clean += c;
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s", clean.c_str());
    AppendNMEAChecksum(buf, sizeof buf);
    return buf;
}

} // namespace fuzzsupport
