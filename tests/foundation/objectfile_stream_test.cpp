// Chunked binary object files: the exact bytes of the format, versions that
// meet each other, damaged and truncated files, and saves that keep the old
// file when they cannot finish.
#include "foundation/drawing/GraphicsColor.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/objectfile/UnreadableFile.h"

#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

std::string U32(uint32_t v)
{
    return Bytes({int(v & 0xFF), int(v >> 8 & 0xFF), int(v >> 16 & 0xFF), int(v >> 24)});
}

std::string Chunk(const std::string& body)
{
    return Bytes({0xBE}) + U32(uint32_t(body.size() + 5)) + body;
}

std::string Record(uint32_t type, const std::string& body)
{
    return U32(type) + U32(uint32_t(body.size())) + body;
}

const std::string kMagic = Bytes({0x49, 0xF2, 0xAC, 0x73});

struct CLeaf : CSerializable
{
    static constexpr uint32_t kType = 0x101;
    uint16_t value = 0;
    bool failRead = false;
    bool Serialize(CSerialStream& s) override
    {
        CSerialChunk c(s);
        c.Exchange(value);
        if (s.IsReading() && value == 0xDEAD)
            return false; // a known type that cannot read its record
        return c.Close();
    }
    uint32_t GetTypeId() const override { return kType; }
};
CSerializableType<CLeaf> gLeafType(CLeaf::kType);

struct CRoot : CSerializable
{
    uint32_t number = 0;
    bool flag = false;
    std::string title;
    std::vector<std::unique_ptr<CSerializable>> items;
    bool Serialize(CSerialStream& s) override
    {
        CSerialChunk c(s);
        c.Exchange(number);
        c.ExchangeBool(flag);
        c.ExchangeString(title);
        c.ExchangeObjectList(items);
        return c.Close();
    }
};

std::unique_ptr<CLeaf> Leaf(uint16_t v)
{
    auto l = std::make_unique<CLeaf>();
    l->value = v;
    return l;
}

// The same record written by an older and a newer version of one class.
struct COld : CSerializable
{
    int32_t a = 1, b = 2;
    bool Serialize(CSerialStream& s) override
    {
        {
            CSerialChunk c(s);
            c.Exchange(a);
            c.Exchange(b);
        }
        CSerialChunk tail(s);
        tail.Exchange(a);
        return s.IsGood();
    }
};
struct CNew : CSerializable
{
    int32_t a = 10, b = 20, c = 30;
    bool Serialize(CSerialStream& s) override
    {
        {
            CSerialChunk k(s);
            k.Exchange(a);
            k.Exchange(b);
            k.Exchange(c);
        }
        CSerialChunk tail(s);
        tail.Exchange(a);
        return s.IsGood();
    }
};

std::string GoldenTree()
{
    // Written by hand from the format: magic, version chunk, the root's chunk
    // with its fields and a list of two leaf records.
    const std::string leaf1 = Record(0x101, Chunk(Bytes({0x0B, 0x0A})));
    const std::string leaf2 = Record(0x101, Chunk(Bytes({0x0D, 0x0C})));
    return kMagic + Chunk(U32(7)) +
           Chunk(U32(0x01020304) + Bytes({1}) + U32(2) + "Hi" + U32(2) + leaf1 + leaf2);
}

} // namespace

TEST(ObjectFile, WritesTheGoldenBytesAndReadsThemBack)
{
    CRoot root;
    root.number = 0x01020304;
    root.flag = true;
    root.title = "Hi";
    root.items.push_back(Leaf(0x0A0B));
    root.items.push_back(Leaf(0x0C0D));
    std::string out;
    ASSERT_TRUE(root.SaveToBuffer(out, "", nullptr, 7));
    const std::string golden = GoldenTree();
    ASSERT_EQ(golden.size(), 63u);
    EXPECT_EQ(out, golden);

    CRoot back;
    std::string error;
    ASSERT_TRUE(back.LoadFromBuffer(golden.data(), golden.size(), "", nullptr, 7, &error)) << error;
    EXPECT_EQ(back.number, 0x01020304u);
    EXPECT_TRUE(back.flag);
    EXPECT_EQ(back.title, "Hi");
    ASSERT_EQ(back.items.size(), 2u);
    EXPECT_EQ(static_cast<CLeaf*>(back.items[1].get())->value, 0x0C0D);

    CRoot wrongVersion;
    EXPECT_FALSE(wrongVersion.LoadFromBuffer(golden.data(), golden.size(), "", nullptr, 8, &error));
    EXPECT_NE(error.find("version"), std::string::npos);
}

