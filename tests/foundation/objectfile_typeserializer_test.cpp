// The chunkless typed byte stream and its file forms.
#include "foundation/objectfile/TypeSerializer.h"

#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class TypeFiles : public ::testing::Test
{
protected:
    void SetUp() override { m_dir = tessatest::MakeScratchDir("typefile"); }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string m_dir;
};

} // namespace

TEST_F(TypeFiles, TagsStringsAndValuesRoundTrip)
{
    const std::string path = m_dir + "/manifest";
    {
        CTypeFileOut out(path);
        ASSERT_TRUE(out.IsGood());
        std::string text = "abc";
        double value = 2.5;
        EXPECT_TRUE(out.ExchangeTag(0x4B434150));
        EXPECT_TRUE(out.ExchangeString(text)); // wide: 4 + 6 bytes
        EXPECT_EQ(out.GetByteCount(), 4u + 4u + 6u);
        out.SetWide(false);
        std::string narrow = "\xe9t\xe9";
        EXPECT_TRUE(out.ExchangeString(narrow));
        EXPECT_TRUE(out.Exchange(value));
        EXPECT_TRUE(out.Close());
    }
    const std::string bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 4u + 10u + 7u + 8u);
    EXPECT_EQ(bytes.substr(4, 10), std::string("\x03\0\0\0a\0b\0c\0", 10));

    CTypeFileIn in(path);
    std::string text, narrow;
    double value = 0;
    EXPECT_FALSE(in.ExchangeTag(0x4B434151)); // a wrong tag is refused...
    EXPECT_TRUE(in.IsGood());                 // ...without breaking the stream
    in.SetWide(true);
    EXPECT_TRUE(in.ExchangeString(text));
    in.SetWide(false);
    EXPECT_TRUE(in.ExchangeString(narrow));
    EXPECT_TRUE(in.Exchange(value));
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(narrow, "\xe9t\xe9");
    EXPECT_EQ(value, 2.5);
    uint8_t more = 0;
    EXPECT_FALSE(in.Exchange(more)); // end of file
    EXPECT_FALSE(in.IsGood());
    EXPECT_FALSE(in.ReadString(text));
    EXPECT_EQ(text, "");
}

TEST_F(TypeFiles, BadLengthsShortFilesAndWrongDirections)
{
    const std::string path = m_dir + "/strings";
    auto write = [&](const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; };

    write(std::string("\xa1\x86\x01\x00", 4) + std::string(200002, 'a')); // 100,001 characters
    CTypeFileIn tooLong(path);
    std::string text = "keep";
    EXPECT_FALSE(tooLong.ReadString(text));
    EXPECT_EQ(text, "");

    write(std::string("\x05\0\0\0a\0b\0", 8));
    CTypeFileIn cut(path);
    EXPECT_FALSE(cut.ReadString(text));
    EXPECT_EQ(text, "");

    CTypeFileIn missing(m_dir + "/none");
    EXPECT_FALSE(missing.IsGood());
    uint32_t v = 0;
    EXPECT_FALSE(missing.Exchange(v));

    // Asked the wrong way round, a file form stops being good.
    CTypeFileIn reader(path);
    EXPECT_FALSE(reader.WriteString("x"));
    EXPECT_FALSE(reader.IsGood());

    const std::string outPath = m_dir + "/out";
    write("old");
    {
        CTypeFileOut writer(path);
        uint32_t tag = 1;
        writer.Exchange(tag);
        EXPECT_FALSE(writer.ReadString(text));
        EXPECT_FALSE(writer.IsGood());
        EXPECT_FALSE(writer.Close());
    }
    EXPECT_EQ(ReadAll(path), "old"); // a failed stream never replaces the file

    CTypeFileOut oversize(outPath);
    EXPECT_FALSE(oversize.WriteString(std::string(100001, 'x')));
    EXPECT_FALSE(oversize.Close());
    EXPECT_FALSE(std::filesystem::exists(outPath));
}

namespace {

// A read stream over fixed bytes that records every read it is asked for.
class CRecordingIn : public CTypeSerializer
{
public:
    explicit CRecordingIn(std::string bytes) : CTypeSerializer(kModeRead), m_bytes(std::move(bytes)) {}
    bool Write(const void*, size_t) override { return false; }
    bool Read(void* bytes, size_t size) override
    {
        reads.push_back({bytes != nullptr, size});
        if (size > m_bytes.size() - m_pos)
            return false;
        if (size)
            std::memcpy(bytes, m_bytes.data() + m_pos, size);
        m_pos += size;
        return true;
    }
    std::vector<std::pair<bool, size_t>> reads; // (destination given, size)

private:
    std::string m_bytes;
    size_t m_pos = 0;
};

} // namespace

TEST(TypeSerializer, EmptyStringsReadOnlyTheirLength)
{
    for (bool wide : {false, true}) {
        CRecordingIn in(std::string("\0\0\0\0\x01\0\0\0A\0", 10));
        in.SetWide(wide);
        std::string text = "old";
        EXPECT_TRUE(in.ReadString(text));
        EXPECT_EQ(text, "");
        ASSERT_EQ(in.reads.size(), 1u) << "no read of zero bytes into an empty buffer";
        EXPECT_EQ(in.reads[0], std::make_pair(true, size_t(4)));
        // The next string follows at once.
        EXPECT_TRUE(in.ReadString(text));
        EXPECT_EQ(text, "A");
    }
}
