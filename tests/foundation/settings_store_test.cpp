// Settings objects over the ini store: reading hand-edited files, typed
// values in both directions, the two files' precedence, and saves that never
// lose the old file.
#include "foundation/drawing/GraphicsColor.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/settings/ColourText.h"
#include "foundation/settings/GlobalSettingsType.h"
#include "foundation/settings/IniFile.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/settings/SettingsValueText.h"

#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

struct CSample : PersistantData
{
    CSample(const char* name = "Sample") : PersistantData(name) {}
    void Exchange() override
    {
        ExchangeHex("hex", hex);
        ExchangeBool("flag", flag);
        ExchangeString("text", text);
        ExchangeDouble("d", d);
        ExchangeFloat("f", f);
        ExchangeColourComponents("colour", colour);
        ExchangeColour("line", line);
        ExchangeStringSet("set", set);
        ExchangeStringList("list", list);
        ExchangeBlob("blob", blob, sizeof blob);
    }
    uint32_t hex = 7;
    bool flag = false;
    std::string text = "default";
    double d = 1.25;
    float f = 0.5f;
    double colour[4] = {0, 0, 1, 1};
    GraphicsColor line{0, 0, 0, 1};
    std::set<std::string> set{"a"};
    std::vector<std::string> list{"x", "y"};
    unsigned char blob[4] = {1, 2, 3, 4};
};

class SettingsStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = tessatest::MakeScratchDir("settings");
        ASSERT_FALSE(m_dir.empty());
        m_primary = m_dir + "/data/Tessaroute.ini";
        m_secondary = m_dir + "/docs/Tessaroute.ini";
        std::filesystem::create_directories(m_dir + "/data");
        std::filesystem::create_directories(m_dir + "/docs");
        PersistantData::SetIniPaths(m_primary, m_secondary);
    }
    void TearDown() override
    {
        PersistantData::SetIniPaths("", "");
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::string m_dir, m_primary, m_secondary;
};

} // namespace

TEST(IniText, LinesAreSplitTrimmedAndDecoded)
{
    CIniMap map;
    using namespace std::string_literals;
    ParseIniText("A:x = 1 & A:y=hello+world%21\r\n"
                 "# comment=1\n"
                 "   \t\n"
                 "noequals\n"
                 "B:empty=\n"
                 "B:pct=50%zz%4\n"
                 "B:nul=a\0b\n"
                 "A:x=2"s,
                 map);
    EXPECT_EQ(map.at("A:x"), "2"); // a later entry replaces an earlier one
    EXPECT_EQ(map.at("A:y"), "hello world!");
    EXPECT_EQ(map.at("B:pct"), "50%zz"); // a bad escape stays, a short one ends the value
    EXPECT_EQ(map.count("# comment"), 0u);
    EXPECT_EQ(map.count("noequals"), 0u);
    EXPECT_EQ(map.count("B:empty"), 0u);
    EXPECT_EQ(map.at("B:nul"), "ab"); // NUL bytes dropped
    EXPECT_EQ(map.size(), 4u);

    EXPECT_EQ(UrlEscape("a b&c=d/é"), "a+b%26c%3dd%2f%c3%a9");
    EXPECT_EQ(UrlUnescape(UrlEscape(std::string("\x01 +%&=\xff", 7))), std::string("\x01 +%&=\xff", 7));
}

TEST(IniText, OverlongLineIsSkippedAndReadingGoesOn)
{
    std::string text = "A:before=1\nA:long=" + std::string(kIniMaxLineLength + 10, 'x') + "\nA:after=2\n";
    CIniMap map;
    ParseIniText(text, map);
    EXPECT_EQ(map.count("A:long"), 0u);
    EXPECT_EQ(map.at("A:before"), "1");
    EXPECT_EQ(map.at("A:after"), "2");
}