TEST(ObjectFile, EveryPrefixOfAValidFileFailsCleanly)
{
    const std::string golden = GoldenTree();
    for (size_t n = 0; n < golden.size(); ++n) {
        CRoot r;
        EXPECT_FALSE(r.LoadFromBuffer(golden.data(), n, "", nullptr, 7)) << "prefix of " << n << " bytes";
    }
}

TEST(ObjectFile, OlderAndNewerVersionsReadEachOther)
{
    COld older;
    older.a = 5;
    older.b = 6;
    std::string oldBytes, newBytes;
    ASSERT_TRUE(older.SaveToBuffer(oldBytes));
    CNew newer;
    ASSERT_TRUE(newer.SaveToBuffer(newBytes));

    CNew readsOld;
    CSerialStream s1 = CSerialStream::OpenInput(oldBytes.data(), oldBytes.size(), "", nullptr);
    ASSERT_TRUE(readsOld.Serialize(s1));
    EXPECT_EQ(readsOld.a, 5);
    EXPECT_EQ(readsOld.b, 6);
    EXPECT_EQ(readsOld.c, 30); // default kept
    EXPECT_FALSE(s1.WasSkipped());

    COld readsNew;
    CSerialStream s2 = CSerialStream::OpenInput(newBytes.data(), newBytes.size(), "", nullptr);
    ASSERT_TRUE(readsNew.Serialize(s2));
    EXPECT_EQ(readsNew.a, 10);
    EXPECT_EQ(readsNew.b, 20);
    EXPECT_TRUE(s2.WasSkipped());
    EXPECT_EQ(s2.Position(), newBytes.size()); // the chunk after was read in step
}

TEST(ObjectFile, ListsSkipUnknownTypesButFailOnBrokenKnownOnes)
{
    const std::string unknown = Record(0x999, Bytes({1, 2, 3}));
    const std::string leaf = Record(0x101, Chunk(Bytes({0x01, 0x00})));
    std::string file = kMagic + Chunk(U32(1) + Bytes({0}) + U32(0) + U32(3) + leaf + unknown + leaf);
    CRoot r;
    ASSERT_TRUE(r.LoadFromBuffer(file.data(), file.size()));
    EXPECT_EQ(r.items.size(), 2u);

    // A registered type whose record does not read fails the whole load.
    const std::string broken = Record(0x101, Chunk(Bytes({0xAD, 0xDE})));
    file = kMagic + Chunk(U32(1) + Bytes({0}) + U32(0) + U32(2) + leaf + broken);
    CRoot r2;
    EXPECT_FALSE(r2.LoadFromBuffer(file.data(), file.size()));
    EXPECT_TRUE(r2.items.empty());

    // A huge count over a short file stops at the first missing record.
    file = kMagic + Chunk(U32(1) + Bytes({0}) + U32(0) + U32(9999999) + leaf);
    CRoot r3;
    EXPECT_FALSE(r3.LoadFromBuffer(file.data(), file.size()));
    file = kMagic + Chunk(U32(1) + Bytes({0}) + U32(0) + U32(10000001));
    EXPECT_FALSE(CRoot().LoadFromBuffer(file.data(), file.size()));
}

TEST(ObjectFile, DamagedHeadersAndFieldsFailTheLoad)
{
    auto loads = [](const std::string& file) { return CRoot().LoadFromBuffer(file.data(), file.size()); };
    const std::string body = U32(1) + Bytes({0}) + U32(0);
    ASSERT_TRUE(loads(kMagic + Chunk(body)));

    EXPECT_FALSE(loads(Bytes({0x49, 0xF2, 0xAC, 0x74}) + Chunk(body))); // magic
    std::string unfinished = kMagic + Chunk(body);
    unfinished[4] = 0; // marker of a chunk whose writer stopped
    EXPECT_FALSE(loads(unfinished));
    for (uint32_t length : {0u, 1u, 4u, 100000001u}) {
        std::string f = kMagic + Bytes({0xBE}) + U32(length) + body;
        EXPECT_FALSE(loads(f)) << length;
    }
    // A chunk that claims more bytes than the file has.
    EXPECT_FALSE(loads(kMagic + Bytes({0xBE}) + U32(uint32_t(body.size() + 6)) + body));
    // A string crossing its chunk's end, though the file goes on.
    std::string crossing = kMagic + Chunk(U32(1) + Bytes({0}) + U32(50)) + std::string(100, 'x');
    EXPECT_FALSE(loads(crossing));
    // A record whose body would leave its chunk, and one with an empty body.
    EXPECT_FALSE(loads(kMagic + Chunk(body + U32(1) + U32(0x101) + U32(200)) + std::string(300, '\0')));
    EXPECT_FALSE(loads(kMagic + Chunk(body + U32(1) + U32(0x999) + U32(0))));
}

