#pragma once
// The bits of one AIS message as its six-bit armoured payload carries them,
// and a reader that takes fields from them most significant bit first.
// Nothing here reads past the bits actually received.
#include <cstddef>
#include <cstdint>

namespace CNEMA_AIS {

// Six-bit value of an armour character ("0" to "W" are 0 to 39, "`" to "w"
// are 40 to 63); -1 for any other character.
int DearmourSixBit(char c);

class CAISPayload
{
public:
    static constexpr uint32_t kMaxBits = 992; // 31 words of 32 bits

    void Clear() { m_bitCount = 0; }
    // Appends the six bits of every character of `payload` (up to NUL, ','
    // or '*'); bits beyond kMaxBits are dropped. False, leaving the payload
    // as it was, when a character is outside the armour set.
    bool Append(const char* payload);
    uint32_t BitCount() const { return m_bitCount; }
    // Whether the n bits from `start` were all received.
    bool Has(uint32_t start, uint32_t n) const { return start <= m_bitCount && n <= m_bitCount - start; }
    // The n bits (1..32) from `start`; only for ranges that Has() accepts.
    uint32_t Bits(uint32_t start, uint32_t n) const;

private:
    uint32_t m_words[kMaxBits / 32] = {};
    uint32_t m_bitCount = 0;
};

// Reads consecutive fields; a field not wholly inside the received bits reads
// as absent (false) and the cursor still moves past it.
class CAISBitReader
{
public:
    explicit CAISBitReader(const CAISPayload& payload, uint32_t start = 0)
        : m_payload(payload), m_cursor(start)
    {
    }

    void Skip(uint32_t n) { m_cursor += n; }
    uint32_t Position() const { return m_cursor; }
    bool Unsigned(uint32_t n, uint32_t& out);
    // Two's complement of n bits.
    bool Signed(uint32_t n, int32_t& out);
    // n / 6 characters: values below 32 are "@" to "_", 32 to 63 are space to
    // "?". Only the whole characters received are taken; trailing "@" and
    // spaces are removed. `out` (of `capacity` bytes) always ends with a NUL.
    void Text(uint32_t n, char* out, size_t capacity);

private:
    const CAISPayload& m_payload;
    uint32_t m_cursor;
};

} // namespace CNEMA_AIS
