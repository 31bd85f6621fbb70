#pragma once
// The bytes a writing serial stream has produced, kept in blocks that are
// never moved: a save of a million records grows without copying what is
// already written, and the blocks go to the file as they lie.
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

class CSerialOutput
{
public:
    CSerialOutput() = default;
    CSerialOutput(CSerialOutput&& other) noexcept;
    CSerialOutput& operator=(CSerialOutput&& other) noexcept;
    CSerialOutput(const CSerialOutput&) = delete;
    CSerialOutput& operator=(const CSerialOutput&) = delete;

    size_t Size() const { return m_size; }
    void Append(const void* data, size_t size)
    {
        if (size <= size_t(m_end - m_cursor)) {
            if (size)
                std::memcpy(m_cursor, data, size);
            m_cursor += size;
            m_size += size;
            return;
        }
        AppendToNewBlocks(static_cast<const char*>(data), size);
    }
    // Overwrites `size` bytes already written, from offset `at`.
    void Patch(size_t at, const void* data, size_t size);

    // Hands the bytes over in order, block by block; false as soon as `sink` is.
    template <class Sink> bool ForEachPiece(Sink&& sink) const
    {
        size_t left = m_size;
        for (const Block& block : m_blocks) {
            const size_t n = left < block.capacity ? left : block.capacity;
            if (n && !sink(static_cast<const void*>(block.bytes.get()), n))
                return false;
            left -= n;
        }
        return true;
    }
    // One contiguous copy, for callers that need a string.
    void CopyTo(std::string& out) const;
    // Empties the output but keeps its blocks: the next bytes land in memory
    // that is already mapped, so a large save repeated while running does not
    // fault in fresh pages each time.
    void Clear();
    // Adds blocks until they hold `size` bytes in all and touches each once,
    // so their pages are mapped by the calling thread now.
    void Reserve(size_t size);

private:
    struct Block
    {
        std::unique_ptr<char[]> bytes;
        size_t capacity;
        size_t start; // offset of the block's first byte in the output
    };
    void AppendToNewBlocks(const char* data, size_t size);

    std::vector<Block> m_blocks;
    char* m_cursor = nullptr; // next free byte of the current block
    char* m_end = nullptr;    // end of the current block
    size_t m_size = 0;
    size_t m_current = 0; // the block being filled; those after it are kept for reuse
};
