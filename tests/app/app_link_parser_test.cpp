// Links and hand-over messages are untrusted: the parser, the open planner,
// the first-bytes type test and the frame decoder, each over a table of the
// forms that real and hostile input takes.
#include "app/shell/InstanceFrames.h"
#include "app/shell/LinkCommand.h"

#include <gtest/gtest.h>

TEST(LinkParser, CommandsPairsAndPositions)
{
    struct Case
    {
        const char* link;
        bool ours;
        const char* verb;
        const char* argument;
    };
    for (const Case& c : std::vector<Case>{
             {"tessro://view?lat=50.5&lon=-1.25&scale=50000", true, "view", "lat=50.5&lon=-1.25&scale=50000"},
             {"tessro:///Mark.cmd?lat=1", true, "mark", "lat=1"},
             {"tessro:open?/tmp/a.gpx#frag", true, "open", "/tmp/a.gpx"},
             {"tessro://host/FETCH?x", true, "fetch", "x"},
             {"TESSRO://view?lat=1", false, "", ""},
             {"http://view?lat=1", false, "", ""},
             {"tessro://view?lat=1\n", false, "", ""},
         }) {
        CLinkCommand command;
        EXPECT_EQ(ParseLinkCommand(c.link, command), c.ours) << c.link;
        EXPECT_EQ(command.verb, c.verb) << c.link;
        EXPECT_EQ(command.argument, c.argument) << c.link;
    }

    // Encoded '&' stays inside its value; bad pairs are dropped, not cut.
    const auto pairs = ParseLinkPairs(" name = Buoy+7%26B &=x&empty=&bad=a%01b&utf=%C3%28&ok=%C3%A9&lat");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].key, "name");
    EXPECT_EQ(pairs[0].value, "Buoy 7&B");
    EXPECT_EQ(pairs[1].value, "\xC3\xA9");

    struct Position
    {
        const char* query;
        bool ok;
        double scale;
    };
    for (const Position& p : std::vector<Position>{
             {"lat=50.5&lon=-1.25&scale=50000", true, 50000},
             {"lat=50.5&lon=-1.25&scale=-3", true, 0},
             {"lat=50.5&lon=-1.25&scale=inf", true, 0},
             {"lat=nan&lon=1", false, 0},
             {"lat=inf&lon=1", false, 0},
             {"lat=50x&lon=1", false, 0},
             {"lon=1", false, 0},
             {"lat=999&lon=1", false, 0},
             {"lat=1&lon=180.5", false, 0},
         }) {
        double lat = 0, lon = 0, scale = 7;
        EXPECT_EQ(LinkPosition(ParseLinkPairs(p.query), lat, lon, scale), p.ok) << p.query;
        if (p.ok) {
            EXPECT_EQ(scale, p.scale) << p.query;
        }
    }

    // Arguments that are links rather than file names.
    EXPECT_TRUE(HasURLScheme("tessro://view") && HasURLScheme("x-y+z.1:a"));
    EXPECT_FALSE(HasURLScheme("notes.gpx") || HasURLScheme("c:file") || HasURLScheme("/a:b") ||
                 HasURLScheme("1ab:c"));

    EXPECT_EQ(LinkMarkName({}), "Mark");
    EXPECT_EQ(LinkMarkName({{"name", std::string("Bu\x01oy\x1B\xFF\xFE")}}), "Buoy");
    // 254 bytes, then a two-byte character that would end past 255.
    const std::string name = LinkMarkName({{"name", std::string(254, 'a') + "\xC3\xA9"}});
    EXPECT_EQ(name, std::string(254, 'a'));
}

