#include "mapview/places/GeoNameDatabase.h"

#include <array>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

namespace {

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int32_t ReadI32(const uint8_t* p)
{
    return static_cast<int32_t>(ReadU32(p));
}

double ReadF64(const uint8_t* p)
{
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | p[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Each byte as the capital it stands for: ASCII a-z and Latin-1 0xE0-0xFE
// (except the division sign) fold; digits and punctuation stay as they are.
const std::array<uint8_t, 256>& FoldTable()
{
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int c = 0; c < 256; ++c) {
            const bool lower = (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
            t[size_t(c)] = uint8_t(lower ? c - 32 : c);
        }
        return t;
    }();
    return table;
}

bool NameContains(const uint8_t* name, size_t nameLength, const std::string& text)
{
    const size_t n = text.size();
    if (n == 0)
        return true;
    if (nameLength < n)
        return false;
    const auto& fold = FoldTable();
    const auto* t = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t i = 0; i + n <= nameLength; ++i) {
        size_t j = 0;
        while (j < n && (name[i + j] == t[j] || fold[name[i + j]] == t[j]))
            ++j;
        if (j == n)
            return true;
    }
    return false;
}

} // namespace

CGeoNameDatabase::~CGeoNameDatabase()
{
    Close();
}

void CGeoNameDatabase::Close()
{
    FileUnmap(m_mapping);
    m_mapping = CFileMapping();
    if (m_fd >= 0)
        FileClose(m_fd);
    m_fd = -1;
    m_records = nullptr;
    m_end = nullptr;
}

bool CGeoNameDatabase::IsPlaceable(double latitude, double longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) < 90.0 &&
           std::fabs(longitude) <= 180.0;
}

bool CGeoNameDatabase::Open(const std::string& path)
{
    Close();
    // A FIFO or device would block or never end: only regular files are read.
    if (path.empty() || !IsRegularFile(path))
        return false;
    m_fd = FileOpen(path, 2);
    if (m_fd < 0)
        return false;
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < int64_t(kMinFileBytes) ||
        uint64_t(st.st_size) > SIZE_MAX) {
        Close();
        return false;
    }
    const size_t length = size_t(st.st_size);
    const uint8_t* data = FileMapReadOnly(m_fd, 0, length, m_mapping);
    if (!data) {
        Close();
        return false;
    }
    const uint32_t version = ReadU32(data + 4);
    const int32_t blocks = ReadI32(data + 8);
    // Each block takes at least its 4-byte length, which bounds the count.
    if (ReadU32(data) != kMagic || version > 1 || blocks < 0 ||
        uint64_t(blocks) > (length - kHeaderBytes) / 4) {
        Close();
        return false;
    }
    size_t at = kHeaderBytes;
    for (int32_t b = 0; b < blocks; ++b) {
        if (length - at < 4) {
            Close();
            return false;
        }
        const int32_t size = ReadI32(data + at);
        if (size < 4 || size_t(size) > length - at) {
            Close();
            return false;
        }
        at += size_t(size);
    }
    const size_t first = at;
    while (at < length) {
        if (length - at < 4) {
            Close();
            return false;
        }
        const int32_t size = ReadI32(data + at);
        if (size < kMinRecordBytes || size_t(size) > length - at ||
            !std::memchr(data + at + 24, 0, size_t(size) - 24)) {
            Close();
            return false;
        }
        at += size_t(size);
    }
    m_records = data + first;
    m_end = data + length;
    return true;
}

bool CGeoNameDatabase::GetRecord(const uint8_t* cursor, CGeoNameRecord& record) const
{
    if (!m_records || !cursor || cursor < m_records || cursor >= m_end)
        return false;
    record.kind = ReadU32(cursor + 4);
    record.latitude = ReadF64(cursor + 8);
    record.longitude = ReadF64(cursor + 16);
    record.name = reinterpret_cast<const char*>(cursor + 24);
    return true;
}

bool CGeoNameDatabase::Search(const uint8_t*& cursor, int32_t kind, const std::string& text) const
{
    if (!m_records || (cursor && (cursor < m_records || cursor >= m_end))) {
        cursor = nullptr;
        return false;
    }
    const uint8_t* at = cursor ? cursor + ReadI32(cursor) : m_records;
    for (; at < m_end; at += ReadI32(at)) {
        if (kind >= 0 && ReadU32(at + 4) != uint32_t(kind))
            continue;
        if (!IsPlaceable(ReadF64(at + 8), ReadF64(at + 16)))
            continue;
        const uint8_t* name = at + 24;
        const size_t room = size_t(ReadI32(at)) - 24;
        const auto* nul = static_cast<const uint8_t*>(std::memchr(name, 0, room));
        if (NameContains(name, size_t(nul - name), text)) {
            cursor = at;
            return true;
        }
    }
    cursor = nullptr;
    return false;
}
