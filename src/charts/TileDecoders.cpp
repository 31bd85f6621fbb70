#include "charts/TileDecoders.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

static_assert(std::endian::native == std::endian::little, "chart words are read as little-endian");

int BitReverse10(int v)
{
    int r = 0;
    for (int i = 0; i < 10; ++i)
        if (v & (1 << i))
            r |= 1 << (9 - i);
    return r;
}

namespace {

inline uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t Load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

bool Unreadable(uint8_t* out, int count)
{
    std::memset(out, 0, size_t(count));
    return false;
}

// Smallest n with 2^n >= k (0 for k = 1).
int BitsFor(int k)
{
    int n = 0;
    while ((1 << n) < k)
        ++n;
    return n;
}

// Least-significant-bit-first reader over a byte range. Past the end it feeds
// zero bits and counts them, so the caller learns afterwards whether the
// stream really held every bit it used.
class CBitReader
{
public:
    CBitReader(const uint8_t* p, size_t size) : m_p(p), m_left(size) {}

    void Refill()
    {
        if (m_left >= 8) {
            m_buf |= Load64(m_p) << m_bits;
            size_t used = size_t(63 - m_bits) >> 3;
            m_p += used;
            m_left -= used;
            m_bits += int(used) * 8;
            return;
        }
        while (m_bits <= 56 && m_left) {
            m_buf |= uint64_t(*m_p++) << m_bits;
            m_bits += 8;
            --m_left;
        }
        if (m_bits <= 56) {
            // The stream ran out: everything above is zero padding.
            m_padded += uint64_t(64 - m_bits);
            m_bits = 64;
        }
    }
    uint64_t Peek() const { return m_buf; }
    int Bits() const { return m_bits; }
    void Skip(int n)
    {
        m_buf >>= n;
        m_bits -= n;
    }
    int TakeBit()
    {
        if (m_bits == 0)
            Refill();
        int b = int(m_buf & 1);
        m_buf >>= 1;
        --m_bits;
        return b;
    }
    // True when some of the bits taken were padding, not data.
    bool Overran() const { return uint64_t(m_bits) < m_padded; }

private:
    const uint8_t* m_p;
    size_t m_left;
    uint64_t m_buf = 0;
    int m_bits = 0;
    uint64_t m_padded = 0;
};

// The Huffman tree of a tile turned into an array: kid values with kLeaf set
// are leaves holding a palette index, others index the array.
constexpr uint32_t kLeaf = 0x80000000u;
constexpr int kMaxCodeDepth = 127;

struct CTileTree
{
    const uint8_t* bytes;
    size_t end;                 // one past the tree's last node
    std::vector<uint32_t> kids; // two per branch
    std::vector<int32_t> memo;  // byte position -> branch number, -1 unseen

    // The children of the branch at `pos`; false when its form is corrupt.
    bool Children(size_t pos, size_t& zero, size_t& one) const
    {
        uint8_t b = bytes[pos];
        if (b == 0x80) {
            if (pos + 2 >= end)
                return false;
            int16_t v = int16_t(uint16_t(bytes[pos + 1] | (bytes[pos + 2] << 8)));
            if (v >= 0)
                return false; // would point backwards or at itself
            zero = pos + 3;
            one = zero + size_t(-int32_t(v));
        } else {
            zero = pos + 1;
            one = zero + size_t(-int32_t(int8_t(b)));
        }
        return zero < end && one < end;
    }

    bool Convert(size_t pos, int depth, uint32_t& kid)
    {
        uint8_t b = bytes[pos];
        if (b < 0x80) {
            kid = kLeaf | b;
            return true;
        }
        if (depth >= kMaxCodeDepth)
            return false;
        if (memo[pos] >= 0) {
            kid = uint32_t(memo[pos]);
            return true;
        }
        size_t zero, one;
        if (!Children(pos, zero, one))
            return false;
        uint32_t index = uint32_t(kids.size() / 2);
        kids.push_back(0);
        kids.push_back(0);
        uint32_t k0, k1;
        if (!Convert(zero, depth + 1, k0) || !Convert(one, depth + 1, k1))
            return false;
        kids[2 * index] = k0;
        kids[2 * index + 1] = k1;
        memo[pos] = int32_t(index);
        kid = index;
        return true;
    }
};

// First-byte lookup: a leaf entry holds (code length << 8) | index; an entry
// with kLeaf set continues at that branch after 8 bits.
void FillLookup(const CTileTree& t, uint32_t kid, int depth, uint32_t pattern, uint32_t* lut)
{
    if (kid & kLeaf) {
        uint32_t e = (uint32_t(depth) << 8) | (kid & 0x7F);
        for (uint32_t i = pattern; i < 256; i += 1u << depth)
            lut[i] = e;
        return;
    }
    if (depth == 8) {
        lut[pattern] = kLeaf | kid;
        return;
    }
    FillLookup(t, t.kids[2 * kid], depth + 1, pattern, lut);
    FillLookup(t, t.kids[2 * kid + 1], depth + 1, pattern | (1u << depth), lut);
}

template <int N> void UnpackWords(const uint8_t* words, const uint8_t* lut, uint8_t* out, int count)
{
    constexpr int perWord = 32 / N;
    constexpr uint32_t mask = (1u << N) - 1;
    int n = 0;
    for (; n + perWord <= count; n += perWord, words += 4) {
        uint32_t w = Load32(words);
        for (int j = 0; j < perWord; ++j) {
            out[n + j] = lut[w & mask];
            w >>= N;
        }
    }
    if (n < count) {
        uint32_t w = Load32(words);
        for (; n < count; ++n) {
            out[n] = lut[w & mask];
            w >>= N;
        }
    }
}

} // namespace

