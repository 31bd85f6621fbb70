// Hand-over messages from another local process, in pieces of any size: a
// message is either refused or decodes to at most 16 arguments of at most
// 64 KiB each, without NUL, and encodes back to the bytes it came from.
#include "app/shell/InstanceFrames.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the piece size, as the socket would deliver them.
    const size_t piece = size_t(data[0] % 17) + 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;
    CInstanceFrameDecoder decoder;
    size_t used = 0;
    CInstanceFrameDecoder::State state = CInstanceFrameDecoder::State::More;
    for (size_t at = 0; at < length; at += piece) {
        state = decoder.Feed(bytes + at, std::min(piece, length - at));
        used = std::min(at + piece, length);
        if (state != CInstanceFrameDecoder::State::More)
            break;
    }
    if (state != CInstanceFrameDecoder::State::Done)
        return 0;
    const auto& arguments = decoder.Arguments();
    if (arguments.size() > CInstanceFrameDecoder::kMaxArguments)
        std::abort();
    for (const std::string& argument : arguments)
        if (argument.size() > CInstanceFrameDecoder::kMaxFrameBytes ||
            argument.find('\0') != std::string::npos)
            std::abort();
    if (CInstanceFrameDecoder::Encode(arguments) != std::string(bytes, used))
        std::abort();
    return 0;
}
