// The own-fix cells through recording windows: titles and values for the
// fix, the satellite view and the heading, a receiver log against another
// decoder's reports, and the drop-mark button with its template mark.
#include "foundation/dialogs/DialogCallback.h"
#include "instruments/nmea/NMEASentence.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/OverlayUiDouble.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "panelfakes/PanelBuilders.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/LayoutFile.h"
#include "panels/items/GpsItems.h"
#include "support/InstalledPort.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <regex>

namespace {

using namespace NDisplayGPS;
using tessatest::RecordingWindowFactory;

const CUnits& Units()
{
    return CDefaultUnits::Get();
}

// One live cell of a description type, with the record of its window.
template <class S> struct Cell
{
    explicit Cell(RecordingWindowFactory& factory)
        : item(settings.CreateItem(&host)), record(factory.RecordOf(item.get()))
    {
    }
    S settings;
    tessatest::FakeHost host{100, 60};
    std::unique_ptr<CDisplayView::CItem> item;
    std::shared_ptr<tessatest::WindowRecord> record;
};

void ResetOwnShip()
{
    COverlayGPSPosition& own = COverlayGPSPosition::Global();
    own.Reset();
    own.ResetAveraging();
    own.m_fixStatus = CDataGPSPosition::kNoFix;
    own.m_latitude = own.m_longitude = 999;
    own.m_hdop = 0;
}

class GpsItemsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ResetOwnShip();
        CMarkManager::Get().ClearForTesting();
    }
    void TearDown() override
    {
        ResetOwnShip();
        CMarkManager::Get().ClearForTesting();
        ClearPendingCallbacksForTesting();
    }
    RecordingWindowFactory factory;
};

