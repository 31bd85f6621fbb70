#pragma once
// Stored objects and their chunked binary files.
//
// A file is the magic 0x73ACF249, an optional version chunk, then whatever
// the root object's Serialize writes: chunks (marker 0xBE, u32 length
// including the 5 header bytes, fields), object records (u32 type id, u32
// body length, body) and object lists (u32 count, records). All integers are
// little-endian. One Serialize body serves both directions; a reader of an
// older or newer version keeps defaults for fields it does not find and skips
// fields it does not know.
//
// Files are outside input: every length is checked against the bytes of its
// enclosing chunk, record and file, and any field that would cross one of
// them fails the load. Saves replace the file atomically.
#include "foundation/objectfile/SerialOutput.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

class CAtomicFileWriter;
class CSerialStream;
class GraphicsColor;

class CSerializable
{
public:
    static constexpr uint32_t kNoTypeId = 0xFFFFFFFF;

    virtual ~CSerializable() = default;
    // Writes or reads the object; false on failure.
    virtual bool Serialize(CSerialStream& stream) = 0;
    virtual uint32_t GetTypeId() const { return kNoTypeId; }

    // Writes the object as the whole new content of `path` (making its
    // folder). A non-zero version is stored in a version chunk first. False
    // leaves any old file as it was.
    bool SaveToFile(const std::string& path, void* context = nullptr, uint32_t version = 0,
                    std::string* error = nullptr);
    // Reads the object from `path` into its current (default) fields. With a
    // non-zero version the file must hold exactly that version.
    bool LoadFromFile(const std::string& path, void* context = nullptr, uint32_t version = 0,
                      std::string* error = nullptr);
    // The same over memory; `folder` is what relative paths are taken from.
    bool SaveToBuffer(std::string& out, const std::string& folder = {}, void* context = nullptr,
                      uint32_t version = 0, std::string* error = nullptr);
    // The same into `out` (emptied first), whose blocks are reused: the bytes
    // go where an earlier save's were. After a failure `out` holds no whole file.
    bool SaveToOutput(CSerialOutput& out, const std::string& folder = {}, void* context = nullptr,
                      uint32_t version = 0, std::string* error = nullptr);
    bool LoadFromBuffer(const void* data, size_t size, const std::string& folder = {},
                        void* context = nullptr, uint32_t version = 0, std::string* error = nullptr);

    // A registered stored type: readers create objects of it by type id.
    // Entries are static objects; the most recently constructed is found first.
    class Type
    {
    public:
        explicit Type(uint32_t typeId);
        virtual ~Type();
        Type(const Type&) = delete;
        Type& operator=(const Type&) = delete;

        virtual std::unique_ptr<CSerializable> Create() const = 0;
        uint32_t GetTypeId() const { return m_typeId; }

        // A new object of the first entry with that id; null for an unknown id.
        static std::unique_ptr<CSerializable> Create(uint32_t typeId);
        static const Type* Find(uint32_t typeId);
        static const Type* First();
        const Type* Next() const { return m_next; }

    private:
        uint32_t m_typeId;
        Type* m_next = nullptr;
    };
};

// The registry entry of a default-constructible stored class:
//   static inline CSerializableType<CMark> cType{20};
template <class T> class CSerializableType : public CSerializable::Type
{
public:
    using CSerializable::Type::Type;
    std::unique_ptr<CSerializable> Create() const override { return std::make_unique<T>(); }
};

// The bytes of a file read for loading (CSerialStream::OpenPath).
class CSerialFileBytes
{
public:
    CSerialFileBytes() = default;
    CSerialFileBytes(const CSerialFileBytes&) = delete;
    CSerialFileBytes& operator=(const CSerialFileBytes&) = delete;
    ~CSerialFileBytes();

    // Room for `size` bytes (the earlier ones are dropped); null when there is none.
    char* Allocate(size_t size);
    const char* Data() const { return m_data; }
    size_t Size() const { return m_size; }

private:
    static constexpr size_t kMapFrom = size_t(4) << 20;
    static constexpr uintptr_t kHugePage = uintptr_t(2) << 20;

    std::unique_ptr<char[]> m_heap;
    char* m_data = nullptr;
    void* m_mapping = nullptr;
    size_t m_mappingSize = 0;
    size_t m_size = 0;
};

// The open file of one load or save.
class CSerialStream
{
public:
    static constexpr uint32_t kMagic = 0x73ACF249;
    static constexpr uint8_t kChunkMarker = 0xBE;
    static constexpr uint32_t kMaxChunkLength = 100000000;
    static constexpr uint32_t kMaxStringLength = 1000000;
    static constexpr uint32_t kMaxListCount = 10000000;

    // A stream that writes into memory, starting with the magic.
    static CSerialStream OpenWrite(const std::string& folder, void* context);
    // The same into `reuse` (emptied first), keeping its memory.
    static CSerialStream OpenWrite(const std::string& folder, void* context, CSerialOutput&& reuse);
    // The bytes of the file at `path` and its folder (up to and including
    // the last '/'), for OpenInput; false with a reason when the file cannot
    // be read.
    static bool OpenPath(const std::string& path, CSerialFileBytes& bytes, std::string& folder,
                         std::string& error);
    // A stream over the bytes of a file (which must start with the magic:
    // IsGood() is false otherwise). The bytes must outlive the stream.
    static CSerialStream OpenInput(const void* data, size_t size, const std::string& folder, void* context);

