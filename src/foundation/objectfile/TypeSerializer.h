#pragma once
// The chunkless typed byte stream: raw bytes, u32 tags and strings of a u32
// length and 1- or 2-byte characters, in one direction. Once anything fails
// the stream is no longer good: every later read fails and every later write
// is skipped, so a caller may check once at the end.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

#include "foundation/AtomicFile.h"

class CTypeSerializer
{
public:
    enum : uint32_t { kModeWrite = 1, kModeRead = 2 };
    static constexpr uint32_t kMaxStringLength = 100000;

    explicit CTypeSerializer(uint32_t mode) : m_mode(mode) {}
    virtual ~CTypeSerializer() = default;
    CTypeSerializer(const CTypeSerializer&) = delete;
    CTypeSerializer& operator=(const CTypeSerializer&) = delete;

    // The transport: false when the bytes could not be moved whole.
    virtual bool Write(const void* bytes, size_t size) = 0;
    virtual bool Read(void* bytes, size_t size) = 0;

    bool ExchangeBytes(void* bytes, size_t size);
    template <class T> bool Exchange(T& value)
    {
        static_assert(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>);
        return ExchangeBytes(&value, sizeof value);
    }
    // Writes the tag; a read is true only when the stored tag equals it.
    bool ExchangeTag(uint32_t tag);
    bool ExchangeString(std::string& text);
    // u32 length in characters, then 1 byte per character, or 2 in wide mode
    // (the byte sign-extended, little-endian). Texts over the read limit fail.
    bool WriteString(const std::string& text);
    // Wide characters keep their low byte. A short read fails and leaves the
    // string empty.
    bool ReadString(std::string& text);

    uint32_t GetMode() const { return m_mode; }
    bool IsGood() const { return m_good; }
    bool IsWide() const { return m_wide; }
    void SetWide(bool wide) { m_wide = wide; }
    // Every byte that an exchange moved.
    uint32_t GetByteCount() const { return m_count; }

protected:
    void SetGood(bool good) { m_good = good; }

private:
    bool Move(void* bytes, size_t size);

    uint32_t m_mode;
    bool m_good = true;
    bool m_wide = true;
    uint32_t m_count = 0;
};

// Writes a file; it replaces the old one only when Close() finds the stream
// good (the destructor closes too). No magic is written.
class CTypeFileOut : public CTypeSerializer
{
public:
    explicit CTypeFileOut(const std::string& path);
    ~CTypeFileOut() override;
    bool Write(const void* bytes, size_t size) override;
    bool Read(void* bytes, size_t size) override;
    // Commits the file when good, else abandons it; true when it was written.
    bool Close();
    const std::string& Error() const { return m_writer.Error(); }

private:
    CAtomicFileWriter m_writer;
    bool m_closed = false;
};

class CTypeFileIn : public CTypeSerializer
{
public:
    explicit CTypeFileIn(const std::string& path);
    ~CTypeFileIn() override;
    bool Write(const void* bytes, size_t size) override;
    bool Read(void* bytes, size_t size) override;

private:
    FILE* m_file = nullptr;
};
