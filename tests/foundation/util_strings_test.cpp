// Formatting, comparison and name helpers, including their handling of
// hostile or unusual text.
#include "foundation/util/FormatString.h"
#include "foundation/util/StringUtil.h"
#include "foundation/util/TimeText.h"

#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <vector>

namespace {

TEST(FormatStringTest, CutsAt999BytesWithoutSplittingCharacters)
{
    std::string long_text(1500, 'x');
    std::string out = "old";
    FormatString(out, "%s", long_text.c_str());
    EXPECT_EQ(out, std::string(999, 'x'));

    // 998 ASCII bytes and then a two-byte character: the character goes whole.
    std::string text = std::string(998, 'a') + "\xC3\xA9" + "tail";
    FormatString(out, "%s", text.c_str());
    EXPECT_EQ(out, std::string(998, 'a'));

    AppendFormat(out, "%d-%s", 42, "z");
    EXPECT_EQ(out.substr(998), "42-z");

    // Paths are never cut.
    std::string path;
    FormatLongString(path, "/%s/%s", long_text.c_str(), "file.bin");
    EXPECT_EQ(path.size(), 1 + 1500 + 1 + 8);
    AppendLongFormat(path, "%s", long_text.c_str());
    EXPECT_EQ(path.size(), 3010u);

    // Formatting a string into itself.
    std::string self = "abc";
    AppendFormat(self, "%s", self.c_str());
    EXPECT_EQ(self, "abcabc");
    FormatString(self, "<%s>", self.c_str());
    EXPECT_EQ(self, "<abcabc>");
}

TEST(FormatStringTest, WritesPointDecimalsUnderAGermanLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 locale not generated on this machine";
    std::string out;
    FormatString(out, "%.2f", 1.5);
    AppendFormat(out, " %g", 0.25);
    std::string size = FormatByteSize(1536);
    std::string data = FormatDataSize(3.5 * 1024 * 1024);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(out, "1.50 0.25");
    EXPECT_EQ(size, "1.5KB");
    EXPECT_EQ(data, "3.5MB");
}

TEST(StringCompareTest, NoCaseAndNatural)
{
    EXPECT_EQ(CompareNoCase("abc", "ABC"), 0);
    EXPECT_EQ(CompareNoCase("abc", "abd"), -1);
    EXPECT_EQ(CompareNoCase("abcd", "ABC"), 1);
    EXPECT_EQ(CompareNoCase("", ""), 0);

    EXPECT_EQ(CompareNatural("chart2", "chart10"), -1);
    EXPECT_EQ(CompareNatural("Chart10", "chart2"), 1);
    EXPECT_EQ(CompareNatural("a007", "A7"), 0);
    EXPECT_EQ(CompareNatural("x99999999999999999999999", "x100000000000000000000000"), -1);
    EXPECT_EQ(CompareNatural("a", "a1"), -1);

    std::vector<std::string> names = {"Region 10", "region 9", "Region 1", "Region 100", "Atlas"};
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CompareNatural(a, b) < 0; });
    EXPECT_EQ(names, (std::vector<std::string>{"Atlas", "Region 1", "region 9", "Region 10", "Region 100"}));
}

TEST(StringListTest, CommaListComparesWholeItems)
{
    std::string list;
    AppendToCommaList(list, "GPS2");
    AppendToCommaList(list, "GPS");
    AppendToCommaList(list, "GPS2");
    AppendToCommaList(list, "AIS");
    AppendToCommaList(list, "GPS");
    EXPECT_EQ(list, "GPS2, GPS, AIS");
}

TEST(StringNameTest, SafeFileNames)
{
    EXPECT_EQ(MakeSafeFileName(std::string(40, 'k')), std::string(25, 'k'));
    EXPECT_EQ(MakeSafeFileName("My route: \xC3\xA9t\xC3\xA9/2024"), "Myroutet2024");
    EXPECT_EQ(MakeSafeFileName("a+b-c_d.e"), "a+b-c_d.e");
    // Never empty, never a way up or a hidden file.
    EXPECT_EQ(MakeSafeFileName(""), "unnamed");
    EXPECT_EQ(MakeSafeFileName("///"), "unnamed");
    EXPECT_EQ(MakeSafeFileName(".."), "unnamed");
    EXPECT_EQ(MakeSafeFileName("../../etc"), "etc");
    EXPECT_EQ(MakeSafeFileName(".hidden"), "hidden");
}

TEST(StringTextTest, Latin1AndUTF8)
{
    EXPECT_EQ(Latin1ToUTF8("Z\xFCrich"), "Z\xC3\xBCrich");
    EXPECT_TRUE(IsValidUTF8("Z\xC3\xBCrich"));
    EXPECT_FALSE(IsValidUTF8("Z\xFCrich"));
    EXPECT_FALSE(IsValidUTF8("\xC0\xAF"));     // overlong '/'
    EXPECT_FALSE(IsValidUTF8("\xED\xA0\x80")); // surrogate
    EXPECT_FALSE(IsValidUTF8("\xE2\x82"));     // cut short
    EXPECT_EQ(MakeNSString(std::string("Z\xC3\xBCrich")), QString::fromUtf8("Z\xC3\xBCrich"));
    EXPECT_EQ(MakeNSString(std::string("Z\xFCrich")), QString::fromUtf8("Z\xC3\xBCrich"));
    EXPECT_TRUE(MakeNSString(static_cast<const char*>(nullptr)).isEmpty());

    std::string upper = "abc-\xC3\xA9";
    MakeUpper(upper);
    EXPECT_EQ(upper, "ABC-\xC3\xA9");
    StringToLower(upper);
    EXPECT_EQ(upper, "abc-\xC3\xA9");
}

TEST(StringTextTest, SplitURL)
{
    std::string scheme, host, rest;
    EXPECT_TRUE(SplitURL("HTTPS://charts.example.org/path/file?x=1", scheme, host, rest));
    EXPECT_EQ(scheme, "https");
    EXPECT_EQ(host, "charts.example.org");
    EXPECT_EQ(rest, "/path/file?x=1");
    EXPECT_TRUE(SplitURL("tessro://open", scheme, host, rest));
    EXPECT_EQ(host, "open");
    EXPECT_EQ(rest, "");
    EXPECT_FALSE(SplitURL("no scheme here", scheme, host, rest));
    EXPECT_TRUE(scheme.empty() && host.empty() && rest.empty());
}

TEST(StringSizeTest, ByteAndDataSizes)
{
    EXPECT_EQ(FormatByteSize(1023), "1023 Bytes");
    EXPECT_EQ(FormatByteSize(1536), "1.5KB");
    EXPECT_EQ(FormatByteSize(5LL * 1024 * 1024 * 1024), "5.0GB");
    EXPECT_EQ(FormatByteSize(-1), "");
    EXPECT_EQ(FormatDataSize(1024), "1024Bytes");
    EXPECT_EQ(FormatDataSize(1536), "1.5kB");
    EXPECT_EQ(FormatDataSize(2.5 * 1024 * 1024 * 1024), "2.50GB");
}

TEST(StringDateTest, ParseDateNumber)
{
    EXPECT_EQ(ParseDateNumber("5/17/2024"), 20240517);
    EXPECT_EQ(ParseDateNumber("2024-05-17"), 20240517);
    EXPECT_EQ(ParseDateNumber(""), 0);
    EXPECT_EQ(ParseDateNumber("99999999999999999999999999/1/1"), 999999999999999999LL);
}

} // namespace
