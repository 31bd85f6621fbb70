// Addresses built from outside text: hosts, encoded paths, absolute URLs and
// the Content-Range start that decides whether a ranged reply is usable.
#include <gtest/gtest.h>

#include "foundation/web/WebURL.h"

TEST(WebURL, HostsAreNamesOrConfiguredIPv6Only)
{
    EXPECT_TRUE(IsValidWebHost("charts.tessaroute.example"));
    EXPECT_TRUE(IsValidWebHost("127.0.0.1"));
    EXPECT_TRUE(IsValidWebHost("a-b.c9"));
    for (const char* bad : {"", "-rf", ".hidden", "a..b", "host:80", "host/path", "user@host", "a b", "a\rb",
                            "a\nHost: x", "h\xc3\xa9st", "[::1]", "host?", "host#"})
        EXPECT_FALSE(IsValidWebHost(bad)) << bad;
    EXPECT_TRUE(IsValidWebHost("[::1]", true));
    EXPECT_TRUE(IsValidWebHost("[fe80::1:2]", true));
    EXPECT_FALSE(IsValidWebHost("[::1", true));
    EXPECT_FALSE(IsValidWebHost("[::g]", true));
    EXPECT_FALSE(IsValidWebHost("[1.2.3.4]", true));
    EXPECT_FALSE(IsValidWebHost(std::string(254, 'a')));
}

TEST(WebURL, PlaceholderHostsAreTheReservedExampleNames)
{
    EXPECT_TRUE(IsPlaceholderHost("charts.tessaroute.example"));
    EXPECT_TRUE(IsPlaceholderHost("EXAMPLE"));
    EXPECT_TRUE(IsPlaceholderHost("x.Example."));
    EXPECT_FALSE(IsPlaceholderHost("example.com"));
    EXPECT_FALSE(IsPlaceholderHost("myexample"));
    EXPECT_FALSE(IsPlaceholderHost("127.0.0.1"));
}

TEST(WebURL, RelativePathsAreEncodedAndNeverLeaveTheHost)
{
    EXPECT_EQ(*EncodeRelativeURL("/mapchunks/a.rl3"), "/mapchunks/a.rl3");
    EXPECT_EQ(*EncodeRelativeURL("cgi-bin/x.cgi"), "/cgi-bin/x.cgi");
    EXPECT_EQ(*EncodeRelativeURL("/a b/%/?#\r\n\xff"), "/a%20b/%25/%3F%23%0D%0A%FF");
    EXPECT_EQ(*EncodeRelativeURL("/a:b"), "/a%3Ab"); // a colon after a slash is only a byte
    EXPECT_FALSE(EncodeRelativeURL("//evil.example/x"));
    EXPECT_FALSE(EncodeRelativeURL("file:///etc/passwd"));
    EXPECT_FALSE(EncodeRelativeURL("http://other/x"));
    EXPECT_FALSE(EncodeRelativeURL("javascript:x"));
}

TEST(WebURL, AbsoluteAddressesOnlyHttpAndHttps)
{
    auto a = ParseWebAddress("https://Host-1.example:8443/mapchunks/x.rl3");
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->secure);
    EXPECT_EQ(a->host, "Host-1.example");
    EXPECT_EQ(a->port, 8443);
    EXPECT_EQ(a->path, "/mapchunks/x.rl3");
    EXPECT_EQ(a->Base(), "https://Host-1.example:8443");
    auto b = ParseWebAddress("HTTP://127.0.0.1");
    ASSERT_TRUE(b);
    EXPECT_FALSE(b->secure);
    EXPECT_EQ(b->port, 0);
    EXPECT_EQ(b->path, "/");
    for (const char* bad : {"ftp://h/x", "file:///etc/passwd", "http://", "http://u:p@h/x", "http://h:0/x",
                            "http://h:65536/x", "http://h:80x/", "http://h:/x", "http://h?q", "http://h/a b",
                            "http://h/a\r\nX: y", "http://[::1]/x", "//h/x", "h/x"})
        EXPECT_FALSE(ParseWebAddress(bad)) << bad;
    EXPECT_TRUE(ParseWebAddress("http://[::1]:80/x", true));
}

TEST(WebURL, ContentRangeStart)
{
    EXPECT_EQ(ParseContentRangeStart(" bytes 2147483608-2147483647/2147483648\r\n"), 2147483608);
    EXPECT_EQ(ParseContentRangeStart("bytes 0-0/1"), 0);
    EXPECT_EQ(ParseContentRangeStart("Bytes 7-9/*"), 7);
    EXPECT_EQ(ParseContentRangeStart("bytes */100"), -1);
    EXPECT_EQ(ParseContentRangeStart("bytes -5-9/10"), -1);
    EXPECT_EQ(ParseContentRangeStart("bytes 99999999999999999999-1/2"), -1);
    EXPECT_EQ(ParseContentRangeStart("items 1-2/3"), -1);
    EXPECT_EQ(ParseContentRangeStart("bytes 12"), -1);
}

TEST(WebURL, ParentComponentsInLocalPaths)
{
    EXPECT_TRUE(HasParentComponent("../x"));
    EXPECT_TRUE(HasParentComponent("/maps/../../etc/x"));
    EXPECT_TRUE(HasParentComponent("/maps/.."));
    EXPECT_FALSE(HasParentComponent("/maps/..x/y"));
    EXPECT_FALSE(HasParentComponent("/maps/a..b"));
    EXPECT_FALSE(HasParentComponent("/maps/./x"));
}
