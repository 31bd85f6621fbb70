// VDM and VDO lines through the dispatcher, their checksums made right so
// that every line reaches the fragment reassembly. A simple model of the
// fragments seen says when a fragment cannot continue any message; no
// message may come out of such a fragment, and every position published is
// on the globe or marked not available.
#include "FuzzLines.h"
#include "ais/AISSentence.h"
#include "foundation/events/Clock.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

using namespace CNEMA_AIS;

namespace {

void Check(bool ok, const char* what, const std::string& line)
{
    if (!ok) {
        std::fprintf(stderr, "ais_fragments: %s: %s\n", what, line.c_str());
        std::abort();
    }
}

struct Sink : Listener<VDM>, Listener<VDO>
{
    void Notify(const VDM& s) override { Seen(s); }
    void Notify(const VDO& s) override { Seen(s); }
    void Seen(const CAIS_Sentence& s)
    {
        if (s.m_messageType == 0)
            return;
        ++messages;
        const bool none = s.m_latitude == kNoLatitude && s.m_longitude == kNoLongitude;
        Check(none || (std::fabs(s.m_latitude) <= 90 && std::fabs(s.m_longitude) <= 180), "position", *line);
        Check(s.m_heading <= 359 || s.m_heading == kNoHeading, "heading", *line);
        Check(s.m_cog == kNoCourse || (s.m_cog >= 0 && s.m_cog < 360), "course", *line);
    }
    int messages = 0;
    const std::string* line = nullptr;
};

std::vector<std::string> Split(const std::string& s)
{
    std::vector<std::string> f(1);
    for (char c : s) {
        if (c == ',')
            f.emplace_back();
        else
            f.back() += c;
    }
    return f;
}

bool Digit(const std::string& s, int& out)
{
    if (s.size() != 1 || s[0] < '1' || s[0] > '9')
        return false;
    out = s[0] - '0';
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RegisterAISSentenceTypes();
    static Sink sink;
    SetClockForTesting([] { return 1.7e9; });
    CAIS_Sentence::ResetReassembly();
    // (kind, channel, sequence) -> (total, last fragment): every partial
    // message the decoder may hold is here with the same counts.
    std::map<std::tuple<std::string, char, char>, std::pair<int, int>> model;

    for (std::string line : fuzzsupport::Lines(data, size)) {
        // One sentence from its start character, without the old checksum.
        const size_t first = line.find('!');
        if (first == std::string::npos)
            continue;
        line = line.substr(first);
        line = line.substr(0, line.find_first_of("*\r"));
        std::string clean;
        for (char c : line)
            if (c != '\0' && c != '$' && c != '!')
                clean += c;
        line = "!" + clean;
        if (line.size() > 180)
            continue;
        char buf[256];
        std::snprintf(buf, sizeof buf, "%s", line.c_str());
        AppendNMEAChecksum(buf, sizeof buf);
        const std::string sent = buf;

        // What the model says of this fragment.
        const std::vector<std::string> f = Split(line);
        bool mismatch = false;
        std::tuple<std::string, char, char> key;
        int total = 0, number = 0;
        const bool ours = line.size() >= 6 && line[1] != 'P' &&
                          (line.compare(3, 3, "VDM") == 0 || line.compare(3, 3, "VDO") == 0);
        if (ours) {
            if (f.size() < 2 || !Digit(f[1], total) || f.size() < 3 || !Digit(f[2], number) ||
                number > total) {
                mismatch = true;
            } else if (total > 1) {
                key = {line.substr(3, 3), f.size() > 4 ? (f[4] + '\0')[0] : '\0',
                       f.size() > 3 ? (f[3] + '\0')[0] : '\0'};
                auto it = model.find(key);
                if (number == 1) {
                    model[key] = {total, 1};
                } else if (it == model.end() || it->second.first != total ||
                           it->second.second + 1 != number) {
                    mismatch = true;
                    if (it != model.end())
                        model.erase(it);
                } else if (number == total) {
                    model.erase(it);
                } else {
                    it->second.second = number;
                }
            }
        }
        const int before = sink.messages;
        sink.line = &sent;
        std::vector<char> work(sent.begin(), sent.end());
        work.push_back('\0');
        DispatchNMEALine(work.data(), nullptr);
        if (mismatch)
            Check(sink.messages == before, "message from a fragment that continues nothing", sent);
    }
    sink.line = nullptr;
    return 0;
}
