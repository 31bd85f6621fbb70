// The place-name index: which files open (and that none is ever deleted),
// and what a search finds.
#include "mapview/places/GeoNameDatabase.h"
#include "support/PlaceIndexWriter.h"
#include "support/TestPaths.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using tessatest::PlaceEntry;
using tessatest::PlaceIndex;

namespace {

std::string WriteFile(const std::string& dir, const std::string& name, const std::string& bytes)
{
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string WithI32(std::string bytes, size_t at, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = char(uint32_t(value) >> (8 * i) & 0xff);
    return bytes;
}

const std::vector<PlaceEntry> kPlaces = {
    {"LONDON", 51.5, -0.12, 1}, {"London", 42.98, -81.25, 2}, {"Q1 Tower", -28.0, 153.43, 1},
    {"Port@Sea", 10, 10, 3},    {"\xE9tang", 43.4, 3.6, 1},   {"Brighton", 50.8, -0.14, 2},
};

} // namespace

TEST(PlaceDatabase, OpensOnlyValidFilesAndNeverDeletes)
{
    const std::string dir = tessatest::MakeScratchDir("places_open");
    const std::string good = PlaceIndex(kPlaces);
    const size_t firstRecord = 16 + 8;
    std::string noNul = good;
    noNul[firstRecord + 24 + 6] = 'X'; // "LONDON" loses its NUL; the next record follows
    std::string tail = good;
    tail.resize(tail.size() - 3);
    struct Case
    {
        const char* name;
        std::string bytes;
        bool opens;
    } cases[] = {
        {"version 0", PlaceIndex(kPlaces, 0), true},
        {"version 1", good, true},
        {"no leading blocks", PlaceIndex(kPlaces, 1, 0), true},
        {"header and blocks only, 44 bytes", PlaceIndex({}, 1, 3) + std::string(4, '\0'), false},
        {"44 bytes, one record", PlaceIndex({{"abc", 1, 1}}, 1, 0), true},
        {"version 2", PlaceIndex(kPlaces, 2), false},
        {"other magic", WithI32(good, 0, 0x12345678), false},
        {"43 bytes", good.substr(0, 43), false},
        {"empty", "", false},
        {"negative block count", WithI32(good, 8, -1), false},
        {"huge block count", WithI32(good, 8, 0x7fffffff), false},
        {"block length 0", WithI32(good, 16, 0), false},
        {"block length negative", WithI32(good, 16, -8), false},
        {"block length past the end", WithI32(good, 16, 1 << 30), false},
        {"record length 0", WithI32(good, firstRecord, 0), false},
        {"record length INT_MIN", WithI32(good, firstRecord, std::numeric_limits<int32_t>::min()), false},
        {"record length 24", WithI32(good, firstRecord, 24), false},
        {"record length past the end", WithI32(good, firstRecord, int32_t(good.size())), false},
        {"name without NUL", noNul, false},
        {"truncated record", tail, false},
    };
    for (const Case& c : cases) {
        const std::string path = WriteFile(dir, "index.tsx", c.bytes);
        CGeoNameDatabase db;
        EXPECT_EQ(db.Open(path), c.opens) << c.name;
        EXPECT_EQ(db.IsOpen(), c.opens) << c.name;
        EXPECT_TRUE(fs::exists(path)) << c.name << ": the file must stay on disk";
        const uint8_t* cursor = nullptr;
        EXPECT_EQ(db.Search(cursor, -1, ""), c.opens) << c.name;
    }
    // Folders, missing files and FIFOs are refused without blocking.
    CGeoNameDatabase db;
    EXPECT_FALSE(db.Open(dir));
    EXPECT_FALSE(db.Open(dir + "/missing.tsx"));
    const std::string fifo = dir + "/pipe.tsx";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(db.Open(fifo));
    EXPECT_TRUE(fs::exists(fifo));
    // A failed open closes what was open before.
    ASSERT_TRUE(db.Open(WriteFile(dir, "good.tsx", good)));
    EXPECT_FALSE(db.Open(dir + "/missing.tsx"));
    EXPECT_FALSE(db.IsOpen());
    fs::remove_all(dir);
}

TEST(PlaceDatabase, SearchFoldsLettersOnlyAndWalksEachRecordOnce)
{
    const std::string dir = tessatest::MakeScratchDir("places_search");
    std::vector<PlaceEntry> places = kPlaces;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    places.push_back({"QUAY", 1, 1, 4}); // 'Q' less 32 is '1'
    places.push_back({"LONG NAN", nan, 0, 1});
    places.push_back({"LONG INF", 0, INFINITY, 1});
    places.push_back({"LONG FAR", 95, 0, 1});
    CGeoNameDatabase db;
    ASSERT_TRUE(db.Open(WriteFile(dir, "index.tsx", PlaceIndex(places))));
    struct Case
    {
        const char* text;
        int32_t kind;
        std::vector<std::string> names;
    } cases[] = {
        {"LON", -1, {"LONDON", "London"}},
        {"lon", -1, {}}, // lower-case text is not folded
        {"LON", 2, {"London"}},
        {"1", -1, {"Q1 Tower"}}, // digits never match letters ('Q' - 32 is '1')
        {"P", -1, {"Port@Sea"}}, // '0'..'@' are not folded either
        {" ", -1, {"Q1 Tower"}},
        {"@", -1, {"Port@Sea"}},
        {"\xC9TANG", -1, {"\xE9tang"}},
        {"TON", -1, {"Brighton"}},
        {"", -1, {"LONDON", "London", "Q1 Tower", "Port@Sea", "\xE9tang", "Brighton", "QUAY"}},
        {"BRIGHTONS", -1, {}},
        {"ON", 7, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> found;
        const uint8_t* cursor = nullptr;
        size_t steps = 0;
        while (db.Search(cursor, c.kind, c.text) && ++steps <= places.size()) {
            CGeoNameRecord record;
            ASSERT_TRUE(db.GetRecord(cursor, record));
            EXPECT_TRUE(CGeoNameDatabase::IsPlaceable(record.latitude, record.longitude));
            found.push_back(record.name);
        }
        EXPECT_EQ(cursor, nullptr) << c.text;
        EXPECT_EQ(found, c.names) << "text \"" << c.text << "\" kind " << c.kind;
    }
    // A pointer that is not in the records starts nothing.
    const uint8_t outside = 0;
    const uint8_t* cursor = &outside;
    EXPECT_FALSE(db.Search(cursor, -1, ""));
    EXPECT_EQ(cursor, nullptr);
    db.Close();
    cursor = nullptr;
    EXPECT_FALSE(db.Search(cursor, -1, ""));
    fs::remove_all(dir);
}
