#include "charts/chunked/SegmentedFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Holds an advisory lock on a file descriptor for a scope.
class CFileLock
{
public:
    explicit CFileLock(int fd) : m_fd(fd)
    {
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~CFileLock()
    {
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_UN);
    }

private:
    int m_fd;
};

} // namespace

CSegmentedFile::CSegmentedFile()
{
    for (int& fd : m_fds)
        fd = -1;
}

CSegmentedFile::~CSegmentedFile()
{
    Close();
}

bool CSegmentedFile::Open(const std::string& path, int mode)
{
    Close();
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int& fd : m_fds)
        fd = -1;
    for (bool& t : m_truncated)
        t = false;
    m_currentPart = -1;
    m_lastError = 0;
    m_writeError = false;
    if (mode < kReadOnly || mode > kReadWrite || path.empty()) {
        m_lastError = EINVAL;
        return false;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            m_folder = true;
        } else if (S_ISREG(st.st_mode)) {
            m_folder = false;
            int flags = O_CLOEXEC | (mode == kReadOnly ? O_RDONLY : O_RDWR);
            if (mode == kCreateTruncate)
                flags |= O_TRUNC;
            int fd = ::open(path.c_str(), flags);
            if (fd < 0) {
                m_lastError = errno;
                return false;
            }
            m_fds[0] = fd;
        } else {
            m_lastError = EINVAL;
            return false;
        }
    } else {
        if (mode == kReadOnly) {
            m_lastError = errno;
            return false;
        }
        std::error_code ec;
        std::filesystem::create_directories(path, ec);
        if (ec) {
            m_lastError = ec.value();
            return false;
        }
        m_folder = true;
    }
    m_path = path;
    m_mode = mode;
    return true;
}

void CSegmentedFile::Close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mode == kClosed)
        return;
    for (int& fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    m_mode = kClosed;
    m_currentPart = -1;
}

int CSegmentedFile::GetMode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mode;
}

bool CSegmentedFile::IsFolder() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_folder;
}

int CSegmentedFile::GetLastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

bool CSegmentedFile::HasWriteError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writeError;
}

int CSegmentedFile::PartFd(int part, bool create)
{
    if (m_mode == kClosed || part < 0 || part >= kMaxParts) {
        m_lastError = EINVAL;
        return -1;
    }
    if (m_fds[part] >= 0)
        return m_fds[part];
    if (!m_folder) {
        m_lastError = EINVAL;
        return -1;
    }
    const std::string name = m_path + "/" + std::to_string(part);
    int flags = O_CLOEXEC;
    if (m_mode == kReadOnly) {
        flags |= O_RDONLY;
    } else {
        flags |= O_RDWR;
        if (create)
            flags |= O_CREAT;
        if (m_mode == kCreateTruncate && !m_truncated[part])
            flags |= O_CREAT | O_TRUNC;
    }
    int fd = ::open(name.c_str(), flags, 0644);
    if (fd < 0) {
        m_lastError = errno;
        return -1;
    }
    m_truncated[part] = true;
    m_fds[part] = fd;
    return fd;
}

bool CSegmentedFile::SplitPosition(uint64_t position, int& part, uint64_t& offset)
{
    if (!m_folder) {
        part = 0;
        offset = position;
        return position < (uint64_t(1) << 62);
    }
    const uint64_t p = position >> 32;
    if (p >= kMaxParts) {
        m_lastError = EINVAL;
        return false;
    }
    part = int(p);
    offset = position & 0xFFFFFFFFu;
    return true;
}

int64_t CSegmentedFile::Read(uint64_t position, void* buffer, size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int part;
    uint64_t offset;
    if (!buffer || !SplitPosition(position, part, offset))
        return -1;
    const int fd = PartFd(part, false);
    if (fd < 0)
        return -1;
    size_t done = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (done < length) {
        const ssize_t n = ::pread(fd, out + done, length - done, off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_lastError = errno;
            return -1;
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    return int64_t(done);
}

bool CSegmentedFile::WriteAt(int fd, uint64_t offset, const void* buffer, size_t length)
{
    const auto* in = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(fd, in + done, length - done, off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_lastError = errno;
            m_writeError = true;
            return false;
        }
        if (n == 0) {
            m_lastError = EIO;
            m_writeError = true;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool CSegmentedFile::Write(uint64_t position, const void* buffer, size_t length)
{
    return WriteTwo(position, buffer, length, nullptr, 0);
}

bool CSegmentedFile::WriteTwo(uint64_t position, const void* first, size_t firstLength, const void* second,
                              size_t secondLength)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int part;
    uint64_t offset;
    if (m_mode != kCreateTruncate && m_mode != kReadWrite) {
        m_lastError = EBADF;
        return false;
    }
    if (!SplitPosition(position, part, offset))
        return false;
    // A region never runs over the end of its part.
    if (m_folder && offset + firstLength + secondLength > kPartLimit) {
        m_lastError = EINVAL;
        return false;
    }
    const int fd = PartFd(part, true);
    if (fd < 0) {
        m_writeError = true;
        return false;
    }
    if (firstLength && !WriteAt(fd, offset, first, firstLength))
        return false;
    if (secondLength && !WriteAt(fd, offset + firstLength, second, secondLength))
        return false;
    return true;
}

int64_t CSegmentedFile::Allocate(uint64_t size, uint64_t alignment)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mode != kCreateTruncate && m_mode != kReadWrite) {
        m_lastError = EBADF;
        return -1;
    }
    if (size == 0 || size > kPartLimit || alignment == 0 || alignment > 4096) {
        m_lastError = EINVAL;
        return -1;
    }
    const int fd0 = PartFd(0, true);
    if (fd0 < 0) {
        m_writeError = true;
        return -1;
    }
    // Another process appending to the same store waits here.
    CFileLock fileLock(fd0);
    if (m_folder && m_currentPart < 0) {
        int part = 0;
        struct stat st;
        while (part < kMaxParts && ::stat((m_path + "/" + std::to_string(part)).c_str(), &st) == 0)
            ++part;
        m_currentPart = std::clamp(part - 1, 0, kMaxParts - 1);
    }
    int part = m_folder ? m_currentPart : 0;
    for (;;) {
        const int fd = PartFd(part, true);
        if (fd < 0) {
            m_writeError = true;
            return -1;
        }
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            m_lastError = errno;
            m_writeError = true;
            return -1;
        }
        const uint64_t end = uint64_t(st.st_size);
        const uint64_t start = (end + alignment - 1) / alignment * alignment;
        if (m_folder && start + size > kPartLimit) {
            if (part + 1 >= kMaxParts) {
                m_lastError = EINVAL;
                m_writeError = true;
                return -1;
            }
            ++part;
            continue;
        }
        // One byte at the region's end reserves all of it.
        const uint8_t zero = 0;
        if (!WriteAt(fd, start + size - 1, &zero, 1))
            return -1;
        if (m_folder)
            m_currentPart = part;
        return m_folder ? int64_t((uint64_t(part) << 32) | start) : int64_t(start);
    }
}
