// The RMB formatter over arbitrary names and values: the sentence is valid
// NMEA or nothing at all.
#include "instruments/nmea/NMEASentence.h"
#include "overlays/model/AutopilotRMB.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

template <class T> T Take(const uint8_t*& data, size_t& size)
{
    T value{};
    const size_t n = size < sizeof value ? size : sizeof value;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CRMBFields f;
    f.crossTrack = Take<float>(data, size);
    f.latitude = Take<double>(data, size);
    f.longitude = Take<double>(data, size);
    f.distance = Take<float>(data, size);
    f.bearing = Take<float>(data, size);
    f.closingKnots = Take<float>(data, size);
    f.arrived = Take<uint8_t>(data, size) & 1;
    f.identifier.assign(reinterpret_cast<const char*>(data), size);
    std::string text;
    if (!FormatAutopilotRMB(f, text))
        return 0;
    if (text.size() > 77 || text.compare(0, 7, "$ECRMB,") != 0)
        std::abort();
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ',' || c == '.' || c == '-';
        if (!ok)
            std::abort();
    }
    char line[200];
    std::memcpy(line, text.c_str(), text.size() + 1);
    if (!AppendNMEAChecksum(line, sizeof line) || !VerifyNMEAChecksum(line) || std::strlen(line) + 2 > 82)
        std::abort();
    return 0;
}
