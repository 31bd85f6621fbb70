// The forgiving XML reader and the GPX writing helpers, including hostile
// and malformed input from other programs.
#include "foundation/util/Xml.h"

#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string Text(CXmlNode* node)
{
    std::string out;
    CXmlNode::AppendText(node, out);
    return out;
}

// Reads a document and describes it by the names found with the searches the
// GPX reader uses.
TEST(XmlReaderTest, ReadsFilesOtherProgramsWrite)
{
    struct Case
    {
        const char* xml;
        const char* root;     // expected name of the element returned
        const char* path;     // child/grandchild looked up with FindChild
        const char* text;     // its text
        size_t root_children; // element and text children of the root
    };
    const Case cases[] = {
        // Empty element, both quote styles.
        {"<a x='1' y=\"two words\"/>", "a", "", "", 0},
        // Prefixed element closed by its prefixed end tag.
        {"<gpx><g:trk><name>T</name></g:trk><wpt/></gpx>", "gpx", "trk/name", "T", 2},
        // A comment inside gpx hides nothing; a quote in it means nothing.
        {"<gpx><!-- it's --><wpt><name>A</name></wpt><wpt/></gpx>", "gpx", "wpt/name", "A", 2},
        // Declaration, DOCTYPE with a subset, BOM and comments before the root.
        {"\xEF\xBB\xBF<?xml version='1.0'?><!DOCTYPE gpx [<!ENTITY x '>'>]><!-- c --><gpx><wpt/></gpx>",
         "gpx", "wpt", "", 1},
        // A processing instruction in the middle adopts nothing.
        {"<gpx><?pi x?><wpt/><rte/></gpx>", "gpx", "rte", "", 2},
        // Unclosed elements end at the parent's end tag.
        {"<gpx><trk><trkseg><trkpt></trkseg><name>N</name></trk><wpt/></gpx>", "gpx", "trk/name", "N", 2},
        // A stray end tag closes nothing.
        {"<gpx><wpt></nothing><name>S</name></wpt></gpx>", "gpx", "wpt/name", "S", 1},
        // Entities decoded in text, CDATA left as it stands.
        {"<a><b>Fish &amp; Chips &lt;&#65;&#x42;&apos;&quot;&gt; &#233;</b></a>", "a", "b",
         "Fish & Chips <AB'\"> \xC3\xA9", 1},
        {"<a><b><![CDATA[x &amp; <y>]]></b></a>", "a", "b", "x &amp; <y>", 1},
        // Unknown and invalid references stay.
        {"<a><b>&nbsp; &#0; &#xD800; &</b></a>", "a", "b", "&nbsp; &#0; &#xD800; &", 1},
        // Lookups ignore case.
        {"<GPX><WPT><Name>Up</Name></WPT></GPX>", "GPX", "wpt/NAME", "Up", 1},
        // Text around children, leading blanks trimmed.
        {"<a>  one<b/>two</a>", "a", "", "onetwo", 3},
        // Truncated file.
        {"<gpx><wpt lat=\"1\"><name>cut", "gpx", "wpt/name", "cut", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        std::unique_ptr<CXmlNode> root = CXmlNode::LoadText(c.xml);
        ASSERT_TRUE(root);
        EXPECT_EQ(root->name, c.root);
        EXPECT_EQ(root->ChildCount(), c.root_children);
        std::string path = c.path;
        CXmlNode* node = root.get();
        while (!path.empty()) {
            size_t slash = path.find('/');
            node = CXmlNode::FindChild(node, path.substr(0, slash));
            ASSERT_TRUE(node) << path;
            path = slash == std::string::npos ? "" : path.substr(slash + 1);
        }
        EXPECT_EQ(Text(node), c.text);
    }
}

TEST(XmlReaderTest, AttributesAndNumbers)
{
    std::unique_ptr<CXmlNode> root = CXmlNode::LoadText(
        "<wpt lat='12.5' LON=\"-7\" href=\"a?b=1&amp;c=&quot;2&quot;\" bad=\"nan\" n='42x' big='99999999999'"
        " tiny='-1e-400' huge='1e400'>"
        "<ele>11.9</ele><count>70000</count><neg>-1</neg></wpt>");
    ASSERT_TRUE(root);
    EXPECT_DOUBLE_EQ(CXmlNode::GetAttributeDouble(root.get(), "lat", 0), 12.5);
    EXPECT_DOUBLE_EQ(CXmlNode::GetAttributeDouble(root.get(), "lon", 0), -7);
    EXPECT_DOUBLE_EQ(CXmlNode::GetAttributeDouble(root.get(), "missing", 3.5), 3.5);
    EXPECT_DOUBLE_EQ(CXmlNode::GetAttributeDouble(root.get(), "bad", 3.5), 0.0);
    // Out of range: a tiny number is 0, not infinity; a huge one is refused by its caller.
    EXPECT_EQ(CXmlNode::GetAttributeDouble(root.get(), "tiny", 3.5), 0.0);
    EXPECT_EQ(CXmlNode::GetAttributeDouble(root.get(), "huge", 3.5), HUGE_VAL);
    EXPECT_STREQ(CXmlNode::GetAttribute(root.get(), "HREF"), "a?b=1&c=\"2\"");
    EXPECT_EQ(CXmlNode::GetAttributeInt(root.get(), "n", 0), 42);
    EXPECT_EQ(CXmlNode::GetAttributeInt(root.get(), "big", 0), INT32_MAX);
    double ele = 0;
    float elef = 0;
    uint32_t count = 5;
    uint16_t shorty = 0;
    EXPECT_TRUE(CXmlNode::GetChildDouble(root.get(), "ele", ele));
    EXPECT_DOUBLE_EQ(ele, 11.9);
    EXPECT_TRUE(CXmlNode::GetChildFloat(root.get(), "ele", elef));
    EXPECT_FLOAT_EQ(elef, 11.9f);
    EXPECT_FALSE(CXmlNode::GetChildInt(root.get(), "none", count));
    EXPECT_EQ(count, 5u);
    EXPECT_TRUE(CXmlNode::GetChildInt(root.get(), "count", count));
    EXPECT_EQ(count, 70000u);
    EXPECT_TRUE(CXmlNode::GetChildShort(root.get(), "count", shorty));
    EXPECT_EQ(shorty, static_cast<uint16_t>(70000));

    // The decimal mark does not follow the user's locale.
    if (std::setlocale(LC_ALL, "de_DE.UTF-8")) {
        EXPECT_DOUBLE_EQ(CXmlNode::GetAttributeDouble(root.get(), "lat", 0), 12.5);
        std::setlocale(LC_ALL, "C");
    }
}

TEST(XmlReaderTest, DepthFirstSearchFindsEveryMatchInOrder)
{
    std::unique_ptr<CXmlNode> root =
        CXmlNode::LoadText("<gpx><trk><trkseg><trkpt n='1'/><trkpt n='2'/></trkseg>"
                           "<trkseg><trkpt n='3'/></trkseg></trk><trkpt n='4'/></gpx>");
    ASSERT_TRUE(root);
    for (int round = 0; round < 2; ++round) {
        CXmlNode::Rewind(root.get());
        std::string order;
        while (CXmlNode* pt = CXmlNode::FindNextElement(root.get(), "TRKPT"))
            order += CXmlNode::GetAttribute(pt, "n");
        EXPECT_EQ(order, "1234");
    }
    CXmlNode::Rewind(root.get());
    EXPECT_EQ(CXmlNode::FindNextElement(root.get(), "gpx"), root.get());
    EXPECT_EQ(CXmlNode::FindNextElement(root.get(), "gpx"), nullptr);

    CXmlNode* trk = CXmlNode::FindChild(root.get(), "trk");
    size_t cursor = 0;
    int segments = 0;
    while (CXmlNode::FindNextChild(trk, "trkseg", cursor))
        ++segments;
    EXPECT_EQ(segments, 2);
}

TEST(XmlReaderTest, HostileInputStaysBounded)
{
    // Deep nesting is read flat, and freeing it does not recurse.
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<a>";
    deep += "x";
    std::unique_ptr<CXmlNode> root = CXmlNode::LoadText(deep);
    ASSERT_TRUE(root);
    size_t depth = 0;
    for (CXmlNode* n = root.get(); n && !n->children.empty(); n = n->children.front().get())
        ++depth;
    EXPECT_EQ(depth, kMaxXmlDepth);
    CXmlNode::Rewind(root.get());
    int found = 0;
    while (CXmlNode::FindNextElement(root.get(), "a"))
        ++found;
    EXPECT_EQ(found, 20000);
    EXPECT_EQ(Text(root.get()), "x");
    root.reset();

    // A text over the limit is read as empty, and reading goes on.
    std::string huge = "<a><b>" + std::string(kMaxXmlText + 1, 'y') + "</b><c>after</c></a>";
    root = CXmlNode::LoadText(huge);
    ASSERT_TRUE(root);
    EXPECT_EQ(Text(CXmlNode::FindChild(root.get(), "b")), "");
    EXPECT_EQ(Text(CXmlNode::FindChild(root.get(), "c")), "after");

    for (const char* junk :
         {"", "no markup", "<", "<!--", "<![CDATA[", "</a>", "<?x", "<>", "<!DOCTYPE [", "< a"}) {
        SCOPED_TRACE(junk);
        root = CXmlNode::LoadText(junk);
        EXPECT_EQ(CXmlNode::FindChild(root.get(), "a"), nullptr);
    }
    EXPECT_EQ(CXmlNode::LoadFile("/nonexistent/file.gpx"), nullptr);
}

TEST(XmlWriterTest, ElementsEscapeWhatXmlCannotHold)
{
    struct Case
    {
        const char* text;
        const char* written;
    };
    const Case cases[] = {
        {"plain", "<n>plain</n>\n"},
        {"a<b", "<n><![CDATA[a<b]]></n>\n"},
        {"Fish & Chips", "<n><![CDATA[Fish & Chips]]></n>\n"},
        {"two\nlines", "<n><![CDATA[two\nlines]]></n>\n"},
        {"x]]>y<", "<n><![CDATA[x]]]]><![CDATA[>y<]]></n>\n"},
        {"bell\x07tab\there", "<n>belltab\there</n>\n"},
        {"bad \xFF utf8 \xC3\xA9", "<n>bad \xEF\xBF\xBD utf8 \xC3\xA9</n>\n"},
        {"overlong \xC0\xAF", "<n>overlong \xEF\xBF\xBD\xEF\xBF\xBD</n>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char* buffer = nullptr;
        size_t size = 0;
        FILE* f = open_memstream(&buffer, &size);
        ASSERT_TRUE(WriteXmlElement(f, "n", std::string(c.text)));
        EXPECT_TRUE(WriteXmlElement(f, "n", static_cast<const char*>(nullptr)));
        std::fclose(f);
        EXPECT_EQ(std::string(buffer, size), c.written);
        std::free(buffer);

        // What was written reads back as the cleaned text.
        std::unique_ptr<CXmlNode> back = CXmlNode::LoadText(c.written);
        EXPECT_EQ(Text(back.get()), XmlCleanText(c.text));
    }

    EXPECT_EQ(XmlEscapeAmpersands("a&b&&"), "a&amp;b&amp;&amp;");
    EXPECT_EQ(XmlUnescapeAmpersands("a&amp;b&amp;amp;&"), "a&b&amp;&");
    std::string attribute = XmlEscapeAttribute("http://x/?a=1&b=\"<2>\"");
    EXPECT_EQ(attribute, "http://x/?a=1&amp;b=&quot;&lt;2&gt;&quot;");
    std::unique_ptr<CXmlNode> link = CXmlNode::LoadText("<link href=\"" + attribute + "\"/>");
    EXPECT_STREQ(CXmlNode::GetAttribute(link.get(), "href"), "http://x/?a=1&b=\"<2>\"");
}

TEST(XmlTimeTest, ParsesAndFormatsUtc)
{
    struct Case
    {
        const char* text;
        double seconds;
    };
    const Case cases[] = {
        {"2020-01-02T03:04:05Z", 1577934245},
        {"2020-01-02T05:04:05+02:00", 1577934245},
        {"2020-01-02T01:34:05-01:30", 1577934245},
        {"2020-01-02T03:04:05.987Z", 1577934245},
        {"2016-05-27T09:55:27.000Z", 1464342927},
        {"1970-01-01T00:00:00Z", 0},
        {"1969-12-31T23:59:59Z", -1},
        {"2024-02-29T00:00:00Z", 1709164800},
        {"2020-01-02", 0},
        {"2023-02-29T00:00:00Z", 0},
        {"2020-13-02T03:04:05Z", 0},
        {"2020-01-02T24:00:00Z", 0},
        {"99999-01-02T03:04:05Z", 0},
        {"2020-01-02T03:04:99999999999999999999Z", 0},
        {"2020-01-02T03:04:05+99:00", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseXmlTime(c.text), c.seconds);
    }

    EXPECT_EQ(FormatXmlTime(1577934245.9), "2020-01-02T03:04:05Z");
    EXPECT_EQ(FormatXmlTime(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(FormatXmlTime(1709164800), "2024-02-29T00:00:00Z");
    EXPECT_EQ(FormatXmlTime(1e300), "");
    EXPECT_EQ(FormatXmlTime(std::numeric_limits<double>::quiet_NaN()), "");
    for (double t : {0.0, 951782400.0, 4102444799.0, -62135596800.0, 253402300799.0})
        EXPECT_EQ(ParseXmlTime(FormatXmlTime(t)), t) << t;
}

} // namespace