TEST(ObjectFile, StringLimitsAndTruncatedStrings)
{
    struct CText : CSerializable
    {
        std::string text = "default";
        bool Serialize(CSerialStream& s) override
        {
            CSerialChunk c(s);
            c.ExchangeString(text);
            return c.Close();
        }
    };
    CText big;
    big.text.assign(1000000, 'z');
    std::string bytes;
    ASSERT_TRUE(big.SaveToBuffer(bytes));
    CText back;
    ASSERT_TRUE(back.LoadFromBuffer(bytes.data(), bytes.size()));
    EXPECT_EQ(back.text.size(), 1000000u);

    big.text.push_back('z');
    std::string error;
    EXPECT_FALSE(big.SaveToBuffer(bytes, "", nullptr, 0, &error)); // no reader would take it
    std::string tooLong = kMagic + Chunk(U32(1000001) + std::string(1000001, 'z'));
    CText refused;
    EXPECT_FALSE(refused.LoadFromBuffer(tooLong.data(), tooLong.size()));

    std::string cut = kMagic + Chunk(U32(10) + "abc");
    CText shortRead;
    EXPECT_FALSE(shortRead.LoadFromBuffer(cut.data(), cut.size()));
    EXPECT_EQ(shortRead.text, "");
}

TEST(ObjectFile, TypedFieldsArraysPathsAndColours)
{
    enum class EKind : uint8_t { Mark, Route, Track };
    // A stored layout: pinned, and zeroed before writing so no padding leaks.
    struct SPoint
    {
        double lat;
        float depth;
        uint32_t flags;
    };
    static_assert(sizeof(SPoint) == 16 && offsetof(SPoint, depth) == 8 && offsetof(SPoint, flags) == 12);
    struct SSmall
    {
        double lat;
    };
    struct CFields : CSerializable
    {
        bool flag = false;
        EKind kind = EKind::Route;
        std::string path;
        float colour[4] = {0, 0, 0, 0};
        GraphicsColor line;
        SPoint points[2];
        SSmall small[2] = {{0}, {0}};
        bool readSmall = false;
        bool Serialize(CSerialStream& s) override
        {
            CSerialChunk c(s);
            c.ExchangeBool(flag);
            c.ExchangeEnum(kind, EKind::Track);
            c.ExchangePath(path);
            c.ExchangeColor(colour);
            c.ExchangeColor(line);
            if (readSmall)
                c.ExchangeArray(small, sizeof(SSmall), 2);
            else
                c.ExchangeArray(points, sizeof(SPoint), 2);
            return c.Close();
        }
    };
    CFields w;
    std::memset(w.points, 0, sizeof w.points);
    w.points[0] = {54.5, 3.25f, 7};
    w.points[1] = {-33.75, 0.5f, 9};
    w.kind = EKind::Track;
    w.path = "/charts/store/charts/a.rlt";
    w.colour[0] = 1;
    w.colour[3] = 0.5f;
    w.line.SetRGBA(10, 20, 30, 40);
    std::string bytes;
    ASSERT_TRUE(w.SaveToBuffer(bytes, "/charts/store/"));
    ASSERT_NE(bytes.find("charts/a.rlt"), std::string::npos);
    ASSERT_EQ(bytes.find("/charts/store/"), std::string::npos);

    CFields r;
    ASSERT_TRUE(r.LoadFromBuffer(bytes.data(), bytes.size(), "/moved/"));
    EXPECT_EQ(r.path, "/moved/charts/a.rlt");
    EXPECT_EQ(r.kind, EKind::Track);
    EXPECT_EQ(r.points[1].flags, 9u);
    EXPECT_EQ(r.colour[3], 0.5f);
    EXPECT_EQ(r.line.GetPacked(), w.line.GetPacked());

    // A smaller element layout takes the leading field of each stored element.
    CFields older;
    older.readSmall = true;
    CSerialStream s = CSerialStream::OpenInput(bytes.data(), bytes.size(), "", nullptr);
    ASSERT_TRUE(older.Serialize(s));
    EXPECT_EQ(older.small[0].lat, 54.5);
    EXPECT_EQ(older.small[1].lat, -33.75);
    EXPECT_TRUE(s.WasSkipped());

    // Raw bytes that are no valid bool or enum value, and wild colours.
    std::string raw = kMagic + Chunk(Bytes({2, 9}) + U32(0) + std::string(16, '\xff'));
    CFields odd;
    ASSERT_TRUE(odd.LoadFromBuffer(raw.data(), raw.size()));
    EXPECT_TRUE(odd.flag);
    EXPECT_EQ(odd.kind, EKind::Route); // out of range: default kept
    EXPECT_EQ(odd.colour[0], 0.0f);    // NaN bytes
    std::string absolute = w.path;
    CFields keep;
    keep.path = "/elsewhere/x.rlt";
    w.path = keep.path;
    ASSERT_TRUE(w.SaveToBuffer(bytes, "/charts/store/"));
    ASSERT_TRUE(keep.LoadFromBuffer(bytes.data(), bytes.size(), "/moved/"));
    EXPECT_EQ(keep.path, "/elsewhere/x.rlt");
}

