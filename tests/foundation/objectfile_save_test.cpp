// Saving an object file: the file holds exactly the bytes of a save to a
// buffer, reads back whole wherever records and chunks cross the stream's
// blocks, and a large save holds its output in memory once, not in copies.
#include "foundation/objectfile/Serializable.h"
#include "support/TestPaths.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <new>

namespace {
std::atomic<size_t> gAllocatedBytes{0};
}

void* operator new(std::size_t size)
{
    gAllocatedBytes += size;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

struct CSavePoint : CSerializable
{
    std::string name;
    double value = 0;
    bool Serialize(CSerialStream& s) override
    {
        CSerialChunk c(s);
        c.ExchangeString(name);
        c.Exchange(value);
        return c.Close();
    }
    uint32_t GetTypeId() const override { return 0x5A7E01; }
};
CSerializableType<CSavePoint> gSavePointType(0x5A7E01);

struct CSaveStore : CSerializable
{
    std::vector<std::unique_ptr<CSerializable>> points;
    bool Serialize(CSerialStream& s) override
    {
        CSerialChunk c(s);
        c.ExchangeObjectList(points);
        return c.Close();
    }
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(ObjectFileSave, FileMatchesTheBufferReadsBackAndHoldsItsOutputOnce)
{
    const std::string folder = tessatest::MakeScratchDir("objectfile_save");
    const std::string path = folder + "/store.bin";
    for (int count : {0, 1, 37, 5000, 250000}) {
        CSaveStore store;
        for (int i = 0; i < count; ++i) {
            auto p = std::make_unique<CSavePoint>();
            p->name.assign(size_t(i % 23), char('a' + i % 26)); // records of every length
            p->value = i * 0.5;
            store.points.push_back(std::move(p));
        }
        const size_t before = gAllocatedBytes;
        ASSERT_TRUE(store.SaveToFile(path, nullptr, 3)) << count;
        const size_t allocated = gAllocatedBytes - before;
        const std::string file = ReadAll(path);
        if (count == 250000) { // about 9 MB
            EXPECT_LT(allocated, file.size() * 3 / 2) << "a " << file.size() << "-byte save";
        }
        std::string buffer;
        ASSERT_TRUE(store.SaveToBuffer(buffer, folder + "/", nullptr, 3));
        EXPECT_TRUE(buffer == file) << count;

        CSaveStore loaded;
        ASSERT_TRUE(loaded.LoadFromFile(path, nullptr, 3)) << count;
        ASSERT_EQ(loaded.points.size(), size_t(count));
        for (int i = 0; i < count; ++i) {
            const auto& p = static_cast<const CSavePoint&>(*loaded.points[size_t(i)]);
            ASSERT_EQ(p.name.size(), size_t(i % 23)) << i;
            ASSERT_EQ(p.value, i * 0.5) << i;
        }
    }
    std::filesystem::remove_all(folder);
}
