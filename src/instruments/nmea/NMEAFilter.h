#pragma once
// Sentence filters: each data connection has an input list (run over received
// lines, starting at accept) and an output list (run over sentences offered to
// its port, starting at reject).
#include <cstdint>
#include <string_view>
#include <vector>

struct NMEAFilterEntry
{
    uint8_t action = 0;   // 1 accept, 0 reject
    char pattern[7] = {}; // up to 6 characters, '?' matches any one character
};
static_assert(sizeof(NMEAFilterEntry) == 8);

using NMEAFilterList = std::vector<NMEAFilterEntry>;

// One entry: when its action differs from the verdict and its pattern matches
// the line (compared from the character after '$' or '!'), the verdict
// becomes its action.
void ApplyNMEAFilter(const NMEAFilterEntry& entry, const char* line, bool& verdict);
// Every entry in order: the last matching entry decides.
void ApplyNMEAFilters(const NMEAFilterList& list, const char* line, bool& verdict);
bool NMEAFilterMatches(const NMEAFilterEntry& entry, const char* line);

// The text form "Accept GPRMC", "reject ??GSV": a first word beginning with
// 'A' or 'a' accepts, any other word rejects; the pattern is up to 6
// characters, ending at the end or at '*'. False for a text without a word.
bool ParseNMEAFilter(NMEAFilterEntry& entry, std::string_view text);
bool AddNMEAFilter(NMEAFilterList& list, std::string_view text);
// From an action text (accept when it begins with upper-case 'A') and a pattern text.
void AddNMEAFilter(NMEAFilterList& list, std::string_view action, std::string_view pattern);