TEST(ObjectFile, FailedSavesKeepTheOldFileAndUnreadableFilesAreKeptAside)
{
    const std::string dir = tessatest::MakeScratchDir("objectfile");
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/sub/tracks.bin";
    CRoot root;
    root.title = "first";
    ASSERT_TRUE(root.SaveToFile(path, nullptr, 3));
    const std::string first = ReadAll(path);
    // The path form of opening gives the file's bytes and its folder, or why not.
    CSerialFileBytes bytes;
    std::string folder, error;
    ASSERT_TRUE(CSerialStream::OpenPath(path, bytes, folder, error)) << error;
    EXPECT_EQ(std::string(bytes.Data(), bytes.Size()), first);
    EXPECT_EQ(folder, dir + "/sub/");
    EXPECT_FALSE(CSerialStream::OpenPath(dir + "/none.bin", bytes, folder, error));
    EXPECT_NE(error.find("none.bin"), std::string::npos) << error;

    struct CHuge : CSerializable
    {
        bool Serialize(CSerialStream& s) override
        {
            std::vector<char> data(CSerialStream::kMaxChunkLength);
            CSerialChunk c(s);
            c.ExchangeArray(data.data(), 1, data.size());
            return c.Close();
        }
    };
    EXPECT_FALSE(CHuge().SaveToFile(path, nullptr, 3, &error));
    EXPECT_NE(error.find("too large"), std::string::npos);
    EXPECT_EQ(ReadAll(path), first);

    struct CFailing : CSerializable
    {
        bool Serialize(CSerialStream&) override { return false; }
    };
    EXPECT_FALSE(CFailing().SaveToFile(path));
    EXPECT_EQ(ReadAll(path), first);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir + "/sub"), {}), 1);

    // A store that fails to load is moved aside once, before the first save.
    std::ofstream(path, std::ios::binary) << "garbage";
    CRoot loaded;
    CUnreadableFileGuard guard;
    if (!loaded.LoadFromFile(path))
        guard.NoteLoadFailed(path);
    ASSERT_TRUE(guard.HasPendingFile());
    ASSERT_TRUE(guard.BeforeSave());
    EXPECT_EQ(guard.KeptAs(), path + ".unreadable");
    EXPECT_EQ(ReadAll(path + ".unreadable"), "garbage");
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(loaded.SaveToFile(path));
    EXPECT_TRUE(guard.BeforeSave()); // nothing pending any more

    // A second unreadable copy never replaces the first.
    std::ofstream(path, std::ios::binary) << "again";
    std::string keptAs;
    ASSERT_TRUE(SetAsideUnreadableFile(path, &keptAs));
    EXPECT_EQ(keptAs, path + ".unreadable-2");
    EXPECT_EQ(ReadAll(path + ".unreadable"), "garbage");
    EXPECT_TRUE(SetAsideUnreadableFile(dir + "/none.bin", &keptAs));
    EXPECT_EQ(keptAs, "");
    std::filesystem::remove_all(dir);
}

TEST(ObjectFile, RegistryFindsTheNewestEntryFirst)
{
    EXPECT_EQ(CSerializable::Type::Find(CLeaf::kType), &gLeafType);
    {
        CSerializableType<CRoot> shadow(CLeaf::kType);
        EXPECT_EQ(CSerializable::Type::Find(CLeaf::kType), &shadow);
        EXPECT_NE(dynamic_cast<CRoot*>(CSerializable::Type::Create(CLeaf::kType).get()), nullptr);
    }
    EXPECT_NE(dynamic_cast<CLeaf*>(CSerializable::Type::Create(CLeaf::kType).get()), nullptr);
    EXPECT_EQ(CSerializable::Type::Create(0x12345), nullptr);
}
