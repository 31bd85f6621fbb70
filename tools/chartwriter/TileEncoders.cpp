#include "chartwriter/ChartWriter.h"

#include "charts/TileDecoders.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <queue>

namespace chartwriter {
namespace {

int BitsFor(int k)
{
    int n = 0;
    while ((1 << n) < k)
        ++n;
    return n;
}

// Huffman code over arbitrary symbols; each leaf knows its path (bit i of
// `code` is the branch taken at depth i).
struct CHuffNode
{
    uint64_t weight = 0;
    int symbol = -1;
    int order = 0; // ties broken by creation order, for reproducible files
    std::unique_ptr<CHuffNode> kid[2];
};

std::unique_ptr<CHuffNode> BuildHuffman(const std::map<int, uint64_t>& freq)
{
    auto cmp = [](const CHuffNode* a, const CHuffNode* b) {
        return a->weight != b->weight ? a->weight > b->weight : a->order > b->order;
    };
    std::priority_queue<CHuffNode*, std::vector<CHuffNode*>, decltype(cmp)> heap(cmp);
    int order = 0;
    for (auto [symbol, weight] : freq) {
        auto* n = new CHuffNode;
        n->weight = weight;
        n->symbol = symbol;
        n->order = order++;
        heap.push(n);
    }
    while (heap.size() > 1) {
        auto* a = heap.top();
        heap.pop();
        auto* b = heap.top();
        heap.pop();
        auto* n = new CHuffNode;
        n->weight = a->weight + b->weight;
        n->order = order++;
        n->kid[0].reset(a);
        n->kid[1].reset(b);
        heap.push(n);
    }
    return std::unique_ptr<CHuffNode>(heap.top());
}

struct CCode
{
    uint64_t bits = 0;
    int length = 0;
};

void CollectCodes(const CHuffNode* n, uint64_t bits, int depth, std::map<int, CCode>& codes)
{
    if (n->symbol >= 0) {
        codes[n->symbol] = {bits, depth};
        return;
    }
    CollectCodes(n->kid[0].get(), bits, depth + 1, codes);
    CollectCodes(n->kid[1].get(), bits | (uint64_t(1) << depth), depth + 1, codes);
}

// Bits least significant first within bytes.
class CBitWriter
{
public:
    void Put(uint64_t bits, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (m_used % 8 == 0)
                m_bytes.push_back(0);
            if ((bits >> i) & 1)
                m_bytes.back() |= uint8_t(1u << (m_used % 8));
            ++m_used;
        }
    }
    std::vector<uint8_t>& Bytes() { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    uint64_t m_used = 0;
};

void SerializeTileTree(const CHuffNode* n, std::vector<uint8_t>& out)
{
    if (n->symbol >= 0) {
        out.push_back(uint8_t(n->symbol));
        return;
    }
    std::vector<uint8_t> zero;
    SerializeTileTree(n->kid[0].get(), zero);
    const int len = int(zero.size());
    if (len <= 127) {
        out.push_back(uint8_t(-len));
    } else {
        const uint16_t v = uint16_t(int16_t(-len));
        out.push_back(0x80);
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
    out.insert(out.end(), zero.begin(), zero.end());
    SerializeTileTree(n->kid[1].get(), out);
}

void SerializeChunkTree(const CHuffNode* n, std::vector<uint16_t>& out)
{
    if (n->symbol >= 0) {
        out.push_back(uint16_t(n->symbol));
        return;
    }
    std::vector<uint16_t> zero;
    SerializeChunkTree(n->kid[0].get(), zero);
    out.push_back(uint16_t(int16_t(-int(zero.size()))));
    out.insert(out.end(), zero.begin(), zero.end());
    SerializeChunkTree(n->kid[1].get(), out);
}

// Colours of a tile in order of first appearance.
std::vector<uint8_t> ColoursOf(const uint8_t* stored)
{
    bool seen[128] = {};
    std::vector<uint8_t> list;
    for (int i = 0; i < kTilePixels; ++i)
        if (!seen[stored[i] & 0x7F]) {
            seen[stored[i] & 0x7F] = true;
            list.push_back(stored[i] & 0x7F);
        }
    return list;
}

} // namespace

void ToStoredOrder(const uint8_t* image, uint8_t* stored)
{
    for (int s = 0; s < kTileSide; ++s)
        std::memcpy(stored + 64 * s, image + 64 * BitReverse6(s), 64);
}

std::vector<uint8_t> EncodeHuffmanTile(const uint8_t* image)
{
    uint8_t stored[kTilePixels];
    ToStoredOrder(image, stored);
    std::map<int, uint64_t> freq;
    for (uint8_t p : stored)
        ++freq[p & 0x7F];
    std::vector<uint8_t> out{0};
    auto root = BuildHuffman(freq);
    SerializeTileTree(root.get(), out);
    if (root->symbol >= 0)
        return out;
    std::map<int, CCode> codes;
    CollectCodes(root.get(), 0, 0, codes);
    CBitWriter bits;
    for (uint8_t p : stored)
        bits.Put(codes[p & 0x7F].bits, codes[p & 0x7F].length);
    out.insert(out.end(), bits.Bytes().begin(), bits.Bytes().end());
    return out;
}

std::vector<uint8_t> EncodeRunLengthTile(const uint8_t* image)
{
    uint8_t stored[kTilePixels];
    ToStoredOrder(image, stored);
    const std::vector<uint8_t> colours = ColoursOf(stored);
    if (colours.size() > 127)
        return {};
    const int n = BitsFor(int(colours.size()));
    const int maxRun = 255 >> n;
    uint8_t slot[128] = {};
    for (size_t i = 0; i < colours.size(); ++i)
        slot[colours[i]] = uint8_t(i);
    std::vector<uint8_t> out{uint8_t(colours.size())};
    out.insert(out.end(), colours.begin(), colours.end());
    for (int i = 0; i < kTilePixels;) {
        const uint8_t c = stored[i] & 0x7F;
        int run = 1;
        while (i + run < kTilePixels && (stored[i + run] & 0x7F) == c && run < maxRun)
            ++run;
        out.push_back(uint8_t((run << n) | slot[c]));
        i += run;
    }
    return out;
}

std::vector<uint8_t> EncodePackedTile(const uint8_t* image)
{
    uint8_t stored[kTilePixels];
    ToStoredOrder(image, stored);
    const std::vector<uint8_t> colours = ColoursOf(stored);
    if (colours.size() > 127)
        return {};
    std::vector<uint8_t> out{uint8_t(-int(colours.size()))};
    out.insert(out.end(), colours.begin(), colours.end());
    const int n = BitsFor(int(colours.size()));
    if (n == 0)
        return out;
    uint8_t slot[128] = {};
    for (size_t i = 0; i < colours.size(); ++i)
        slot[colours[i]] = uint8_t(i);
    const int perWord = 32 / n;
    for (int i = 0; i < kTilePixels; i += perWord) {
        uint32_t w = 0;
        for (int j = 0; j < perWord && i + j < kTilePixels; ++j)
            w |= uint32_t(slot[stored[i + j] & 0x7F]) << (n * j);
        for (int b = 0; b < 4; ++b)
            out.push_back(uint8_t(w >> (8 * b)));
    }
    return out;
}

std::vector<uint8_t> EncodeTile(const uint8_t* image, TileKind kind)
{
    switch (kind) {
    case TileKind::Huffman:
        return EncodeHuffmanTile(image);
    case TileKind::RunLength:
        return EncodeRunLengthTile(image);
    case TileKind::Packed:
        return EncodePackedTile(image);
    case TileKind::Smallest:
        break;
    }
    std::vector<uint8_t> best = EncodeHuffmanTile(image);
    for (auto candidate : {EncodePackedTile(image), EncodeRunLengthTile(image)})
        if (!candidate.empty() && candidate.size() < best.size())
            best = std::move(candidate);
    return best;
}

std::vector<uint8_t> EncodeChunkStream(const uint8_t* stored, uint32_t count)
{
    // Runs split into the four run classes: 1, 2-5, 6-21, 22-277 pixels.
    struct Run
    {
        uint8_t colour;
        int cls;
        uint32_t extra;
    };
    std::vector<Run> runs;
    for (uint32_t i = 0; i < count;) {
        const uint8_t c = stored[i] & 0x7F;
        uint32_t r = 1;
        while (i + r < count && (stored[i + r] & 0x7F) == c && r < 277)
            ++r;
        if (r >= 22)
            runs.push_back({c, 3, r - 22});
        else if (r >= 6)
            runs.push_back({c, 2, r - 6});
        else if (r >= 2)
            runs.push_back({c, 1, r - 2});
        else
            runs.push_back({c, 0, 0});
        i += r;
    }
    std::map<int, uint64_t> freq;
    for (const Run& r : runs)
        ++freq[r.colour | (r.cls << 8)];
    auto root = BuildHuffman(freq);
    std::vector<uint16_t> table;
    SerializeChunkTree(root.get(), table);
    std::map<int, CCode> codes;
    CollectCodes(root.get(), 0, 0, codes);
    CBitWriter bits;
    for (const Run& r : runs) {
        const CCode& code = codes[r.colour | (r.cls << 8)];
        bits.Put(code.bits, code.length);
        const int extraBits = r.cls ? 1 << r.cls : 0;
        for (int b = extraBits - 1; b >= 0; --b) // most significant first
            bits.Put((r.extra >> b) & 1, 1);
    }
    if (table.size() % 2)
        table.push_back(0);
    const uint32_t streamStart = 1 + uint32_t(table.size() / 2);
    std::vector<uint8_t> out;
    for (int b = 0; b < 4; ++b)
        out.push_back(uint8_t(streamStart >> (8 * b)));
    for (uint16_t e : table) {
        out.push_back(uint8_t(e));
        out.push_back(uint8_t(e >> 8));
    }
    std::vector<uint8_t>& stream = bits.Bytes();
    stream.resize(std::max<size_t>(4, (stream.size() + 3) / 4 * 4), 0);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

} // namespace chartwriter
