// The "Units" menus: their entries and checks, what choosing an entry writes,
// saves and announces, and how the settings category "Units" opens them.
#include "foundation/events/Listener.h"
#include "foundation/menus/MenuTree.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/settings/IniFile.h"
#include "foundation/settings/PersistantData.h"
#include "geodesy/Units.h"
#include "geodesy/UnitsPorts.h"
#include "mapview/units/UnitsMenus.h"
#include "support/MenuPopupDouble.h"
#include "support/TestPaths.h"

#include <QCursor>
#include <gtest/gtest.h>

#include <QPoint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

class CUnitsRecorder : public Listener<CUnits>
{
public:
    void Notify(const CUnits& units) override { events.push_back(&units); }
    std::vector<const CUnits*> events;
};

// Keeps the application's units and the settings files as they were.
class UnitsMenusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved = CDefaultUnits::Get();
        m_dir = tessatest::MakeScratchDir("units_menus");
        m_ini = m_dir + "/settings.ini";
        PersistantData::SetIniPaths(m_ini, m_dir + "/secondary.ini");
        SetMagneticModelPathForTesting(std::string(TESSA_SOURCE_RESOURCES) + "/WMM_COF");
    }
    void TearDown() override
    {
        static_cast<CUnits&>(CDefaultUnits::Get()) = m_saved;
        CDefaultUnits::Settings().SetModified(false);
        PersistantData::SetIniPaths("", "");
        SetMagneticModelPathForTesting("");
    }
    CIniMap ReadIni()
    {
        CIniMap map;
        ReadIniFile(m_ini, map);
        return map;
    }

    CUnits m_saved;
    std::string m_dir;
    std::string m_ini;
};

const CMenuTree::CItem* Item(const CMenuTree& menu, const std::string& title)
{
    return menu.Root().FindChild(title);
}

// Takes the place of the pop-up menu: keeps what would have been shown.
struct CShownMenu
{
    std::unique_ptr<CMenuTree> tree;
    QPoint point;
};
std::vector<CShownMenu> gShown;

void RecordMenu(std::unique_ptr<CMenuTree> tree, QWidget*, const QPoint* point)
{
    gShown.push_back({std::move(tree), point ? *point : QPoint(-1, -1)});
}

TEST_F(UnitsMenusTest, MenusShowTheChoicesAndApplyThem)
{
    ASSERT_TRUE(PersistantData::LoadAll("Tessaroute"));
    CDefaultUnits& u = CDefaultUnits::Get();
    u.SetUnitSystem(CUnits::kStatute);
    CUnitsRecorder recorder;

    std::unique_ptr<CMenuTree> menu = CUnitsMenus::BuildUnitsMenu();
    EXPECT_EQ(menu->Title(), "Units");
    std::vector<std::string> titles;
    for (const auto& item : menu->Root().Children())
        titles.push_back(item->Title());
    EXPECT_EQ(titles, (std::vector<std::string>{"Statute", "Nautical", "Metric", "Position format...",
                                                "Bearings..."}));
    EXPECT_EQ(Item(*menu, "Statute")->Kind(), CMenuTree::kChecked);
    EXPECT_EQ(Item(*menu, "Nautical")->Kind(), CMenuTree::kPlain);

    menu->Root().FindChild("Nautical")->Select();
    EXPECT_EQ(u.m_speedUnit, CUnits::kKnots);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0], &u);
    EXPECT_EQ(ReadIni().at("CDefaultUnits:units"), "0x1");
    EXPECT_FALSE(CDefaultUnits::Settings().IsModified());
    EXPECT_EQ(Item(*CUnitsMenus::BuildUnitsMenu(), "Nautical")->Kind(), CMenuTree::kChecked);

    // Every registered format, in registry order, the current one checked.
    std::unique_ptr<CMenuTree> formats = CUnitsMenus::BuildPositionFormatMenu();
    EXPECT_EQ(formats->Title(), "Position format");
    size_t n = 0;
    const CUnits::PositionFormatType* f = CUnits::PositionFormatType::First();
    for (const auto& item : formats->Root().Children()) {
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(item->Title(), f->Name());
        EXPECT_EQ(item->Kind(), f->Name() == "Deg,Min" ? CMenuTree::kChecked : CMenuTree::kPlain);
        f = f->Next();
        ++n;
    }
    EXPECT_EQ(f, nullptr);
    EXPECT_GE(n, 3u);
    formats->Root().FindChild("Deg,Min,Sec")->Select();
    EXPECT_EQ(u.PositionFormat().Name(), "Deg,Min,Sec");
    EXPECT_EQ(ReadIni().at("CDefaultUnits:posnfmt"), "Deg,Min,Sec");
    EXPECT_EQ(recorder.events.size(), 2u);

    std::unique_ptr<CMenuTree> bearings = CUnitsMenus::BuildBearingsMenu();
    EXPECT_EQ(bearings->Title(), "Bearings");
    EXPECT_EQ(Item(*bearings, "True north")->Kind(), CMenuTree::kChecked);
    EXPECT_EQ(Item(*bearings, "Magnetic")->Kind(), CMenuTree::kPlain);
    bearings->Root().FindChild("Magnetic")->Select();
    EXPECT_EQ(u.m_bearings, CUnits::kBearingsMagnetic);
    EXPECT_EQ(ReadIni().at("CDefaultUnits:bearings"), "0x1");
    EXPECT_EQ(Item(*CUnitsMenus::BuildBearingsMenu(), "Magnetic")->Kind(), CMenuTree::kChecked);
}