TEST_F(GpsItemsTest, FixCellsShowTitlesAndValues)
{
    Cell<SOG::CSettings> sog(factory);
    Cell<Position::CSettings> position(factory);
    Cell<Status::CSettings> accuracy(factory);
    Cell<Time::CSettings> time(factory);
    Cell<TimeSeconds::CSettings> seconds(factory);
    Cell<COG::CSettings> course(factory);
    const std::string speedUnit = CUnits::SpeedUnit(Units().m_speedUnit).name;
    // Filled at construction from the own ship, which has no fix yet.
    EXPECT_EQ(position.record->text, "Not Available");
    EXPECT_EQ(accuracy.record->title, "Est Pos Accuracy");
    EXPECT_EQ(sog.record->title + "|" + sog.record->text, "Speed|");
    EXPECT_EQ(course.record->title + "|" + course.record->text, "Course|");

    struct tm nine
    {
    };
    nine.tm_year = 124;
    nine.tm_mon = 5;
    nine.tm_mday = 1;
    nine.tm_hour = 9;
    nine.tm_min = 5;
    nine.tm_isdst = -1;
    const double nineOFive = double(mktime(&nine));
    std::string speed;
    Units().FormatSpeedValue(6.5f, speed);

    struct Case
    {
        const char* what;
        uint32_t mode;
        uint8_t status;
        double latitude;
        float hdop;
        double fixTime;
        const char* sogTitle;
        std::string sogText;
        const char* accuracyTitle;
        const char* timeTitle;
        const char* timeText;
    } cases[] = {
        {"course over ground", 3, 1, 50.5, 2.0f, nineOFive, "Speed", speed, "GPS Accuracy", "Time: am",
         "9:05"},
        {"averaged course", 2, 1, 50.5, 2.0f, nineOFive + 12 * 3600, "Avg Speed", speed, "GPS Accuracy",
         "Time: pm", "9:05"},
        {"no direction", 0, 1, 50.5, 0.0f, nineOFive, "Speed", "", "GPS Accuracy", "Time: am", "9:05"},
        {"no fix", 3, 0, 999, 0.0f, nineOFive, "Speed", "", "Est Pos Accuracy", "Time: am", "9:05"},
        // A time no calendar holds gives no text, never an undefined conversion.
        {"time out of range", 3, 1, 50.5, NAN, 1e300, "Speed", speed, "GPS Accuracy", "Time: am", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CDataGPSPosition fix;
        fix.m_mode = c.mode;
        fix.m_fixStatus = c.status;
        fix.m_sog = fix.m_averagedSpeed = 6.5f;
        fix.m_cog = 123.4f;
        fix.m_latitude = c.latitude;
        fix.m_longitude = -1.25;
        fix.m_hdop = c.hdop;
        fix.m_fixTime = c.fixTime;
        FireEvent<CDataGPSPosition>(fix);
        EXPECT_EQ(sog.record->title, c.sogTitle);
        EXPECT_EQ(sog.record->unit, speedUnit);
        EXPECT_EQ(sog.record->text, c.sogText);
        EXPECT_EQ(accuracy.record->title, c.accuracyTitle);
        std::string hdop;
        if (c.hdop != 0)
            Units().FormatDistance(c.hdop, hdop);
        EXPECT_EQ(accuracy.record->text, hdop);
        EXPECT_EQ(time.record->title, c.timeTitle);
        EXPECT_EQ(time.record->text, c.timeText);
        EXPECT_EQ(seconds.record->text.empty(), std::string(c.timeText).empty());
        std::string where;
        if (c.latitude < 90)
            Units().FormatPosition(where, c.latitude, -1.25);
        else
            where = "Not Available";
        EXPECT_EQ(position.record->text, where);
    }
}

TEST_F(GpsItemsTest, SatellitesCompassAndAverages)
{
    Cell<NumSatellites::CSettings> satellites(factory);
    Cell<CompassHeading::CSettings> compass(factory);
    Cell<AvgCourse::CSettings> avgCourse(factory);
    EXPECT_EQ(satellites.record->title, "Sats Used/View/Sig");
    EXPECT_EQ(compass.record->unit, Units().BearingSuffix());

    struct Case
    {
        std::vector<int> elevations; // each with a PRN; a negative value: an entry without one
        uint32_t used, inView;
        const char* text;
    } cases[] = {
        {{10, -80, 20, 30, 40, 50, 60}, 4, 9, "4/9/40%"},
        {{5, 6}, 2, 2, "2/2/5%"}, // fewer than five: the mean of all
        {{}, 0, 0, "0/0/0%"},
    };
    for (const Case& c : cases) {
        CDataGPSSatelliteSignals view;
        int i = 0;
        for (int e : c.elevations) {
            view.SetSatellite(i, e < 0 ? 0 : i + 1, e < 0 ? -e : e, 0, 40, false);
            ++i;
        }
        view.m_satellitesUsed = c.used;
        view.m_satellitesInView = c.inView;
        FireEvent<CDataGPSSatelliteSignals>(view);
        EXPECT_EQ(satellites.record->text, c.text);
    }

    CDataSpeedDirection own;
    FireEvent<CDataSpeedDirection>(own);
    EXPECT_EQ(compass.record->text, "---");
    own.SetHeading(45.0f, 1000);
    FireEvent<CDataSpeedDirection>(own);
    std::string bearing;
    Units().FormatBearingValue(own.GetHeading(), bearing);
    EXPECT_EQ(compass.record->text, bearing);
    CDataGPSPosition fix;
    FireEvent<CDataGPSPosition>(fix);
    EXPECT_EQ(avgCourse.record->text, "---");
}

// The last value of a field in the other decoder's JSON reports.
std::string LastField(const std::vector<std::string>& lines, const std::string& klass,
                      const std::string& field)
{
    const std::regex re("\"" + field + "\":(-?[0-9.]+)");
    std::string value;
    for (const auto& line : lines) {
        std::smatch m;
        if (line.find("\"class\":\"" + klass + "\"") != std::string::npos && std::regex_search(line, m, re))
            value = m[1];
    }
    return value;
}

TEST_F(GpsItemsTest, ReceiverLogMatchesTheOtherDecoder)
{
    TESSA_REQUIRE_TESTDATA("nmea/GPSmap-76S.log");
    Cell<Position::CSettings> position(factory);
    Cell<Altitude::CSettings> altitude(factory);
    Cell<Status::CSettings> accuracy(factory);
    Cell<NumSatellites::CSettings> satellites(factory);
    std::ifstream in(tessatest::TestDataFile("nmea/GPSmap-76S.log"));
    for (std::string line; std::getline(in, line);)
        DispatchNMEALine(line.data(), nullptr);

    std::ifstream chk(tessatest::TestDataFile("nmea/GPSmap-76S.log.chk"));
    std::vector<std::string> reports;
    std::string lastSky;
    for (std::string line; std::getline(chk, line);) {
        reports.push_back(line);
        if (line.find("\"satellites\":[") != std::string::npos)
            lastSky = line;
    }
    const double lat = std::stod(LastField(reports, "TPV", "lat"));
    const double lon = std::stod(LastField(reports, "TPV", "lon"));
    std::string text;
    Units().FormatPosition(text, lat, lon);
    EXPECT_EQ(position.record->text, text);
    Units().FormatDepthValue(std::stof(LastField(reports, "TPV", "altMSL")), text);
    EXPECT_EQ(altitude.record->text, text);
    Units().FormatDistance(std::stof(LastField(reports, "SKY", "hdop")), text);
    EXPECT_EQ(accuracy.record->text, text);

    // Used and in view, and the mean of the five highest elevations.
    std::vector<int> elevations;
    const std::regex el("\"el\":([0-9.]+)");
    for (auto it = std::sregex_iterator(lastSky.begin(), lastSky.end(), el); it != std::sregex_iterator();
         ++it)
        elevations.push_back(int(std::stod((*it)[1])));
    ASSERT_GE(elevations.size(), 5u);
    std::sort(elevations.rbegin(), elevations.rend());
    const int mean = (elevations[0] + elevations[1] + elevations[2] + elevations[3] + elevations[4]) / 5;
    const std::regex counts("\"nSat\":([0-9]+),\"uSat\":([0-9]+)");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(lastSky, m, counts));
    EXPECT_EQ(satellites.record->text,
              std::string(m[2]) + "/" + std::string(m[1]) + "/" + std::to_string(mean) + "%");
}