TEST(IniText, NumbersReadLikeHandWrittenValues)
{
    int64_t v = 0;
    ASSERT_TRUE(ParseLeadingInteger("12abc", v));
    EXPECT_EQ(v, 12);
    ASSERT_TRUE(ParseLeadingInteger(" 0x1F", v));
    EXPECT_EQ(v, 31);
    ASSERT_TRUE(ParseLeadingInteger("010", v));
    EXPECT_EQ(v, 8);
    ASSERT_TRUE(ParseLeadingInteger("0x", v)); // "0" then junk
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(ParseLeadingInteger("abc", v));
    EXPECT_FALSE(ParseLeadingInteger("", v));
    ASSERT_TRUE(ParseLeadingInteger("99999999999999999999999", v));
    EXPECT_EQ(v, INT64_MAX);

    // Packed colours with alpha do not fit a signed int; overflow clamps.
    EXPECT_EQ(ClampToU32(0xFF0000FFLL), 0xFF0000FFu);
    EXPECT_EQ(ClampToU32(-1), 0xFFFFFFFFu);
    EXPECT_EQ(ClampToU32(0x1FFFFFFFFLL), 0xFFFFFFFFu);
    EXPECT_EQ(ClampToU32(INT64_MIN), 0x80000000u);

    double d = 0;
    EXPECT_FALSE(ParseLeadingDecimal("nan.", d));
    EXPECT_FALSE(ParseLeadingDecimal("inf.0", d));
    ASSERT_TRUE(ParseLeadingDecimal("1e999.", d));
    EXPECT_TRUE(std::isfinite(d));
    ASSERT_TRUE(ParseLeadingDecimal("-3.5kn", d));
    EXPECT_EQ(d, -3.5);
}

TEST(IniText, ColoursFromAndToText)
{
    double c[4] = {0.1, 0.2, 0.3, 0.4};
    EXPECT_FALSE(ColorFromHexString("#12345", c));
    EXPECT_EQ(c[0], 0.1);
    ASSERT_TRUE(ColorFromHexString("#F00", c));
    EXPECT_DOUBLE_EQ(c[0], 240 / 255.0);
    EXPECT_EQ(c[1], 0);
    EXPECT_EQ(c[3], 1);
    ASSERT_TRUE(ColorFromHexString("#8F00", c));
    EXPECT_DOUBLE_EQ(c[3], 128 / 255.0);
    ASSERT_TRUE(ColorFromHexString("#80FF0000", c));
    EXPECT_EQ(ColorToHexString(c), "#80FF0000");
    for (int k = 0; k < 256; ++k) { // every byte survives the trip through doubles
        double g[4] = {k / 255.0, 0, 0, 1};
        EXPECT_EQ(ColorToHexString(g).substr(3, 2),
                  (std::ostringstream() << std::uppercase << std::hex << (k < 16 ? "0" : "") << k).str());
    }
    // Out-of-range and NaN components stay within their two digits.
    double wild[4] = {2.0, -1.0, NAN, 1e300};
    EXPECT_EQ(ColorToHexString(wild), "#FFFF0000");
}

TEST_F(SettingsStore, EveryTypeRoundTripsThroughTheFile)
{
    {
        CSample s;
        s.hex = 0xFF0000FF;
        s.flag = true;
        s.text = "a & b = c\nline2";
        s.d = 0.1 + 0.2;
        s.f = 1.0f / 3.0f;
        s.colour[0] = 1;
        s.colour[3] = 128 / 255.0;
        s.line.SetRGB(0x00FF8000); // packed: red in the low byte
        s.set = {"one", "two", "three"};
        s.list = {"p", "", "r"};
        s.blob[0] = 0xAB;
        PersistantData::LoadAll("Tessaroute");
        s.SetModified();
        ASSERT_TRUE(PersistantData::SaveAll()) << PersistantData::LastError();
        EXPECT_FALSE(s.IsModified());
    }
    CSample back;
    ASSERT_TRUE(PersistantData::LoadAll("Tessaroute"));
    EXPECT_EQ(back.hex, 0xFF0000FFu);
    EXPECT_TRUE(back.flag);
    EXPECT_EQ(back.text, "a & b = c\nline2");
    EXPECT_EQ(back.d, 0.1 + 0.2); // bit for bit
    EXPECT_EQ(back.f, 1.0f / 3.0f);
    EXPECT_EQ(back.colour[0], 1);
    EXPECT_DOUBLE_EQ(back.colour[3], 128 / 255.0);
    EXPECT_EQ(back.line.GetPacked(), 0xFFFF8000u);
    EXPECT_EQ(back.set, (std::set<std::string>{"one", "two", "three"}));
    EXPECT_EQ(back.list, (std::vector<std::string>{"p", "", "r"}));
    EXPECT_EQ(back.blob[0], 0xAB);
    EXPECT_EQ(back.blob[1], 2);

    const std::string text = ReadAll(m_primary);
    EXPECT_NE(text.find("Sample:hex=0xff0000ff\n"), std::string::npos);
    EXPECT_NE(text.find("Sample:colour=%2380FF00FF\n"), std::string::npos);
    EXPECT_NE(text.find("Sample:line=%23FF0080FF\n"), std::string::npos);
    EXPECT_NE(text.find("Sample:list:n=3\n"), std::string::npos);
}

