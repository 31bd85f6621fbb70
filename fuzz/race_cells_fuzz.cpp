// Start sentences through the dispatcher with the race cells listening: a
// received start time or line of any value (NaN, 1e300, an end off the
// globe) and any course axis must give texts of the expected form only, with
// no undefined conversion on the way.
#include "FuzzLines.h"
#include "foundation/events/Clock.h"
#include "foundation/events/Heartbeat.h"
#include "instruments/data/DataDistanceToStart.h"
#include "instruments/feeds/StartInfoFeed.h"
#include "instruments/nmea/NMEASentence.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/items/RaceItems.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kNow = 1.7e9;

void Check(bool ok, const char* what, const std::string& text, const std::string& line)
{
    if (!ok) {
        std::fprintf(stderr, "race_cells: %s: \"%s\" after %s\n", what, text.c_str(), line.c_str());
        std::abort();
    }
}

bool Only(const std::string& text, const char* allowed)
{
    return text.find_first_not_of(allowed) == std::string::npos;
}

struct Cells
{
    tessatest::RecordingWindowFactory factory;
    tessatest::FakeHost host{400, 300};
    std::vector<std::unique_ptr<CDisplayView::CItemSettings>> settings;
    std::vector<std::unique_ptr<CDisplayView::CItem>> items;

    template <class Item> CDisplayView::CItem* Add()
    {
        settings.push_back(std::make_unique<typename Item::CSettings>());
        items.push_back(settings.back()->CreateItem(&host));
        return items.back().get();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetClockForTesting([] { return kNow; });
    Feed_StartInfo::Global();
    CDataDistanceToStart::Global();
    static Cells cells;
    static CDisplayView::CItem* timer = cells.Add<DisplayStartTimer>();
    static CDisplayView::CItem* heading = cells.Add<Heading_from_axis>();
    static CDisplayView::CItem* wind = cells.Add<TrueWind_from_axis>();
    static CDisplayView::CItem* axisBias = cells.Add<Line_Bias_from_axis>();
    static CDisplayView::CItem* windBias = cells.Add<Line_Bias_from_wind>();
    static CDisplayView::CItem* axis = cells.Add<CDispAxis>();
    static CDisplayView::CItem* distance = cells.Add<DisplayStartDistance>();
    static CDisplayView::CItem* early = cells.Add<DisplayStartEarly>();
    (void)distance;

    for (std::string line : fuzzsupport::Lines(data, size)) {
        line = line.substr(0, std::min<size_t>(line.find_first_of("*\r"), 160));
        const std::string sent =
            fuzzsupport::WithChecksum('$', "PTSX," + line.substr(line.rfind("$PTSX,", 0) == 0 ? 6 : 0));
        std::vector<char> work(sent.begin(), sent.end());
        work.push_back('\0');
        DispatchNMEALine(work.data(), nullptr);

        // Any axis and any own heading and wind, taken from the line's own bytes.
        float values[3] = {};
        std::memcpy(values, line.data(), std::min(line.size(), sizeof values));
        CDataStartLine::Global().m_axis = values[0];
        FireEvent<CDataStartLine>(CDataStartLine::Global());
        CDataSpeedDirection own;
        own.m_damper.heading = values[1];
        own.m_cog = values[1];
        FireEvent<CDataSpeedDirection>(own);
        CDataTrueWind trueWind;
        trueWind.m_current.direction = values[2];
        trueWind.m_current.unitEast = std::isfinite(values[2]) ? float(std::sin(values[2] * M_PI / 180)) : 0;
        trueWind.m_current.unitNorth = std::isfinite(values[2]) ? float(std::cos(values[2] * M_PI / 180)) : 0;
        FireEvent<CDataTrueWind>(trueWind);
        for (int i = 0; i < CHeartbeat::kTicksPerSecond; ++i)
            CHeartbeat::Tick();

        const std::string& t = cells.factory.RecordOf(timer)->text;
        Check(t == "---" || (t.size() < 48 && Only(t, "+0123456789:Dhs ")), "timer", t, sent);
        for (CDisplayView::CItem* item : {heading, wind}) {
            const std::string& d = cells.factory.RecordOf(item)->text;
            const bool number = d.size() == 4 && (d[0] == '+' || d[0] == '-') &&
                                Only(d.substr(1), "0123456789") && std::atoi(d.c_str() + 1) <= 180;
            Check(d.empty() || d == "---" || number, "axis difference", d, sent);
        }
        for (CDisplayView::CItem* item : {axisBias, windBias}) {
            const std::string& b = cells.factory.RecordOf(item)->text;
            Check(b.empty() || b == "---" || b[0] == '<' || b[0] == '>', "bias", b, sent);
            Check(b.size() < 64, "bias length", b, sent);
        }
        const std::string& a = cells.factory.RecordOf(axis)->text;
        Check(a.size() < 16, "axis", a, sent);
        const std::string& e = cells.factory.RecordOf(early)->text;
        Check(e.size() < 400, "early", e, sent);
    }
    // The windows live across inputs: their call logs start again with each,
    // or a long run grows them without end.
    for (const auto& item : cells.items)
        if (const auto record = cells.factory.RecordOf(item.get()))
            record->calls.clear();
    SetClockForTesting({});
    return 0;
}
