// The instrument cells through recording windows: labels in the user's
// units, value texts by table, outside values as "---", and a recorded log
// through the sentence dispatcher.
#include "foundation/events/Listener.h"
#include "geodesy/Units.h"
#include "instruments/nmea/NMEASentence.h"
#include "panelfakes/PanelBuilders.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/items/InstrumentItems.h"
#include "support/TestPaths.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace NDisplayInstruments;
using tessatest::AddCell;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Knots, metres and Celsius while a test runs.
class UnitsScope
{
public:
    UnitsScope() : m_saved(CDefaultUnits::Get())
    {
        CUnits& u = CDefaultUnits::Get();
        u.m_speedUnit = CUnits::kKnots;
        u.m_depthUnit = CUnits::kDepthMetres;
        u.m_temperature = CUnits::kCelsius;
    }
    ~UnitsScope() { static_cast<CUnits&>(CDefaultUnits::Get()) = m_saved; }

private:
    CUnits m_saved;
};

// Every instrument cell in one panel, in registration order.
class InstrumentPanel : public ::testing::Test
{
public:
    void SetUp() override
    {
        RegisterAllPanelItems();
        auto grid = tessatest::MakeGrid(600, 400, 3, 4);
        AddCell<BoatSpeed::CSettings>(*grid, 0, 0);
        AddCell<ApparentWindAngle::CSettings>(*grid, 0, 1);
        AddCell<ApparentWindSpeed::CSettings>(*grid, 0, 2);
        AddCell<TrueWindDirection::CSettings>(*grid, 0, 3);
        AddCell<TrueWindSpeed::CSettings>(*grid, 1, 0);
        AddCell<TrueWindRange::CSettings>(*grid, 1, 1);
        AddCell<TrueWindGust::CSettings>(*grid, 1, 2);
        AddCell<WaterDepth::CSettings>(*grid, 1, 3);
        AddCell<WaterTemperature::CSettings>(*grid, 2, 0);
        AddCell<RudderAngle::CSettings>(*grid, 2, 1);
        AddCell<AverageRudderAngle::CSettings>(*grid, 2, 2);
        AddCell<EngineRPM::CSettings>(*grid, 2, 3);
        panel.ReplaceArrangements(tessatest::Arrangements(std::move(grid)));
        panel.Attach(&host, nullptr);
        panel.Relayout();
    }
    void TearDown() override { panel.Detach(); }
    // The window of the cell with that type id.
    std::shared_ptr<tessatest::WindowRecord> Cell(uint32_t id) const
    {
        for (auto& item : panel.CurrentArrangement()->m_items)
            if (item->Settings().GetTypeId() == id)
                return factory.RecordOf(item.get());
        return nullptr;
    }

    UnitsScope units;
    tessatest::RecordingWindowFactory factory;
    tessatest::FakeHost host{600, 400};
    CDisplayView panel;
};

template <class S> void Publish(S& sentence)
{
    FireEvent<S>(sentence);
}

} // namespace

