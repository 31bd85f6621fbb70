#include "app/shell/InstanceFrames.h"

#include "foundation/util/StringUtil.h"

#include <algorithm>

namespace {

void AppendWord(std::string& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

uint32_t ReadWord(const std::string& bytes)
{
    uint32_t value = 0;
    for (char c : bytes)
        value = value << 8 | static_cast<unsigned char>(c);
    return value;
}

} // namespace

CInstanceFrameDecoder::State CInstanceFrameDecoder::Fail()
{
    m_state = State::Bad;
    m_frame.clear();
    m_arguments.clear();
    return m_state;
}

CInstanceFrameDecoder::State CInstanceFrameDecoder::Feed(const char* bytes, size_t size)
{
    size_t at = 0;
    while (at < size) {
        if (m_state != State::More)
            return Fail();
        if (!m_haveCount || !m_haveLength) {
            const size_t take = std::min(size - at, size_t(4) - m_header.size());
            m_header.append(bytes + at, take);
            at += take;
            if (m_header.size() < 4)
                break;
            const uint32_t value = ReadWord(m_header);
            m_header.clear();
            if (!m_haveCount) {
                if (value > kMaxArguments)
                    return Fail();
                m_haveCount = true;
                m_count = value;
                if (m_count == 0)
                    m_state = State::Done;
                continue;
            }
            if (value > kMaxFrameBytes)
                return Fail();
            m_haveLength = true;
            m_length = value;
        }
        const size_t take = std::min(size - at, size_t(m_length) - m_frame.size());
        m_frame.append(bytes + at, take);
        at += take;
        if (m_frame.size() < m_length)
            break;
        if (m_frame.find('\0') != std::string::npos || !IsValidUTF8(m_frame))
            return Fail();
        m_arguments.push_back(std::move(m_frame));
        m_frame.clear();
        m_haveLength = false;
        if (m_arguments.size() == m_count)
            m_state = State::Done;
    }
    return m_state;
}

std::string CInstanceFrameDecoder::Encode(const std::vector<std::string>& arguments)
{
    if (arguments.size() > kMaxArguments)
        return {};
    std::string out;
    AppendWord(out, static_cast<uint32_t>(arguments.size()));
    for (const std::string& argument : arguments) {
        if (argument.size() > kMaxFrameBytes)
            return {};
        AppendWord(out, static_cast<uint32_t>(argument.size()));
        out += argument;
    }
    return out;
}
