// The chunked object-file reader over a registry of sample types that use
// every kind of field, nested chunks, records and lists; then the chunkless
// typed byte stream over the same bytes.
#include "foundation/drawing/GraphicsColor.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/objectfile/TypeSerializer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

enum class EShape : uint8_t { Dot, Line, Area };

struct CFuzzPoint : CSerializable
{
    double lat = 0, lon = 0;
    bool Serialize(CSerialStream& s) override
    {
        CSerialChunk c(s);
        c.Exchange(lat);
        c.Exchange(lon);
        return c.Close();
    }
    uint32_t GetTypeId() const override { return 0xF1; }
};

struct CFuzzShape : CSerializable
{
    bool visible = true;
    EShape shape = EShape::Dot;
    std::string name, file;
    GraphicsColor colour;
    struct SRow
    {
        int32_t a;
        float b;
    } rows[3] = {};
    std::vector<std::unique_ptr<CSerializable>> points;
    bool Serialize(CSerialStream& s) override
    {
        CSerialChunk c(s);
        if (!c.CheckVersion(2))
            return false;
        c.ExchangeBool(visible);
        c.ExchangeEnum(shape, EShape::Area);
        c.ExchangeString(name);
        c.ExchangePath(file);
        c.ExchangeColor(colour);
        c.ExchangeArray(rows, sizeof(SRow), 3);
        {
            CSerialChunk inner(s);
            inner.ExchangeObjectList(points);
        }
        return c.Close();
    }
    uint32_t GetTypeId() const override { return 0xF2; }
};

CSerializableType<CFuzzPoint> gPoint(0xF1);
CSerializableType<CFuzzShape> gShape(0xF2);

struct CFuzzRoot : CSerializable
{
    uint32_t count = 0;
    std::vector<std::unique_ptr<CSerializable>> shapes;
    std::unique_ptr<CSerializable> single;
    bool Serialize(CSerialStream& s) override
    {
        {
            CSerialChunk c(s);
            c.Exchange(count);
            c.ExchangeObjectList(shapes);
        }
        if (s.IsReading())
            single = s.ReadObject();
        else if (single)
            s.WriteObject(*single);
        return s.IsGood();
    }
};

// The typed byte stream over memory.
class CMemoryIn : public CTypeSerializer
{
public:
    CMemoryIn(const uint8_t* data, size_t size) : CTypeSerializer(kModeRead), m_data(data), m_size(size) {}
    bool Write(const void*, size_t) override { return false; }
    bool Read(void* bytes, size_t size) override
    {
        if (size > m_size - m_pos)
            return false;
        if (size)
            std::memcpy(bytes, m_data + m_pos, size);
        m_pos += size;
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size, m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (uint32_t version : {0u, 5u}) {
        CFuzzRoot root;
        if (root.LoadFromBuffer(data, size, "/fuzz/", nullptr, version) && root.single) {
            // What was read writes again and reads back the same way.
            std::string out;
            if (!root.SaveToBuffer(out, "/fuzz/", nullptr, version))
                continue;
            CFuzzRoot back;
            if (!back.LoadFromBuffer(out.data(), out.size(), "/fuzz/", nullptr, version) ||
                back.shapes.size() != root.shapes.size() || back.count != root.count)
                std::abort();
        }
    }
    CMemoryIn in(data, size);
    std::string text;
    for (int i = 0; i < 8 && in.IsGood(); ++i) {
        in.SetWide(i % 2 == 0);
        in.ExchangeTag(0x54455353);
        in.ExchangeString(text);
        if (text.size() > CTypeSerializer::kMaxStringLength)
            std::abort();
    }
    return 0;
}
