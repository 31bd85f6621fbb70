// Sentence filter texts as the settings hold them, and lines run through the
// filters they make: the input's lines up to an empty line are filter texts
// (every other one also as an action and a pattern), the rest sentences. A
// filter holds at most six pattern characters, and the verdict is the action
// of the last filter that matches.
#include "instruments/nmea/NMEAFilter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void CheckEntry(const NMEAFilterEntry& e)
{
    Check(e.action <= 1 && e.pattern[6] == '\0');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    NMEAFilterList list;
    size_t at = 0;
    bool filters = true;
    int index = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (filters && line.empty()) {
            filters = false;
            continue;
        }
        if (filters) {
            NMEAFilterEntry e;
            const size_t before = list.size();
            const bool parsed = ParseNMEAFilter(e, line);
            Check(AddNMEAFilter(list, line) == parsed && list.size() == before + (parsed ? 1 : 0));
            if (parsed) {
                CheckEntry(e);
                Check(std::memcmp(&e, &list.back(), sizeof e) == 0);
            }
            if (index++ % 2 == 1) {
                const size_t space = line.find(' ');
                AddNMEAFilter(list, line.substr(0, space),
                              space == std::string_view::npos ? std::string_view() : line.substr(space + 1));
                CheckEntry(list.back());
            }
            continue;
        }
        // A sentence as a connection delivers it: NUL-terminated text.
        const std::string sentence(line.substr(0, line.find('\0')));
        for (bool start : {false, true}) {
            bool verdict = start;
            ApplyNMEAFilters(list, sentence.c_str(), verdict);
            bool expected = start;
            for (const NMEAFilterEntry& e : list)
                if (NMEAFilterMatches(e, sentence.c_str()))
                    expected = e.action != 0;
            Check(verdict == expected);
        }
    }
    return 0;
}
