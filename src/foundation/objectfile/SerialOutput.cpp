#include "foundation/objectfile/SerialOutput.h"

#include <algorithm>

namespace {

// Small saves (a settings object) take one small block; big ones settle on
// blocks large enough that their number stays small.
constexpr size_t kFirstBlock = 4096;
constexpr size_t kLargestBlock = size_t(1) << 20;

} // namespace

CSerialOutput::CSerialOutput(CSerialOutput&& other) noexcept
    : m_blocks(std::move(other.m_blocks)), m_cursor(other.m_cursor), m_end(other.m_end), m_size(other.m_size)
{
    other.m_blocks.clear();
    other.m_cursor = other.m_end = nullptr;
    other.m_size = 0;
}

CSerialOutput& CSerialOutput::operator=(CSerialOutput&& other) noexcept
{
    if (this != &other) {
        m_blocks = std::move(other.m_blocks);
        m_cursor = other.m_cursor;
        m_end = other.m_end;
        m_size = other.m_size;
        other.m_blocks.clear();
        other.m_cursor = other.m_end = nullptr;
        other.m_size = 0;
    }
    return *this;
}

void CSerialOutput::AppendToNewBlocks(const char* data, size_t size)
{
    while (size > 0) {
        if (m_cursor == m_end) {
            const size_t capacity =
                m_blocks.empty() ? kFirstBlock : std::min(m_blocks.back().capacity * 2, kLargestBlock);
            m_blocks.push_back({std::make_unique_for_overwrite<char[]>(capacity), capacity, m_size});
            m_cursor = m_blocks.back().bytes.get();
            m_end = m_cursor + capacity;
        }
        const size_t n = std::min(size, size_t(m_end - m_cursor));
        std::memcpy(m_cursor, data, n);
        m_cursor += n;
        m_size += n;
        data += n;
        size -= n;
    }
}

void CSerialOutput::Patch(size_t at, const void* data, size_t size)
{
    if (size == 0 || at > m_size || size > m_size - at)
        return;
    // Most patches close a record or chunk that began in the last block.
    auto block = m_blocks.end() - 1;
    if (at < block->start)
        block = std::upper_bound(m_blocks.begin(), m_blocks.end(), at,
                                 [](size_t offset, const Block& b) { return offset < b.start; }) -
                1;
    const char* from = static_cast<const char*>(data);
    while (size > 0) {
        const size_t inside = at - block->start;
        const size_t n = std::min(size, block->capacity - inside);
        std::memcpy(block->bytes.get() + inside, from, n);
        from += n;
        at += n;
        size -= n;
        ++block;
    }
}

void CSerialOutput::CopyTo(std::string& out) const
{
    out.resize(m_size);
    char* to = out.data();
    ForEachPiece([&to](const void* piece, size_t n) {
        std::memcpy(to, piece, n);
        to += n;
        return true;
    });
}