bool DecodeHuffmanTile(const uint8_t* tree, size_t size, uint8_t* out, int count)
{
    if (!tree || size == 0)
        return Unreadable(out, count);
    size = std::min(size, kMaxTileBytes);
    if (tree[0] < 0x80) {
        std::memset(out, tree[0], size_t(count));
        return true;
    }
    // The tree ends with the node reached from the root by 1-children.
    CTileTree t{tree, size, {}, {}};
    size_t pos = 0;
    for (int depth = 0; tree[pos] >= 0x80; ++depth) {
        size_t zero, one;
        if (depth >= kMaxCodeDepth || !t.Children(pos, zero, one))
            return Unreadable(out, count);
        pos = one;
    }
    t.end = pos + 1;
    t.memo.assign(t.end, -1);
    t.kids.reserve(256);
    uint32_t root;
    if (!t.Convert(0, 0, root))
        return Unreadable(out, count);

    uint32_t lut[256];
    FillLookup(t, root, 0, 0, lut);
    CBitReader bits(tree + t.end, size - t.end);
    const uint32_t* kids = t.kids.data();
    for (int n = 0; n < count;) {
        if (bits.Bits() < 8)
            bits.Refill();
        uint32_t e = lut[bits.Peek() & 0xFF];
        if (!(e & kLeaf)) {
            out[n++] = uint8_t(e);
            bits.Skip(int(e >> 8));
            continue;
        }
        bits.Skip(8);
        uint32_t kid = e & ~kLeaf;
        do
            kid = kids[2 * kid + uint32_t(bits.TakeBit())];
        while (!(kid & kLeaf));
        out[n++] = uint8_t(kid & 0x7F);
    }
    if (bits.Overran())
        return Unreadable(out, count);
    return true;
}

bool DecodeRunLengthTile(const uint8_t* data, size_t size, int colours, uint8_t* out, int count)
{
    if (!data || colours < 1 || colours > 127 || size < size_t(colours))
        return Unreadable(out, count);
    size = std::min(size, kMaxTileBytes);
    const int n = BitsFor(colours);
    const uint32_t mask = (1u << n) - 1;
    uint8_t lut[128];
    for (int i = 0; i <= int(mask); ++i)
        lut[i] = i < colours ? (data[i] & 0x7F) : 0;
    const uint8_t* p = data + colours;
    const uint8_t* end = data + size;
    int filled = 0;
    while (filled < count) {
        if (p == end)
            return Unreadable(out, count);
        uint32_t b = *p++;
        int run = int(b >> n);
        if (run == 0)
            continue;
        uint8_t c = lut[b & mask];
        run = std::min(run, count - filled);
        if (run <= 8) {
            for (int i = 0; i < run; ++i)
                out[filled + i] = c;
        } else {
            std::memset(out + filled, c, size_t(run));
        }
        filled += run;
    }
    return true;
}

bool DecodePackedTile(const uint8_t* data, size_t size, int colours, uint8_t* out, int count)
{
    if (!data || colours < 1 || colours > 127 || size < size_t(colours))
        return Unreadable(out, count);
    const int n = BitsFor(colours);
    if (n == 0) {
        std::memset(out, data[0] & 0x7F, size_t(count));
        return true;
    }
    const int perWord = 32 / n;
    const size_t words = size_t((count + perWord - 1) / perWord);
    if (size_t(colours) + 4 * words > std::min(size, kMaxTileBytes))
        return Unreadable(out, count);
    // Values beyond the colour list stand for index 0.
    uint8_t lut[128];
    for (int i = 0; i < (1 << n); ++i)
        lut[i] = i < colours ? (data[i] & 0x7F) : 0;
    const uint8_t* w = data + colours;
    switch (n) {
    case 1:
        UnpackWords<1>(w, lut, out, count);
        break;
    case 2:
        UnpackWords<2>(w, lut, out, count);
        break;
    case 3:
        UnpackWords<3>(w, lut, out, count);
        break;
    case 4:
        UnpackWords<4>(w, lut, out, count);
        break;
    case 5:
        UnpackWords<5>(w, lut, out, count);
        break;
    case 6:
        UnpackWords<6>(w, lut, out, count);
        break;
    default:
        UnpackWords<7>(w, lut, out, count);
        break;
    }
    return true;
}

