// The synchronisation time file and the name it is kept under: any bytes give
// 0 or a finite time no later than a minute ahead, and any user name gives a
// file name of safe characters that stays in the folder.
#include "app/shell/SyncOverlays.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const double now = 1.7e9;
    const double time = ParseSyncTime(data, size, now);
    if (!std::isfinite(time) || time < 0 || time > now + 60 || (size != 8 && time != 0))
        std::abort();
    const std::string name = SyncTimeFileName(std::string(reinterpret_cast<const char*>(data), size));
    if (name.rfind("time.", 0) != 0 || name.size() > 5 + 25 + 9)
        std::abort();
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == '+'))
            std::abort();
    return 0;
}
