// The own-fix cells through recording windows, a receiver log against
// another decoder's reports, and the drop-mark button with its template.
#include "foundation/dialogs/DialogCallback.h"
#include "instruments/nmea/NMEASentence.h"
#include "overlays/OverlayUiDouble.h"
#include "overlays/model/OverlayMark.h"
#include "panelfakes/PanelBuilders.h"
#include "panels/ItemCells.h"
#include "panels/LayoutFile.h"
#include "panels/items/GpsItems.h"
#include "support/InstalledPort.h"
#include "support/TestPaths.h"

#include <ctime>
#include <fstream>
#include <regex>

namespace {

using namespace NDisplayGPS;
using tessatest::Cell;
using GpsItemsTest = tessatest::CellTest;

TEST_F(GpsItemsTest, FixCellsShowTitlesAndValues)
{
    Cell<SOG::CSettings> sog(factory);
    Cell<Position::CSettings> position(factory);
    Cell<Status::CSettings> accuracy(factory);
    Cell<Time::CSettings> time(factory);
    Cell<CompassHeading::CSettings> compass(factory);
    Cell<NumSatellites::CSettings> satellites(factory);
    // Filled at construction from the own ship, which has no position yet.
    EXPECT_EQ(position.Text(), "Not Available");
    struct tm nine
    {
    };
    nine.tm_year = 124, nine.tm_mday = 1, nine.tm_hour = 9, nine.tm_min = 5, nine.tm_isdst = -1;
    const double nineOFive = double(mktime(&nine));
    std::string speed, hdop;
    Units().FormatSpeedValue(6.5f, speed);
    Units().FormatDistance(2, hdop);
    struct Case
    {
        uint32_t mode;
        uint8_t status;
        float hdop;
        double fixTime;
        std::string sog, accuracy, time;
    } cases[] = {
        {3, 1, 2, nineOFive, "Speed " + speed, "GPS Accuracy " + hdop, "Time: am 9:05"},
        {2, 1, 2, nineOFive + 43200, "Avg Speed " + speed, "GPS Accuracy " + hdop, "Time: pm 9:05"},
        {0, 1, 0, nineOFive, "Speed ", "GPS Accuracy ", "Time: am 9:05"},
        {3, 0, 0, nineOFive, "Speed ", "Est Pos Accuracy ", "Time: am 9:05"},
        // A time no calendar holds gives no text, never an undefined conversion;
        // before the receiver gave a time there is none either.
        {3, 1, 2, 1e300, "Speed " + speed, "GPS Accuracy " + hdop, "Time "},
        {2, 1, 2, nineOFive, "Avg Speed " + speed, "GPS Accuracy " + hdop, "Time: am 9:05"},
        {3, 1, 2, 0, "Speed " + speed, "GPS Accuracy " + hdop, "Time "},
    };
    for (const Case& c : cases) {
        CDataGPSPosition fix;
        fix.m_mode = c.mode;
        fix.m_fixStatus = c.status;
        fix.m_sog = fix.m_averagedSpeed = 6.5f;
        fix.m_hdop = c.hdop;
        fix.m_fixTime = c.fixTime;
        FireEvent<CDataGPSPosition>(fix);
        EXPECT_EQ(sog.record->title + " " + sog.Text(), c.sog) << c.mode;
        EXPECT_EQ(accuracy.record->title + " " + accuracy.Text(), c.accuracy);
        EXPECT_EQ(time.record->title + " " + time.Text(), c.time);
        EXPECT_EQ(position.Text(), "Not Available"); // latitude 999
    }
    CDataGPSSatelliteSignals view;
    int i = 0;
    for (int elevation : {10, 80, 20, 30, 40, 50, 60})
        view.SetSatellite(i, elevation == 80 ? 0 : i + 1, elevation, 0, 40, false), ++i;
    view.m_satellitesUsed = 4;
    view.m_satellitesInView = 9;
    FireEvent<CDataGPSSatelliteSignals>(view);
    EXPECT_EQ(satellites.Text(), "4/9/40%"); // the entry without a PRN does not count
    FireEvent<CDataSpeedDirection>(CDataSpeedDirection());
    EXPECT_EQ(compass.Text(), "---");
}

// The last value of a field in the other decoder's reports of one class.
std::string LastField(const std::vector<std::string>& lines, const std::string& klass,
                      const std::string& field)
{
    const std::regex re("\"" + field + "\":(-?[0-9.]+)");
    std::string value;
    std::smatch m;
    for (const auto& line : lines)
        if (line.find("\"class\":\"" + klass + "\"") != std::string::npos && std::regex_search(line, m, re))
            value = m[1];
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
    std::vector<std::string> reports, skies;
    for (std::string line; std::getline(chk, line);) {
        reports.push_back(line);
        if (line.find("\"satellites\":[") != std::string::npos)
            skies = {line};
    }
    ASSERT_EQ(skies.size(), 1u);
    std::string text;
    Units().FormatPosition(text, std::stod(LastField(reports, "TPV", "lat")),
                           std::stod(LastField(reports, "TPV", "lon")));
    EXPECT_EQ(position.Text(), text);
    Units().FormatDepthValue(std::stof(LastField(reports, "TPV", "altMSL")), text);
    EXPECT_EQ(altitude.Text(), text);
    Units().FormatDistance(std::stof(LastField(reports, "SKY", "hdop")), text);
    EXPECT_EQ(accuracy.Text(), text);
    std::vector<int> el;
    const std::regex elevation("\"el\":([0-9.]+)");
    for (auto it = std::sregex_iterator(skies[0].begin(), skies[0].end(), elevation);
         it != std::sregex_iterator(); ++it)
        el.push_back(int(std::stod((*it)[1])));
    ASSERT_GE(el.size(), 5u);
    std::sort(el.rbegin(), el.rend());
    const std::string mean = std::to_string((el[0] + el[1] + el[2] + el[3] + el[4]) / 5);
    EXPECT_EQ(satellites.Text(),
              LastField(skies, "SKY", "uSat") + "/" + LastField(skies, "SKY", "nSat") + "/" + mean + "%");
}

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
    EXPECT_EQ(DropMarkButton::TitleOf(" \tBuoy \r\n"), "Buoy");
    EXPECT_EQ(DropMarkButton::TitleOf("#5"), "#5");
    Cell<DropMarkButton::CSettings> button(factory);
    EXPECT_EQ(button.record->buttonTitle, "Drop Mark");
    const auto& marks = CMarkManager::Get().Marks();
    factory.Click(button.item.get()); // no position: no mark
    EXPECT_TRUE(marks.empty());
    Own().SetPosition(50.25, -1.5);
    Announcements announced;
    factory.Click(button.item.get());
    factory.Click(button.item.get());
    EXPECT_EQ(announced.names, (std::vector<std::string>{"Drop Mark 1", "Drop Mark 2"}));
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[1]->GetLatitude(), 50.25);
    EXPECT_EQ(marks[1]->GetLongitude(), -1.5);
    // A name without '#' is kept by every copy; a template with the go-to
    // flag (a crafted file) never starts navigation.
    auto crafted = std::make_unique<COverlayMark>();
    crafted->SetName("Anchor");
    crafted->SetGotoTarget(true);
    button.settings.SetTemplate(std::move(crafted));
    factory.Click(button.item.get());
    EXPECT_EQ(marks.back()->GetName(), "Anchor");
    EXPECT_FALSE(marks.back()->IsGotoTarget());
    EXPECT_EQ(CMarkManager::Get().GetGoto().target, nullptr);
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
    auto grid = tessatest::MakeGrid(400, 300, 2, 2);
    auto* stored =
        static_cast<DropMarkButton::CSettings*>(tessatest::AddCell<DropMarkButton::CSettings>(*grid, 0, 0));
    stored->Template().SetName("Fuel #");
    stored->Template().SetDescription("diesel");
    stored->Template().SetGotoTarget(true); // as a crafted file would have it
    tessatest::AddCell<PlacementOnly>(*grid, 1, 1);
    CSerialStream out = CSerialStream::OpenWrite({}, nullptr);
    ASSERT_TRUE(CLayoutDocument::Write(out, "Drop", {}, tessatest::Arrangements(std::move(grid))));
    CLayoutDocument read;
    ASSERT_TRUE(read.LoadBytes(out.Output().data(), out.Output().size(), nullptr));
    ASSERT_EQ(read.m_main.size(), 1u);
    auto& cells = read.m_main[0]->m_cells;
    ASSERT_EQ(cells.size(), 2u);
    auto* first = dynamic_cast<DropMarkButton::CSettings*>(cells[0].get());
    auto* second = dynamic_cast<DropMarkButton::CSettings*>(cells[1].get());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Template().GetName() + "|" + first->Template().GetDescription(), "Fuel #|diesel");
    EXPECT_FALSE(first->Template().IsGotoTarget());
    EXPECT_EQ(second->Template().GetName(), DropMarkButton::kDefaultName);
}