bool DecodeTileBytes(const uint8_t* data, size_t size, uint8_t* out, int rows)
{
    if (rows < 1 || rows > kTileSide)
        return false;
    const int count = rows * kTileSide;
    if (!data || size == 0)
        return Unreadable(out, count);
    int8_t kind = int8_t(data[0]);
    if (kind == 0)
        return DecodeHuffmanTile(data + 1, size - 1, out, count);
    if (kind > 0)
        return DecodeRunLengthTile(data + 1, size - 1, kind, out, count);
    if (kind == -128)
        return Unreadable(out, count);
    return DecodePackedTile(data + 1, size - 1, -kind, out, count);
}

std::optional<uint32_t> DecodeChunkStream(const uint8_t* words, uint32_t wordCount, uint8_t* out,
                                          uint32_t count)
{
    constexpr uint32_t kMaxCount = 10000000;
    if (!words || !out || wordCount < 1 || wordCount > kMaxCount || count < 1 || count > kMaxCount)
        return std::nullopt;
    const uint32_t streamStart = Load32(words);
    if (streamStart >= wordCount || streamStart < 2)
        return std::nullopt;
    const uint8_t* table = words + 4;
    const uint32_t entries = 2 * streamStart - 2;
    auto entry = [table](uint32_t i) { return uint16_t(table[2 * i] | (table[2 * i + 1] << 8)); };

    // Bits come from whole words; reading beyond the last one is a failure.
    const uint8_t* stream = words + 4 * size_t(streamStart);
    const uint64_t totalBits = uint64_t(wordCount - streamStart) * 32;
    uint64_t used = 0;
    auto bit = [&](int& b) {
        if (used >= totalBits)
            return false;
        b = (stream[used >> 3] >> (used & 7)) & 1;
        ++used;
        return true;
    };
    // The first eight bits of every code are looked up at once: for each
    // pattern, where the walk from the root stands after them (a leaf reached
    // early, or the inner node to go on from) and how many bits it took.
    struct Step
    {
        uint32_t node;
        uint8_t bits;
        bool leaf;
    };
    Step steps[256];
    for (uint32_t pattern = 0; pattern < 256; ++pattern) {
        uint32_t i = 0;
        uint8_t n = 0;
        bool leaf = false;
        while (i < entries) {
            const uint16_t e = entry(i);
            if (!(e & 0x8000)) {
                leaf = true;
                break;
            }
            if (n == 8)
                break;
            i = ((pattern >> n) & 1) ? i + 1 + uint32_t(-int32_t(int16_t(e))) : i + 1;
            ++n;
        }
        steps[pattern] = {i, n, leaf};
    }
    const uint64_t fastLimit = totalBits >= 16 ? totalBits - 16 : 0;

    static const uint32_t kRunBase[4] = {1, 2, 6, 22};
    uint32_t filled = 0;
    while (filled < count) {
        uint32_t i = 0;
        uint16_t e = 0;
        bool atLeaf = false;
        if (used < fastLimit) {
            const size_t at = size_t(used >> 3);
            const uint32_t window = uint32_t(stream[at] | (stream[at + 1] << 8)) >> (used & 7);
            const Step& st = steps[window & 0xFF];
            used += st.bits;
            i = st.node;
            if (st.leaf) {
                e = entry(i);
                atLeaf = true;
            }
        }
        while (!atLeaf) {
            if (i >= entries)
                return std::nullopt;
            e = entry(i);
            if (!(e & 0x8000))
                break;
            int b;
            if (!bit(b))
                return std::nullopt;
            i = b ? i + 1 + uint32_t(-int32_t(int16_t(e))) : i + 1;
        }
        const uint8_t value = uint8_t(e & 0x7F);
        const int k = (e >> 8) & 3;
        uint32_t run = kRunBase[k];
        if (k) {
            uint32_t extra = 0;
            for (int j = 0; j < (1 << k); ++j) {
                int b;
                if (!bit(b))
                    return std::nullopt;
                extra = (extra << 1) | uint32_t(b);
            }
            run += extra;
        }
        run = std::min(run, count - filled);
        std::memset(out + filled, value, run);
        filled += run;
    }
    return streamStart + uint32_t((used + 31) / 32);
}