    bool IsReading() const { return m_reading; }
    bool IsWriting() const { return !m_reading; }
    // False once anything failed; every later exchange then fails too.
    bool IsGood() const { return m_good; }
    // True when a reader jumped over data it did not consume.
    bool WasSkipped() const { return m_skipped; }
    void* GetContext() const { return m_context; }
    // The folder of the file, ending in '/' ("" when none).
    const std::string& GetFolder() const { return m_folder; }
    const std::string& Error() const { return m_error; }
    // Marks the stream failed with a reason (the first reason is kept).
    bool Fail(const std::string& why);

    // An object record. Writing fails when the object's Serialize fails.
    bool WriteObject(CSerializable& object);
    // Null with IsGood() still true: an unknown type id, whose record was
    // skipped. Null with IsGood() false: the load failed. With `accept`, a
    // record whose type id it refuses is skipped before anything is created,
    // so a list of one family never builds objects of another.
    using TypeFilter = bool (*)(uint32_t typeId);
    std::unique_ptr<CSerializable> ReadObject(TypeFilter accept = nullptr);

    // A copy of the written bytes (writing streams).
    std::string Output() const;
    // Writes the written bytes to the open writer as they lie, without a copy.
    bool WriteOutputTo(CAtomicFileWriter& writer) const;
    // Hands the written bytes over (writing streams); the stream is left empty.
    CSerialOutput TakeOutput() { return std::move(m_out); }
    size_t Position() const { return m_reading ? m_pos : m_out.Size(); }

private:
    friend class CSerialChunk;
    CSerialStream() = default;

    // Reading: the bytes left before the innermost enclosing end.
    size_t Limit() const { return m_limits.empty() ? m_size : m_limits.back(); }
    bool ReadBytes(void* out, size_t size);
    bool ReadU32(uint32_t& value);
    void WriteBytes(const void* data, size_t size) { m_out.Append(data, size); }
    void WriteU32(uint32_t value);
    void PatchU32(size_t at, uint32_t value);

    bool m_reading = false;
    bool m_good = true;
    bool m_skipped = false;
    void* m_context = nullptr;
    std::string m_folder;
    std::string m_error;
    // reading
    const unsigned char* m_in = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
    std::vector<size_t> m_limits; // ends of the open chunks and records
    // writing
    CSerialOutput m_out;
};

// The scope of one chunk: opened by the constructor, closed by Close() or the
// destructor. Every exchange returns true on success, also when a reader
// found the field absent (the caller's value then stays as it was).
class CSerialChunk
{
public:
    explicit CSerialChunk(CSerialStream& stream);
    ~CSerialChunk();
    CSerialChunk(const CSerialChunk&) = delete;
    CSerialChunk& operator=(const CSerialChunk&) = delete;

    // Ends the chunk; false when the stream has failed.
    bool Close();

    // Raw bytes as they lie in memory. Prefer the typed forms below.
    bool Exchange(void* bytes, size_t size);
    template <class T> bool Exchange(T& value)
    {
        static_assert(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>,
                      "bool and enums have their own exchanges; structures go through ExchangeArray");
        return Exchange(&value, sizeof value);
    }
    // One byte; any non-zero byte reads as true.
    bool ExchangeBool(bool& value);
    // The enum's underlying integer; a stored value above `last` (a newer
    // writer's choice) leaves the value as it was.
    template <class E> bool ExchangeEnum(E& value, E last)
    {
        static_assert(std::is_enum_v<E>);
        using U = std::underlying_type_t<E>;
        U raw = static_cast<U>(value);
        if (!Exchange(&raw, sizeof raw))
            return false;
        if (m_stream.IsReading() && raw >= U(0) && raw <= static_cast<U>(last))
            value = static_cast<E>(raw);
        return true;
    }
    bool ExchangeString(std::string& text);
    // A string stored relative to the file's folder when it lies in it.
    bool ExchangePath(std::string& path);
    // Red, green, blue, alpha as four floats; read components are clamped to 0..1.
    bool ExchangeColor(float rgba[4]);
    bool ExchangeColor(GraphicsColor& colour);
    // `count` elements of `elementSize` bytes. A reader takes from each stored
    // element as many bytes as both layouts have, so elements of an older or
    // newer layout keep their common leading fields.
    bool ExchangeArray(void* elements, size_t elementSize, size_t count);
    // Exchanges a u32 preset to `expected`; true when it equals it.
    bool CheckVersion(uint32_t expected);
    // A counted list of object records. A reader appends the objects of
    // known types (unknown ones are skipped) only when the whole list reads.
    bool WriteObjectList(const std::vector<CSerializable*>& objects);
    bool ReadObjectList(std::vector<std::unique_ptr<CSerializable>>& objects,
                        CSerialStream::TypeFilter accept = nullptr);
    bool ExchangeObjectList(std::vector<std::unique_ptr<CSerializable>>& objects);

    CSerialStream& Stream() { return m_stream; }
    // Reading: true when the field at the current position lies past the chunk's end.
    bool AtEnd() const;
    // Reading: the bytes between the current position and the chunk's end.
    size_t BytesLeft() const;
    // Reading: the u32 at the current position without consuming it; false
    // when fewer than four bytes are left.
    bool PeekU32(uint32_t& value) const;

private:
    // Reading: false (and the stream failed) when `size` bytes cross the end.
    bool Fits(size_t size);

    CSerialStream& m_stream;
    size_t m_start = 0;
    size_t m_end = 0; // reading only
    bool m_open = false;
    bool m_pushed = false;
};
