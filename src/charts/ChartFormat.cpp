#include "charts/ChartFormat.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace chartfile {

std::string Latin1ToUtf8(const uint8_t* bytes, size_t length)
{
    std::string s;
    s.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = bytes[i];
        if (b < 0x80) {
            s.push_back(char(b));
        } else {
            s.push_back(char(0xC0 | (b >> 6)));
            s.push_back(char(0x80 | (b & 0x3F)));
        }
    }
    return s;
}

std::string StringAt(const uint8_t* file, uint64_t size, uint64_t offset)
{
    if (!file || offset == 0 || offset >= size)
        return {};
    const uint8_t* p = file + offset;
    size_t limit = size_t(std::min<uint64_t>(size - offset, kMaxStringBytes));
    const void* zero = std::memchr(p, 0, limit);
    size_t length = zero ? size_t(static_cast<const uint8_t*>(zero) - p) : limit;
    return Latin1ToUtf8(p, length);
}

} // namespace chartfile

void ReadHeaderString(int fd, uint32_t offset, std::string& out)
{
    out.clear();
    if (offset == 0 || fd < 0)
        return;
    uint8_t buf[chartfile::kMaxStringBytes];
    ssize_t got;
    do
        got = pread(fd, buf, sizeof buf, off_t(offset));
    while (got < 0 && errno == EINTR);
    if (got <= 0)
        return;
    const void* zero = std::memchr(buf, 0, size_t(got));
    size_t length = zero ? size_t(static_cast<const uint8_t*>(zero) - buf) : size_t(got);
    out = chartfile::Latin1ToUtf8(buf, length);
}
