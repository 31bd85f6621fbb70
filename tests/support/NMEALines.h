#pragma once
// Sentences handed to the dispatcher as a receiver sends them.
#include "instruments/nmea/NMEASentence.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace tessatest {

// Dispatches a line as received, adding the checksum when it has none.
inline void SendSentence(const std::string& line)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s", line.c_str());
    if (!std::strchr(buf, '*'))
        AppendNMEAChecksum(buf, sizeof buf);
    DispatchNMEALine(buf, nullptr);
}

} // namespace tessatest