TEST_F(SettingsStore, HandWrittenValuesAndDamageUnderGermanLocale)
{
    const char* old = setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    if (!setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 locale not generated";
    WriteAll(m_primary, "Sample:d=2.5\n"
                        "Sample:f=-0.25\n"
                        "Sample:hex=4294967296\n"
                        "Sample:flag=12abc\n"
                        "Sample:text=\n"
                        "Sample:set:n=2000000000\n"
                        "Sample:colour=red\n");
    CSample s;
    PersistantData::LoadAll("Tessaroute");
    EXPECT_EQ(s.d, 2.5);
    EXPECT_EQ(s.f, -0.25f);
    EXPECT_EQ(s.hex, 0xFFFFFFFFu); // clamped
    EXPECT_TRUE(s.flag);
    EXPECT_EQ(s.text, "default");                            // an empty value keeps the default
    EXPECT_EQ(s.set.size(), 1u);                             // capped count: the empty item once, no hang
    EXPECT_EQ(s.colour[2], 1);                               // not a colour text: unchanged
    EXPECT_EQ(s.list, (std::vector<std::string>{"x", "y"})); // no count: the default stays

    // A double written by the program is locale-free too.
    s.d = 1234.5678;
    s.SetModified();
    ASSERT_TRUE(PersistantData::SaveAll());
    s.d = 0;
    PersistantData::LoadAll("Tessaroute");
    EXPECT_EQ(s.d, 1234.5678);
    setlocale(LC_ALL, saved.c_str());
}

TEST_F(SettingsStore, ShorterListReplacesLongerOne)
{
    CSample s;
    s.list = {"1", "2", "3", "4", "5"};
    PersistantData::LoadAll("Tessaroute");
    s.SetModified();
    ASSERT_TRUE(PersistantData::SaveAll());
    s.list = {"a", "b", "c"};
    s.SetModified();
    ASSERT_TRUE(PersistantData::SaveAll());
    s.list = {"q", "q", "q", "q", "q"};
    PersistantData::LoadAll("Tessaroute");
    EXPECT_EQ(s.list, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(ReadAll(m_primary).find("Sample:list[3]"), std::string::npos);
}

TEST_F(SettingsStore, SaveKeepsOtherObjectsKeysAndSecondaryWinsOnLoad)
{
    WriteAll(m_primary, "# hand note\n\nOther:k=v+1\nSample:text=primary\nZed:z=%41\n");
    WriteAll(m_secondary, "Sample:text=documents\nDocOnly:key=1\n");
    CSample s;
    CSample other("Other");
    ASSERT_TRUE(PersistantData::LoadAll("Tessaroute"));
    EXPECT_EQ(s.text, "documents");
    EXPECT_EQ(other.text, "default");

    s.hex = 3;
    s.SetModified();
    ASSERT_TRUE(PersistantData::SaveAll());
    const std::string text = ReadAll(m_primary);
    // Other keys kept, sorted, re-escaped; comments gone; documents-only keys not copied.
    EXPECT_EQ(text.substr(0, text.find("Sample:")), "Other:k=v+1\n");
    EXPECT_NE(text.find("Sample:text=documents\n"), std::string::npos);
    EXPECT_NE(text.find("Zed:z=A\n"), std::string::npos);
    EXPECT_EQ(text.find("DocOnly"), std::string::npos);
    EXPECT_EQ(text.find("hand note"), std::string::npos);
    EXPECT_EQ(ReadAll(m_secondary), "Sample:text=documents\nDocOnly:key=1\n");
}

TEST_F(SettingsStore, NothingIsWrittenOverAFileThatCannotBeRead)
{
    CSample s;
    PersistantData::SetIniPaths(m_dir + "/unset.ini", m_secondary);
    PersistantData::LoadAll("");
    s.SetModified();
    EXPECT_FALSE(PersistantData::SaveAll()); // no base name yet
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/unset.ini"));

    // The primary path is a folder: it exists but cannot be read.
    PersistantData::SetIniPaths(m_dir + "/data", m_secondary);
    PersistantData::LoadAll("Tessaroute");
    s.SetModified();
    EXPECT_FALSE(PersistantData::SaveAll());
    EXPECT_FALSE(PersistantData::LastError().empty());
    EXPECT_TRUE(s.IsModified());
    EXPECT_TRUE(std::filesystem::is_directory(m_dir + "/data"));
}

TEST_F(SettingsStore, RefusedWriteLeavesOldFileWhole)
{
    const std::string old = "Sample:text=old\n";
    WriteAll(m_primary, old);
    CSample s;
    PersistantData::LoadAll("Tessaroute");
    s.text = std::string(4096, 'n');
    s.SetModified();

    // The disk refuses anything beyond 100 bytes per file.
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool ok = PersistantData::SaveAll();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_TRUE(s.IsModified());
    EXPECT_EQ(ReadAll(m_primary), old);
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(m_dir + "/data"))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1u); // no temporary file left behind
}

