#include "foundation/objectfile/SerialOutput.h"

#include <algorithm>

namespace {

// Small saves (a settings object) take one small block; big ones settle on
// blocks large enough that their number stays small.
constexpr size_t kFirstBlock = 4096;
constexpr size_t kLargestBlock = size_t(1) << 20;

} // namespace

CSerialOutput::CSerialOutput(CSerialOutput&& other) noexcept
    : m_blocks(std::move(other.m_blocks)), m_cursor(other.m_cursor), m_end(other.m_end), m_size(other.m_size),
      m_current(other.m_current)
{
    other.m_blocks.clear();
    other.m_cursor = other.m_end = nullptr;
    other.m_size = other.m_current = 0;
}

CSerialOutput& CSerialOutput::operator=(CSerialOutput&& other) noexcept
{
    if (this != &other) {
        m_blocks = std::move(other.m_blocks);
        m_cursor = other.m_cursor;
        m_end = other.m_end;
        m_size = other.m_size;
        m_current = other.m_current;
        other.m_blocks.clear();
        other.m_cursor = other.m_end = nullptr;
        other.m_size = other.m_current = 0;
    }
    return *this;
}

void CSerialOutput::AppendToNewBlocks(const char* data, size_t size)
{
    while (size > 0) {
        if (m_cursor == m_end) {
            if (m_blocks.empty() || m_current + 1 == m_blocks.size()) {
                const size_t capacity =
                    m_blocks.empty() ? kFirstBlock : std::min(m_blocks.back().capacity * 2, kLargestBlock);
                m_blocks.push_back({std::make_unique_for_overwrite<char[]>(capacity), capacity, m_size});
                m_current = m_blocks.size() - 1;
            } else {
                // A block kept by Clear() or Reserve().
                m_blocks[++m_current].start = m_size;
            }
            m_cursor = m_blocks[m_current].bytes.get();
            m_end = m_cursor + m_blocks[m_current].capacity;
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
    // Most patches close a record or chunk that began in the current block.
    auto block = m_blocks.begin() + m_current;
    if (at < block->start)
        block = std::upper_bound(m_blocks.begin(), block + 1, at,
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

void CSerialOutput::Clear()
{
    m_size = 0;
    m_current = 0;
    m_cursor = m_end = nullptr;
    if (!m_blocks.empty()) {
        m_cursor = m_blocks.front().bytes.get();
        m_end = m_cursor + m_blocks.front().capacity;
    }
}

void CSerialOutput::Reserve(size_t size)
{
    size_t capacity = 0;
    for (const Block& block : m_blocks)
        capacity += block.capacity;
    while (capacity < size) {
        const size_t n =
            m_blocks.empty() ? kFirstBlock : std::min(m_blocks.back().capacity * 2, kLargestBlock);
        m_blocks.push_back({std::make_unique_for_overwrite<char[]>(n), n, capacity});
        std::memset(m_blocks.back().bytes.get(), 0, n);
        capacity += n;
        if (m_blocks.size() == 1) {
            m_cursor = m_blocks.front().bytes.get();
            m_end = m_cursor + n;
        }
    }
}