// The overlay ui's mark dialog: it takes the continuations over when it opens
// and ends when the test says.
class MarkDialogs : public tessatest::COverlayUiDouble
{
public:
    MarkDialogs() { editMarks = true; }
    void show_edit_mark(QWidget* parent, COverlayMark* mark) override
    {
        COverlayUiDouble::show_edit_mark(parent, mark);
        open.TakeOverPendingList();
    }
    CDialogCallbackList open;
};

struct Announcements : Listener<COverlayObject>
{
    void Notify(const COverlayObject& object) override
    {
        if (object.GetState() == COverlayObject::kChanged)
            names.push_back(static_cast<const COverlayMark&>(object).GetName());
    }
    std::vector<std::string> names;
};

TEST_F(GpsItemsTest, DropMarkButtonDropsNumberedCopiesAtTheOwnPosition)
{
    struct TitleCase
    {
        const char* name;
        const char* title;
    } titles[] = {{"Drop Mark #", "Drop Mark"}, {" \tBuoy \r\n", "Buoy"}, {"#5", "#5"}, {"A # b #", "A"}};
    for (const TitleCase& c : titles)
        EXPECT_EQ(DropMarkButton::TitleOf(c.name), c.title) << c.name;

    Cell<DropMarkButton::CSettings> button(factory);
    EXPECT_EQ(button.record->buttonTitle, "Drop Mark");
    CMarkManager& marks = CMarkManager::Get();
    factory.Click(button.item.get()); // no position: no mark
    EXPECT_TRUE(marks.Marks().empty());

    COverlayGPSPosition& own = COverlayGPSPosition::Global();
    own.SetPosition(50.25, -1.5);
    Announcements announced;
    factory.Click(button.item.get());
    factory.Click(button.item.get());
    ASSERT_EQ(marks.Marks().size(), 2u);
    EXPECT_EQ(announced.names, (std::vector<std::string>{"Drop Mark 1", "Drop Mark 2"}));
    EXPECT_EQ(marks.Marks()[1]->GetLatitude(), 50.25);
    EXPECT_EQ(marks.Marks()[1]->GetLongitude(), -1.5);

    // A name without '#' is kept by every copy; a template with the go-to
    // flag (a crafted file) never starts navigation.
    auto crafted = std::make_unique<COverlayMark>();
    crafted->SetName("Anchor");
    crafted->SetGotoTarget(true);
    button.settings.SetTemplate(std::move(crafted));
    EXPECT_FALSE(button.settings.Template().IsGotoTarget());
    factory.Click(button.item.get());
    EXPECT_EQ(marks.Marks().back()->GetName(), "Anchor");
    EXPECT_FALSE(marks.Marks().back()->IsGotoTarget());
    EXPECT_EQ(marks.GetGoto().target, nullptr);
}

// A cell record that ends after its placement chunk.
class PlacementOnly : public CDisplayView::CItemSettings
{
public:
    uint32_t GetTypeId() const override { return DropMarkButton::kTypeId; }
    std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow*) override { return nullptr; }
};

