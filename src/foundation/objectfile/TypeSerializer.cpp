#include "foundation/objectfile/TypeSerializer.h"

#include <bit>
#include <vector>

static_assert(std::endian::native == std::endian::little, "the byte stream is little-endian");

bool CTypeSerializer::Move(void* bytes, size_t size)
{
    if (!m_good)
        return false;
    bool ok = m_mode == kModeWrite ? Write(bytes, size) : Read(bytes, size);
    if (!ok) {
        m_good = false;
        return false;
    }
    m_count += static_cast<uint32_t>(size);
    return true;
}

bool CTypeSerializer::ExchangeBytes(void* bytes, size_t size)
{
    if (m_mode != kModeWrite && m_mode != kModeRead)
        return true;
    return Move(bytes, size);
}

bool CTypeSerializer::ExchangeTag(uint32_t tag)
{
    if (m_mode != kModeWrite && m_mode != kModeRead)
        return true;
    uint32_t value = tag;
    return Move(&value, sizeof value) && value == tag;
}

bool CTypeSerializer::ExchangeString(std::string& text)
{
    if (m_mode == kModeWrite)
        return WriteString(text);
    if (m_mode == kModeRead)
        return ReadString(text);
    return true;
}

bool CTypeSerializer::WriteString(const std::string& text)
{
    if (m_mode != kModeWrite) {
        m_good = false;
        return false;
    }
    if (text.size() > kMaxStringLength) {
        m_good = false; // a reader would refuse it
        return false;
    }
    uint32_t length = static_cast<uint32_t>(text.size());
    if (!Move(&length, sizeof length))
        return false;
    if (!m_wide)
        return Move(const_cast<char*>(text.data()), text.size());
    std::vector<unsigned char> wide(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        uint16_t c = static_cast<uint16_t>(static_cast<int16_t>(static_cast<signed char>(text[i])));
        wide[2 * i] = static_cast<unsigned char>(c & 0xFF);
        wide[2 * i + 1] = static_cast<unsigned char>(c >> 8);
    }
    return Move(wide.data(), wide.size());
}

bool CTypeSerializer::ReadString(std::string& text)
{
    text.clear();
    if (m_mode != kModeRead) {
        m_good = false;
        return false;
    }
    uint32_t length = 0;
    if (!Move(&length, sizeof length))
        return false;
    if (length > kMaxStringLength) {
        m_good = false;
        return false;
    }
    if (length == 0)
        return true;
    const size_t width = m_wide ? 2 : 1;
    std::vector<unsigned char> raw(length * width);
    if (!Move(raw.data(), raw.size()))
        return false;
    text.resize(length);
    for (size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(raw[i * width]);
    return true;
}

CTypeFileOut::CTypeFileOut(const std::string& path) : CTypeSerializer(kModeWrite)
{
    SetGood(m_writer.Open(path));
}

CTypeFileOut::~CTypeFileOut()
{
    Close();
}

bool CTypeFileOut::Write(const void* bytes, size_t size)
{
    return !m_closed && m_writer.Write(bytes, size);
}

bool CTypeFileOut::Read(void*, size_t)
{
    SetGood(false);
    return false;
}

bool CTypeFileOut::Close()
{
    if (m_closed)
        return IsGood();
    m_closed = true;
    if (!IsGood()) {
        m_writer.Abort();
        return false;
    }
    if (!m_writer.Commit()) {
        SetGood(false);
        return false;
    }
    return true;
}

CTypeFileIn::CTypeFileIn(const std::string& path) : CTypeSerializer(kModeRead)
{
    m_file = std::fopen(path.c_str(), "rb");
    SetGood(m_file != nullptr);
}

CTypeFileIn::~CTypeFileIn()
{
    if (m_file)
        std::fclose(m_file);
}

bool CTypeFileIn::Write(const void*, size_t)
{
    SetGood(false);
    return false;
}

bool CTypeFileIn::Read(void* bytes, size_t size)
{
    if (size == 0)
        return m_file != nullptr;
    return m_file && std::fread(bytes, 1, size, m_file) == size;
}