// The mark dialog takes the continuations over when it opens and ends when the test says.
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

TEST_F(GpsItemsTest, MarkSettingsEditsTheTemplateOnlyWhileTheCellLives)
{
    CDisplayView panel;
    tessatest::FakeHost host(400, 300);
    const auto layout = [] {
        auto grid = tessatest::MakeGrid(400, 300, 1, 1);
        tessatest::AddCell<DropMarkButton::CSettings>(*grid, 0, 0);
        return tessatest::Arrangements(std::move(grid));
    };
    panel.ReplaceArrangements(layout());
    panel.Attach(&host, nullptr);
    panel.Relayout();
    const auto choose = [&] {
        CMenuTree menu("Cell", nullptr);
        panel.HitTest(0, 0)->AddMenuItems(menu, nullptr);
        CMenuTree::CItem* entry = menu.Root().FindChild("Mark Settings");
        if (entry)
            entry->Select();
        return entry != nullptr;
    };
    EXPECT_FALSE(choose()); // the default overlay ui has no mark dialog
    MarkDialogs dialogs;
    tessatest::CInstalledPort<IOverlayUi> installed(dialogs);
    struct Step
    {
        int32_t code;
        bool switchLayout;
        const char* title;
        bool modified;
    } steps[] = {{0, false, "Buoy", true}, {-1, false, "Drop Mark", false}, {0, true, "Drop Mark", false}};
    for (const Step& s : steps) {
        panel.m_modified = false;
        ASSERT_TRUE(choose());
        EXPECT_TRUE(panel.m_frozen);
        dialogs.editedMarks.back()->SetName("Buoy #");
        if (s.switchLayout)
            panel.ReplaceArrangements(layout());
        dialogs.open.EndDialog(s.code);
        EXPECT_EQ(factory.RecordOf(panel.HitTest(0, 0))->buttonTitle, s.title);
        EXPECT_EQ(panel.m_modified, s.modified);
        EXPECT_TRUE(s.switchLayout || !panel.m_frozen);
        if (s.code == 0)
            panel.ReplaceArrangements(layout());
    }
    panel.Detach();
}

} // namespace
