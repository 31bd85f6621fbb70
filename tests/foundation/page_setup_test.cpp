// The page setup kept as one line of settings text: good texts read as
// written, every kind of damage gives the whole default setup, and the value
// survives a save and a load of the settings file.
#include "foundation/print/PageSetup.h"
#include "foundation/settings/IniFile.h"
#include "foundation/settings/PersistantData.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

TEST(PageSetup, TextsReadStrictlyAndRoundTrip)
{
    const CPageSetup defaults;
    const CPageSetup letter{"Letter", true, 0, 72, 12.5, 36};
    const CPageSetup b5{"B5", false, 18, 18, 0.25, 18};
    // Wide margins are taken while the page keeps room to print.
    const CPageSetup wide{"Letter", true, 0, 72.01, 12.5, 36};
    const CPageSetup a4{"A4", false, 85.04, 85.04, 400, 441.9};
    struct Case
    {
        const char* text;
        CPageSetup page;
    } cases[] = {
        {"A4;portrait;18,18,18,18;pt", defaults},
        {"Letter;landscape;0,72,12.5,36;pt", letter},
        {"B5;portrait;18,18,2.5e-1,18;pt", b5},
        {"", defaults},
        {"A2;portrait;18,18,18,18;pt", defaults},     // unknown paper
        {"a4;portrait;18,18,18,18;pt", defaults},     // names are exact
        {"Letter;upright;0,72,12.5,36;pt", defaults}, // unknown orientation
        {"Letter;landscape;0,72.01,12.5,36;pt", wide},
        {"A4;portrait;85.04,85.04,400,441.9;pt", a4},
        {"A4;portrait;500,95,85.04,85.04;pt", defaults},   // left and right fill the width
        {"A4;landscape;85.04,85.04,300,295;pt", defaults}, // top and bottom the turned height
        {"Letter;landscape;-1,72,12.5,36;pt", defaults},
        {"Letter;landscape;nan,72,12.5,36;pt", defaults},
        {"Letter;landscape;inf,72,12.5,36;pt", defaults},
        {"Letter;landscape;0,72,12.5x,36;pt", defaults},
        {"Letter;landscape;0,72,12.5;pt", defaults},      // three margins
        {"Letter;landscape;0,72,12.5,36,1;pt", defaults}, // five
        {"Letter;landscape;0,72,12.5,36;mm", defaults},
        {"Letter;landscape;0,72,12.5,36", defaults},     // three fields
        {"Letter;landscape;0,72,12.5,36;pt;", defaults}, // trailing junk
    };
    for (const Case& c : cases) {
        const CPageSetup page = ParsePageSetup(c.text);
        EXPECT_EQ(page, c.page) << c.text;
        EXPECT_EQ(ParsePageSetup(FormatPageSetup(page)), page) << c.text;
    }
    EXPECT_EQ(FormatPageSetup(letter), "Letter;landscape;0,72,12.5,36;pt");
    EXPECT_EQ(FormatPageSetup(defaults), "A4;portrait;18,18,18,18;pt");
}

TEST(PageSetup, SettingsValueSurvivesSaveAndLoadAndRefusesDamage)
{
    const std::string folder = tessatest::MakeScratchDir("page_setup");
    const std::string ini = folder + "/settings.ini";
    PersistantData::SetIniPaths(ini, folder + "/secondary.ini");
    MakePageSetupSettings();
    ASSERT_TRUE(PersistantData::LoadAll("settings"));

    const CPageSetup page{"Legal", true, 18, 18, 18, 40};
    StorePageSetup(page);
    ASSERT_TRUE(PersistantData::SaveAll());
    StorePageSetup(CPageSetup());
    ASSERT_TRUE(PersistantData::LoadAll("settings"));
    EXPECT_EQ(LoadPageSetup(), page);

    std::ifstream in(ini);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("print:page_setup=" + UrlEscape("Legal;landscape;18,18,18,40;pt")), std::string::npos)
        << text;

    // A damaged value in the file gives the defaults, not what was there before.
    std::ofstream(ini) << "print:page_setup=Legal;landscape;18,18,300,400;pt\n";
    ASSERT_TRUE(PersistantData::LoadAll("settings"));
    EXPECT_EQ(LoadPageSetup(), CPageSetup());

    PersistantData::SetIniPaths("", "");
    std::filesystem::remove_all(folder);
}

} // namespace
