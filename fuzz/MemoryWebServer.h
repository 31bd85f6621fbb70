#pragma once
// A web client whose ranged reads are answered from files in memory, so the
// code that reads server files can be fuzzed without a network. A read past
// a file's end is short, as a real server's is; a missing file reads nothing.
#include "foundation/web/WebServer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace fuzzsupport {

class CMemoryWebServer : public CWebServer
{
public:
    // The bytes of the file at a path (false: no such file).
    using Files = std::function<bool(const std::string& path, const uint8_t*& data, size_t& size)>;

    explicit CMemoryWebServer(Files files) : CWebServer("fuzz.example.test", false), m_files(std::move(files))
    {
    }

    int reads = 0;

    int32_t ReadRange(const char* path, int64_t offset, int32_t size, void* destination) override
    {
        ++reads;
        if (!HasBaseURL())
            return -1;
        const uint8_t* data = nullptr;
        size_t length = 0;
        if (!path || !destination || size <= 0 || offset < 0 || !m_files(path, data, length))
            return 0;
        if (uint64_t(offset) >= length)
            return 0;
        const size_t n = std::min<size_t>(size_t(size), length - size_t(offset));
        std::memcpy(destination, data + offset, n);
        return int32_t(n);
    }

private:
    Files m_files;
};

} // namespace fuzzsupport
