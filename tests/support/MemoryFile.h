#pragma once
// Fuzz input as a file that needs no disk: an anonymous memory file, reached
// by a path while the object lives.
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace tessatest {

class CMemoryFile
{
public:
    CMemoryFile(const uint8_t* data, size_t size) : m_fd(memfd_create("fuzz", MFD_CLOEXEC))
    {
        size_t written = 0;
        while (m_fd >= 0 && written < size) {
            const ssize_t n = write(m_fd, data + written, size - written);
            if (n <= 0)
                break;
            written += size_t(n);
        }
    }
    ~CMemoryFile()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CMemoryFile(const CMemoryFile&) = delete;
    CMemoryFile& operator=(const CMemoryFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(m_fd); }

private:
    int m_fd;
};

} // namespace tessatest
