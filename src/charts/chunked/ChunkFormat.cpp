#include "charts/chunked/ChunkFormat.h"

namespace chunkfile {

uint8_t CheckByte(const uint8_t* words, uint32_t count)
{
    uint32_t s = 0;
    for (uint32_t i = 0; i < count; ++i)
        s += Get32(words + 4 * size_t(i));
    return uint8_t(s + (s >> 8) + (s >> 16) + (s >> 24));
}

bool CRecordHeader::Valid() const
{
    // Even the coarsest level needs its stream start, a node and a stream word.
    if (Count(0) > kMaxWords || Present() > Count(0) || Count(kLevels - 1) < 3)
        return false;
    for (int level = 1; level < kLevels; ++level)
        if (Count(level) > Count(level - 1))
            return false;
    return true;
}

int CRecordHeader::FirstDecodableLevel(int level) const
{
    for (int l = level < 0 ? 0 : level; l < kLevels; ++l)
        if (Count(l) <= Present())
            return l;
    return kLevels;
}

} // namespace chunkfile
