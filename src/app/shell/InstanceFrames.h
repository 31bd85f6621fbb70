#pragma once
// What a second launch hands to the running instance: the argument count as a
// big-endian u32, then each argument as a big-endian u32 length and its bytes.
// The receiver reads whatever has arrived, never waiting for more; anything
// out of bounds ends the exchange.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CInstanceFrameDecoder
{
public:
    static constexpr size_t kMaxFrameBytes = 64 * 1024;
    static constexpr uint32_t kMaxArguments = 16;
    // The one byte the receiver answers a whole message with.
    static constexpr char kAcknowledge = 0x06;

    enum class State { More, Done, Bad };

    // Takes the next bytes. Done once every argument arrived; Bad (for good)
    // for an oversized frame, too many arguments, an argument holding NUL or
    // invalid UTF-8, or bytes after the end.
    State Feed(const char* bytes, size_t size);
    State Current() const { return m_state; }
    const std::vector<std::string>& Arguments() const { return m_arguments; }

    // The message for `arguments`; "" when there are more than kMaxArguments
    // or one is longer than kMaxFrameBytes.
    static std::string Encode(const std::vector<std::string>& arguments);

private:
    State Fail();

    State m_state = State::More;
    bool m_haveCount = false;
    uint32_t m_count = 0;
    bool m_haveLength = false;
    uint32_t m_length = 0;
    std::string m_header; // the u32 being read
    std::string m_frame;  // the argument being read
    std::vector<std::string> m_arguments;
};