TEST_F(GpsItemsTest, TemplateSurvivesTheLayoutFile)
{
    RegisterAllPanelItems();
    auto grid = tessatest::MakeGrid(400, 300, 2, 2);
    auto* stored =
        static_cast<DropMarkButton::CSettings*>(tessatest::AddCell<DropMarkButton::CSettings>(*grid, 0, 0));
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName("Fuel #");
    mark->SetDescription("diesel");
    mark->SetRadii(0, 30);
    stored->SetTemplate(std::move(mark));
    // Set after the template was taken over, as a crafted file would have it.
    stored->Template().SetGotoTarget(true);
    tessatest::AddCell<PlacementOnly>(*grid, 1, 1);
    CSerialStream out = CSerialStream::OpenWrite({}, nullptr);
    ASSERT_TRUE(CLayoutDocument::Write(out, "Drop", {}, tessatest::Arrangements(std::move(grid))));
    const std::string bytes = out.Output();

    CLayoutDocument read;
    ASSERT_TRUE(read.LoadBytes(bytes.data(), bytes.size(), nullptr));
    ASSERT_EQ(read.m_main.size(), 1u);
    auto& cells = read.m_main[0]->m_cells;
    ASSERT_EQ(cells.size(), 2u);
    auto* first = dynamic_cast<DropMarkButton::CSettings*>(cells[0].get());
    auto* second = dynamic_cast<DropMarkButton::CSettings*>(cells[1].get());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Template().GetName(), "Fuel #");
    EXPECT_EQ(first->Template().GetDescription(), "diesel");
    EXPECT_EQ(first->Template().GetOuterRadius(), 30.0f);
    EXPECT_FALSE(first->Template().IsGotoTarget());
    EXPECT_EQ(second->Template().GetName(), DropMarkButton::kDefaultName);
    EXPECT_EQ(second->m_row, 1);
}

TEST_F(GpsItemsTest, MarkSettingsEditsTheTemplateOnlyWhileTheCellLives)
{
    RegisterAllPanelItems();
    CDisplayView panel;
    tessatest::FakeHost host(400, 300);
    auto grid = tessatest::MakeGrid(400, 300, 1, 1);
    tessatest::AddCell<DropMarkButton::CSettings>(*grid, 0, 0);
    panel.ReplaceArrangements(tessatest::Arrangements(std::move(grid)));
    panel.Attach(&host, nullptr);
    panel.Relayout();
    ASSERT_EQ(panel.CurrentArrangement()->m_items.size(), 1u);

    const auto menuOf = [&](CDisplayView::CItem* item) {
        auto menu = std::make_unique<CMenuTree>("Cell", nullptr);
        item->AddMenuItems(*menu, nullptr);
        return menu;
    };
    // The default overlay ui has no mark dialog: no entry.
    EXPECT_EQ(menuOf(panel.HitTest(0, 0))->Root().FindChild("Mark Settings"), nullptr);

    MarkDialogs dialogs;
    tessatest::CInstalledPort<IOverlayUi> installed(dialogs);
    auto menu = menuOf(panel.HitTest(0, 0));
    CMenuTree::CItem* entry = menu->Root().FindChild("Mark Settings");
    ASSERT_NE(entry, nullptr);
    entry->Select();
    ASSERT_EQ(dialogs.editedMarks.size(), 1u);
    EXPECT_TRUE(panel.m_frozen);
    dialogs.editedMarks[0]->SetName("Buoy #");
    dialogs.open.EndDialog(0);
    auto record = factory.RecordOf(panel.HitTest(0, 0));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->buttonTitle, "Buoy");
    EXPECT_TRUE(panel.m_modified);
    EXPECT_FALSE(panel.m_frozen);

    // Cancelled: nothing changes.
    panel.m_modified = false;
    menu = menuOf(panel.HitTest(0, 0));
    menu->Root().FindChild("Mark Settings")->Select();
    dialogs.editedMarks.back()->SetName("Other #");
    dialogs.open.EndDialog(-1);
    EXPECT_FALSE(panel.m_modified);
    EXPECT_EQ(record->buttonTitle, "Buoy");

    // A layout switch while the dialog is open: its end writes nowhere.
    menu = menuOf(panel.HitTest(0, 0));
    menu->Root().FindChild("Mark Settings")->Select();
    auto next = tessatest::MakeGrid(400, 300, 1, 1);
    auto* fresh =
        static_cast<DropMarkButton::CSettings*>(tessatest::AddCell<DropMarkButton::CSettings>(*next, 0, 0));
    panel.ReplaceArrangements(tessatest::Arrangements(std::move(next)));
    dialogs.editedMarks.back()->SetName("Late #");
    entry = menu->Root().FindChild("Mark Settings");
    dialogs.open.EndDialog(0);
    EXPECT_EQ(fresh->Template().GetName(), DropMarkButton::kDefaultName);
    EXPECT_FALSE(panel.m_modified);
    // The entry of the menu opened before the switch does nothing either.
    entry->Select();
    EXPECT_EQ(dialogs.editedMarks.size(), 3u);
    panel.Detach();
}

} // namespace