TEST(LinkParser, OpenPlansStayInsideTheirFolders)
{
    const std::string mvt = "/data/MVT", dl = "/data/downloads";
    struct Case
    {
        std::string argument;
        bool ok;
        std::string local;
    };
    for (const Case& c : std::vector<Case>{
             {"https://charts.test/maps/MVT/UK/chart.rl3", true, mvt + "/UK/chart.rlt"},
             {"http://charts.test:8080/files/track.GPX", true, dl + "/track.GPX"},
             {"http://charts.test/x/curl3", true, dl + "/curl3"},
             {"/home/me/My%20Chart.rld", true, "/home/me/My Chart.rlt"},
             {"https://charts.test/MVT/../../x", false, ""},
             {"https://charts.test/MVT/%2e%2e/%2E%2E/x", false, ""},
             {"https://charts.test/MVT/a%2Fb", false, ""},
             {"https://charts.test/MVT/a\\b", false, ""},
             {"https://charts.test/MVT/a%5cb", false, ""},
             {"https://charts.test/x%00.gpx", false, ""},
             {"https://charts.test/x/..", false, ""},
             {"https://charts.test/dir/", false, ""},
             {"ftp://charts.test/x.gpx", false, ""},
             {"https://user@charts.test/x.gpx", false, ""},
             {"relative/x.gpx", false, ""},
             {"/tmp/a%zz", false, ""},
         }) {
        COpenPlan plan;
        EXPECT_EQ(PlanOpen(c.argument, mvt, dl, plan), c.ok) << c.argument;
        if (c.ok) {
            EXPECT_EQ(plan.local, c.local) << c.argument;
        }
    }
    COpenPlan plan;
    ASSERT_TRUE(PlanOpen("https://charts.test:8443/maps/MVT/UK/chart.rl3", mvt, dl, plan));
    EXPECT_TRUE(plan.remote && plan.secure);
    EXPECT_EQ(plan.port, 8443);
    EXPECT_EQ(plan.remotePath, "/maps/MVT/UK/chart.rlt");
    // Without a chart list the map-store folder is not used.
    ASSERT_TRUE(PlanOpen("https://charts.test/maps/MVT/UK/chart.rl3", "", dl, plan));
    EXPECT_EQ(plan.local, dl + "/chart.rlt");
}

TEST(LinkParser, FileTypesFromNamesAndFirstBytes)
{
    EXPECT_EQ(LowerExtension("/a.b/Chart.RL3"), "rl3");
    EXPECT_EQ(LowerExtension("/a.b/curl3"), "");
    EXPECT_EQ(TypeFromExtension("TSPKG"), CDocumentType::Package);
    EXPECT_EQ(TypeFromExtension("rl3"), CDocumentType::None);
    struct Case
    {
        std::string bytes;
        CDocumentType type;
    };
    const std::string layout("\x49\xF2\xAC\x73\xBE\x20\x00\x00\x00\x3B\x82\x85\x9D", 13);
    std::string otherTag = layout;
    otherTag[9] = 0x3C;
    for (const Case& c : std::vector<Case>{
             {"", CDocumentType::None},
             {"<gp", CDocumentType::None},
             {"<gpx", CDocumentType::Gpx},
             {std::string("\xFF\xD5\x23\x14", 4), CDocumentType::Chart},
             {std::string("\xFE\xD5\x23\x14", 4), CDocumentType::Chart},
             {std::string("\xFD\xD5\x23\x14", 4), CDocumentType::None},
             {std::string("\x13\x86\x9E\x31", 4), CDocumentType::Package},
             {layout, CDocumentType::Layout},
             {layout.substr(0, 12), CDocumentType::None},
             {otherTag, CDocumentType::None},
         })
        EXPECT_EQ(SniffType(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()), c.type)
            << c.bytes.size();
}

TEST(InstanceFrames, WholeMessagesOnlyAndBoundsRefused)
{
    const std::vector<std::string> arguments = {"tessro://mark?lat=1&lon=2", "", "/home/me/a b.gpx"};
    const std::string message = CInstanceFrameDecoder::Encode(arguments);
    // Byte by byte, as a slow sender delivers it.
    CInstanceFrameDecoder slow;
    for (size_t i = 0; i + 1 < message.size(); ++i)
        ASSERT_EQ(slow.Feed(&message[i], 1), CInstanceFrameDecoder::State::More) << i;
    ASSERT_EQ(slow.Feed(&message.back(), 1), CInstanceFrameDecoder::State::Done);
    EXPECT_EQ(slow.Arguments(), arguments);
    EXPECT_EQ(CInstanceFrameDecoder::Encode(std::vector<std::string>(17, "x")), "");

    auto word = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    for (const std::string& bad : {
             word(17),                                    // too many arguments
             word(1) + word(64 * 1024 + 1),               // an oversized frame
             word(1) + word(2) + std::string("\xC3(", 2), // invalid UTF-8
             word(1) + word(2) + std::string("a\0", 2),   // NUL
             message + "x",                               // bytes after the end
         }) {
        CInstanceFrameDecoder decoder;
        EXPECT_EQ(decoder.Feed(bad.data(), bad.size()), CInstanceFrameDecoder::State::Bad);
        EXPECT_TRUE(decoder.Arguments().empty());
    }
}
