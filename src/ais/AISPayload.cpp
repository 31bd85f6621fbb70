#include "ais/AISPayload.h"

namespace CNEMA_AIS {

int DearmourSixBit(char c)
{
    const int k = static_cast<unsigned char>(c);
    if (k >= '0' && k <= 'W')
        return k - '0';
    if (k >= '`' && k <= 'w')
        return k - '`' + 40;
    return -1;
}

namespace {

struct ArmourTable
{
    int8_t value[256];
    constexpr ArmourTable() : value()
    {
        for (int k = 0; k < 256; ++k)
            value[k] = k >= '0' && k <= 'W'   ? int8_t(k - '0')
                       : k >= '`' && k <= 'w' ? int8_t(k - '`' + 40)
                                              : -1;
    }
};
constexpr ArmourTable kArmour;

} // namespace

bool CAISPayload::Append(const char* payload)
{
    // Characters are gathered in a 64-bit accumulator and stored a word at a
    // time. The bits already held in the current word are taken up first.
    // Words past the count may be changed even when the payload is refused:
    // they are never read.
    uint32_t count = m_bitCount;
    uint32_t word = count / 32;
    uint32_t held = count % 32;
    uint64_t acc = held ? (m_words[word] >> (32 - held)) : 0;
    for (const char* p = payload; *p && *p != ',' && *p != '*'; ++p) {
        const int v = kArmour.value[static_cast<unsigned char>(*p)];
        if (v < 0)
            return false;
        if (count >= kMaxBits)
            continue; // dropped, but still checked
        const uint32_t take = kMaxBits - count < 6 ? kMaxBits - count : 6;
        acc = (acc << take) | (uint32_t(v) >> (6 - take));
        held += take;
        count += take;
        if (held >= 32) {
            held -= 32;
            m_words[word++] = uint32_t(acc >> held);
            acc &= (uint64_t(1) << held) - 1;
        }
    }
    if (held > 0) {
        const uint32_t rest = (1u << (32 - held)) - 1;
        m_words[word] = uint32_t(acc << (32 - held)) | (m_words[word] & rest);
    }
    m_bitCount = count;
    return true;
}

uint32_t CAISPayload::Bits(uint32_t start, uint32_t n) const
{
    // A 64-bit window over the two words the field can touch.
    const uint32_t word = start / 32;
    const uint64_t high = m_words[word];
    const uint64_t low = word + 1 < kMaxBits / 32 ? m_words[word + 1] : 0;
    const uint64_t window = (high << 32) | low;
    return uint32_t((window << (start % 32)) >> (64 - n));
}

bool CAISBitReader::Unsigned(uint32_t n, uint32_t& out)
{
    const uint32_t start = m_cursor;
    m_cursor += n;
    if (n == 0 || n > 32 || !m_payload.Has(start, n))
        return false;
    out = m_payload.Bits(start, n);
    return true;
}

bool CAISBitReader::Signed(uint32_t n, int32_t& out)
{
    uint32_t v;
    if (!Unsigned(n, v))
        return false;
    if (n < 32 && (v & (1u << (n - 1))))
        v |= ~0u << n;
    out = int32_t(v);
    return true;
}

void CAISBitReader::Text(uint32_t n, char* out, size_t capacity)
{
    const uint32_t start = m_cursor;
    m_cursor += n;
    if (capacity == 0)
        return;
    size_t len = 0;
    for (uint32_t at = start; at + 6 <= start + n && m_payload.Has(at, 6) && len + 1 < capacity; at += 6) {
        const uint32_t v = m_payload.Bits(at, 6);
        out[len++] = char(v < 32 ? v + 64 : v);
    }
    while (len > 0 && (out[len - 1] == '@' || out[len - 1] == ' '))
        --len;
    out[len] = '\0';
}

} // namespace CNEMA_AIS