TEST(GlobalSettingsTypeList, CategoriesAreFoundByName)
{
    struct CCategory : CGlobalSettingsType
    {
        using CGlobalSettingsType::CGlobalSettingsType;
        void Open() override { ++opened; }
        int opened = 0;
    };
    // Names of this test only: the application's own categories are registered too.
    CCategory gps("Test GPS Settings");
    {
        CCategory units("Test Units");
        EXPECT_EQ(CGlobalSettingsType::First(), &units);
        EXPECT_EQ(CGlobalSettingsType::Find("Test GPS Settings"), &gps);
        EXPECT_TRUE(units.IsEnabled());
    }
    EXPECT_EQ(CGlobalSettingsType::Find("Test Units"), nullptr);
    CGlobalSettingsType::Find("Test GPS Settings")->Open();
    EXPECT_EQ(gps.opened, 1);
}

TEST(SettingsPaths, DefaultFilesLieInTheDataAndDocumentsFolders)
{
    const std::string root = tessatest::MakeScratchDir("settings-folders");
    SetFolderRootForTesting(root);
    EXPECT_EQ(PersistantData::GetIniPath("Tessaroute"), root + "/data/tessaroute/Tessaroute.ini");
    EXPECT_EQ(PersistantData::GetSecondaryIniPath("Tessaroute"),
              root + "/Documents/Tessaroute/Tessaroute.ini");

    // The primary folder is made by the first save.
    std::filesystem::create_directories(root + "/Documents/Tessaroute");
    WriteAll(root + "/Documents/Tessaroute/Tessaroute.ini", "Sample:text=from+documents\n");
    CSample s;
    ASSERT_TRUE(PersistantData::LoadAll("Tessaroute"));
    EXPECT_EQ(s.text, "from documents");
    s.SetModified();
    ASSERT_TRUE(PersistantData::SaveAll()) << PersistantData::LastError();
    EXPECT_NE(ReadAll(root + "/data/tessaroute/Tessaroute.ini").find("Sample:text=from+documents"),
              std::string::npos);
    SetFolderRootForTesting("");
    std::filesystem::remove_all(root);
}