TEST_F(UnitsMenusTest, TheUnitsCategoryOpensTheMenuAndItsSubMenusAtOneAnchor)
{
    gShown.clear();
    auto menus = std::make_unique<tessatest::CMenuPopupDouble>(&RecordMenu);
    // As the application's port does: the menu opens at the mouse.
    struct MenuAtMouse : IUnitsUi
    {
        void OpenUnitsMenu() override { CUnitsMenus::OpenUnitsMenu(QCursor::pos()); }
    } port;
    InstallPort<IUnitsUi>(&port);
    CGlobalSettingsType* category = CGlobalSettingsType::Find("Units");
    ASSERT_NE(category, nullptr);
    category->Open();
    InstallPort<IUnitsUi>(nullptr);
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0].tree->Title(), "Units");

    // The sub-menus open where the first one did, wherever the mouse is now.
    CUnitsMenus::OpenUnitsMenu(QPoint(321, 123));
    ASSERT_EQ(gShown.size(), 2u);
    gShown[1].tree->Root().FindChild("Position format...")->Select();
    gShown[1].tree->Root().FindChild("Bearings...")->Select();
    menus.reset();
    ASSERT_EQ(gShown.size(), 4u);
    EXPECT_EQ(gShown[1].point, QPoint(321, 123));
    EXPECT_EQ(gShown[2].tree->Title(), "Position format");
    EXPECT_EQ(gShown[2].point, QPoint(321, 123));
    EXPECT_EQ(gShown[3].tree->Title(), "Bearings");
    EXPECT_EQ(gShown[3].point, QPoint(321, 123));
    gShown.clear();
}

TEST_F(UnitsMenusTest, AChoiceThatCannotBeSavedStillAppliesAndSaysSo)
{
    // The settings file's folder is a file: saving fails.
    PersistantData::SetIniPaths(m_ini + "/no/settings.ini", m_dir + "/secondary.ini");
    std::fstream(m_ini, std::ios::out) << "";
    ClearStatusMessage();
    CUnitsRecorder recorder;
    CUnitsMenus::ChooseUnitSystem(CUnits::kMetric);
    EXPECT_EQ(CDefaultUnits::Get().m_speedUnit, CUnits::kKmh);
    EXPECT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(GetStatusMessage().rfind("The units could not be saved: ", 0), 0u) << GetStatusMessage();
    ClearStatusMessage();

    // Out of range: nothing applied, saved or announced.
    CUnitsMenus::ChooseUnitSystem(99);
    CUnitsMenus::ChooseBearings(7);
    EXPECT_EQ(recorder.events.size(), 1u);
    EXPECT_FALSE(IsStatusLineShown());
}

} // namespace
