// The first bytes of a document without extension: never read past what is
// there, and every match agrees with the bytes that decided it.
#include "app/shell/LinkCommand.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly `size` bytes, so a read past it is caught.
    const std::vector<uint8_t> bytes(data, data + size);
    const CDocumentType type = SniffType(bytes.data(), bytes.size());
    if (size < 4 && type != CDocumentType::None)
        std::abort();
    if (type == CDocumentType::Gpx && bytes[0] != '<')
        std::abort();
    if (type == CDocumentType::Layout && size < kSniffBytes)
        std::abort();
    std::string name(reinterpret_cast<const char*>(data), size);
    (void)TypeFromExtension(LowerExtension(name));
    return 0;
}