TEST(InstrumentTexts, FormatsAndOutsideValues)
{
    UnitsScope units;
    struct Case
    {
        std::string got, want;
    };
    const Case cases[] = {
        {ApparentWindAngleText(200), ">160 "},
        {ApparentWindAngleText(45), " 045<"},
        {ApparentWindAngleText(180), " 180<"},
        {ApparentWindAngleText(359.6), ">000 "},
        {ApparentWindAngleText(0), " 000<"},
        {ApparentWindAngleText(-90), ">090 "}, // into 0..360 first
        {ApparentWindAngleText(560), ">160 "},
        {ApparentWindAngleText(999), ">081 "}, // the unknown marker is a number too
        {ApparentWindAngleText(kNaN), "---"},
        {ApparentWindAngleText(kInf), "---"},
        {RudderAngleText(-12.34), "<<12.3\xC2\xB0"},
        {RudderAngleText(0), "0.0\xC2\xB0>>"},
        {RudderAngleText(7.25), "7.2\xC2\xB0>>"},
        {RudderAngleText(-kInf), "---"},
        {EngineRPMText(1850, 0), "1850"},
        {EngineRPMText(1850, 1790), "1850 1790"},
        {EngineRPMText(1850, -5), "1850"},
        {EngineRPMText(kNaN, 1790), "---"},
        {EngineRPMText(1850, kInf), "---"},
        {TrueWindDirectionText(359.6), "360"},
        {TrueWindDirectionText(5.2), "005"},
        {TrueWindDirectionText(-1e30), "344"}, // fmod first: no integer overflow
        {TrueWindDirectionText(kNaN), "---"},
        {SpeedText(6.6f), "6.60"},
        {SpeedText(kNaN), "---"},
        {DepthText(5.7f), "5.7"},
        {DepthText(kInf), "---"},
        {TemperatureText(18.25f), "18.2"},
        {TemperatureText(-kInf), "---"},
        {SpeedRangeText(4, 12.5f), "4.00-12.5"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST_F(InstrumentPanel, SentencesReachTheirCellsAndUnitsRenameTheLabels)
{
    ASSERT_EQ(factory.Live().size(), 12u);
    struct Label
    {
        uint32_t id;
        const char* title;
        const char* unit;
    };
    const Label labels[] = {
        {33, "Boat Speed", "kts"},
        {34, "Wind app (\xC2\xB0)", ""},
        {35, "App Wind", "kts"},
        {86, "Wind Direction (\xC2\xB0T)", ""},
        {87, "True Wind", "kts"},
        {112, "Avg True Wind", "kts"},
        {113, "True Wind Gust", "kts"},
        {36, "Depth", "m"},
        {78, "Water Temp",
         "\xC2\xB0"
         "C"},
        {80, "Rudder", ""},
        {81, "Avg Rudder", ""},
        {82, "RPM", ""},
    };
    for (const Label& l : labels) {
        auto cell = Cell(l.id);
        ASSERT_NE(cell, nullptr) << l.id;
        EXPECT_EQ(cell->title, l.title);
        EXPECT_EQ(cell->unit, l.unit);
        EXPECT_EQ(cell->text, ""); // empty until the first event
    }

    CNMEA_Instruments::MWV mwv(&CNMEA_Instruments::MWV::Type);
    mwv.m_angle = 200;
    mwv.m_speed = 12;
    Publish(mwv);
    EXPECT_EQ(Cell(34)->text, ">160 ");
    EXPECT_EQ(Cell(35)->text, "12.0");
    mwv.m_true = true; // true wind is not for the apparent cells
    mwv.m_angle = 45;
    Publish(mwv);
    EXPECT_EQ(Cell(34)->text, ">160 ");

    CNMEA_Instruments::DPT dpt(&CNMEA_Instruments::DPT::Type);
    dpt.m_depth = 4.5f;
    dpt.m_waterlineOffset = 1.2f;
    Publish(dpt);
    EXPECT_EQ(Cell(36)->text, DepthText(5.7f));
    CNMEA_Instruments::DBT dbt(&CNMEA_Instruments::DBT::Type);
    dbt.m_depth = 3.1f;
    Publish(dbt);
    EXPECT_EQ(Cell(36)->text, "3.1");

    CNMEA_Instruments::VHW vhw(&CNMEA_Instruments::VHW::Type);
    vhw.m_hasSpeed = true;
    vhw.m_speed = 6.6f;
    Publish(vhw);
    EXPECT_EQ(Cell(33)->text, "6.60");
    vhw.m_hasSpeed = false; // heading only: the speed stays
    vhw.m_speed = 0;
    Publish(vhw);
    EXPECT_EQ(Cell(33)->text, "6.60");

    CNMEA_Instruments::RSA rsa(&CNMEA_Instruments::RSA::Type);
    rsa.m_angle = -12.34f;
    rsa.m_smoothedAngle = 3;
    Publish(rsa);
    EXPECT_EQ(Cell(80)->text, "<<12.3\xC2\xB0");
    EXPECT_EQ(Cell(81)->text, "3.0\xC2\xB0>>");

    CNMEA_Instruments::RPM rpm(&CNMEA_Instruments::RPM::Type);
    rpm.m_engine01 = 1850;
    rpm.m_engine2 = 1790;
    Publish(rpm);
    EXPECT_EQ(Cell(82)->text, "1850 1790");

    CNMEA_Instruments::MTW mtw(&CNMEA_Instruments::MTW::Type);
    mtw.m_temperature = kNaN;
    Publish(mtw);
    EXPECT_EQ(Cell(78)->text, "---");

    CDataTrueWind wind;
    wind.m_current.direction = 359.6f;
    wind.m_current.speed = 14;
    CDataTrueWind::RecordRange(wind.m_currentRange, 18, 0);
    CDataTrueWind::RecordRange(wind.m_averageRange, 9, 0);
    CDataTrueWind::RecordRange(wind.m_averageRange, 15, 1);
    FireEvent<CDataTrueWind>(wind);
    EXPECT_EQ(Cell(86)->text, "360");
    EXPECT_EQ(Cell(87)->text, "14.0");
    EXPECT_EQ(Cell(112)->text, "9.00-15.0");
    EXPECT_EQ(Cell(113)->text, "18.0");

    // A units change remakes the cells, whose labels then name the new units.
    CDefaultUnits::Get().m_speedUnit = CUnits::kKmh;
    CDefaultUnits::Get().m_depthUnit = CUnits::kDepthFeet;
    CDefaultUnits::Get().m_temperature = CUnits::kFahrenheit;
    FireEvent<CUnits>(CDefaultUnits::Get());
    EXPECT_EQ(Cell(33)->unit, "km/h");
    EXPECT_EQ(Cell(36)->unit, "ft");
    EXPECT_EQ(Cell(78)->unit, "\xC2\xB0"
                              "F");
    // ...and show at once the values they had, in the new units.
    const std::pair<uint32_t, std::string> kept[] = {
        {33, SpeedText(6.6f)}, {34, ">160 "}, {35, SpeedText(12)}, {36, DepthText(3.1f)},
        {82, "1850 1790"},     {86, "360"},   {87, SpeedText(14)},
    };
    for (const auto& [id, text] : kept)
        EXPECT_EQ(Cell(id)->text, text) << id;
    EXPECT_NE(Cell(33)->text, "6.60");
    Publish(dpt);
    EXPECT_EQ(Cell(36)->text, DepthText(5.7f));
    EXPECT_NE(DepthText(5.7f), "5.7");

    // Gone cells listen no more.
    panel.Detach();
    Publish(mwv);
    Publish(dpt);
}

TEST_F(InstrumentPanel, RecordedLogShowsEachSentencesValue)
{
    TESSA_REQUIRE_TESTDATA("nmea/bundg_zeus_9.log");
    // Runs after the cells (a lower priority) and checks what they show.
    struct Checker : Listener<CNMEA_Instruments::VHW>,
                     Listener<CNMEA_Instruments::MWV>,
                     Listener<CNMEA_Instruments::DPT>,
                     Listener<CNMEA_Instruments::DBT>,
                     Listener<CNMEA_Instruments::MTW>
    {
        explicit Checker(InstrumentPanel& p)
            : Listener<CNMEA_Instruments::VHW>(-1), Listener<CNMEA_Instruments::MWV>(-1),
              Listener<CNMEA_Instruments::DPT>(-1), Listener<CNMEA_Instruments::DBT>(-1),
              Listener<CNMEA_Instruments::MTW>(-1), panel(p)
        {
        }
        void Notify(const CNMEA_Instruments::VHW& s) override
        {
            if (!s.m_hasSpeed)
                return;
            ++counts[0];
            EXPECT_EQ(panel.Cell(33)->text, SpeedText(s.m_speed));
        }
        void Notify(const CNMEA_Instruments::MWV& s) override
        {
            if (s.m_true)
                return;
            ++counts[1];
            EXPECT_EQ(panel.Cell(34)->text, ApparentWindAngleText(s.m_angle));
            EXPECT_EQ(panel.Cell(35)->text, SpeedText(s.m_speed));
        }
        void Notify(const CNMEA_Instruments::DPT& s) override
        {
            ++counts[2];
            EXPECT_EQ(panel.Cell(36)->text, DepthText(s.m_depth + s.m_waterlineOffset));
        }
        void Notify(const CNMEA_Instruments::DBT& s) override
        {
            ++counts[3];
            EXPECT_EQ(panel.Cell(36)->text, DepthText(s.m_depth));
        }
        void Notify(const CNMEA_Instruments::MTW& s) override
        {
            ++counts[4];
            EXPECT_EQ(panel.Cell(78)->text, TemperatureText(s.m_temperature));
        }
        InstrumentPanel& panel;
        int counts[5] = {};
    } checker(*this);

    std::ifstream in(tessatest::TestDataFile("nmea/bundg_zeus_9.log"));
    std::string line;
    while (std::getline(in, line))
        DispatchNMEALine(line.data(), nullptr);
    for (int kind = 0; kind < 4; ++kind)
        EXPECT_GT(checker.counts[kind], 100) << kind;
    // The log's water temperature sentences carry no value: the cell stays empty.
    EXPECT_EQ(Cell(78)->text, "");
    // The last relative wind of the log, as a user sees it.
    EXPECT_FALSE(Cell(34)->text.empty());
}
