#include "instruments/nmea/NMEAFilter.h"

#include <cctype>

bool NMEAFilterMatches(const NMEAFilterEntry& entry, const char* line)
{
    // The pattern starts after the start character; a line without one is
    // compared from its first character.
    const char* s = line;
    if (*s == '$' || *s == '!')
        ++s;
    for (int k = 0; k < 6 && entry.pattern[k]; ++k) {
        char c = s[k];
        if (c == '\0')
            return false; // '?' never matches past the end of the line
        if (entry.pattern[k] != '?' && entry.pattern[k] != c)
            return false;
    }
    return true;
}

void ApplyNMEAFilter(const NMEAFilterEntry& entry, const char* line, bool& verdict)
{
    bool action = entry.action != 0;
    if (action != verdict && NMEAFilterMatches(entry, line))
        verdict = action;
}

void ApplyNMEAFilters(const NMEAFilterList& list, const char* line, bool& verdict)
{
    for (const auto& e : list)
        ApplyNMEAFilter(e, line, verdict);
}

namespace {

void SetPattern(NMEAFilterEntry& entry, std::string_view pattern)
{
    size_t n = 0;
    for (; n < pattern.size() && n < 6 && pattern[n] != '*'; ++n)
        entry.pattern[n] = pattern[n];
    for (; n < 7; ++n)
        entry.pattern[n] = '\0';
}

} // namespace

bool ParseNMEAFilter(NMEAFilterEntry& entry, std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    size_t wordStart = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i == wordStart)
        return false;
    NMEAFilterEntry e;
    e.action = (text[wordStart] == 'A' || text[wordStart] == 'a') ? 1 : 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    size_t end = i;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])))
        ++end;
    SetPattern(e, text.substr(i, end - i));
    entry = e;
    return true;
}

bool AddNMEAFilter(NMEAFilterList& list, std::string_view text)
{
    NMEAFilterEntry e;
    if (!ParseNMEAFilter(e, text))
        return false;
    list.push_back(e);
    return true;
}

void AddNMEAFilter(NMEAFilterList& list, std::string_view action, std::string_view pattern)
{
    NMEAFilterEntry e;
    e.action = (!action.empty() && action[0] == 'A') ? 1 : 0;
    SetPattern(e, pattern);
    list.push_back(e);
}
