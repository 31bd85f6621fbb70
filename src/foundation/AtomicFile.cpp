#include "foundation/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// umask can only be read by setting it, which would open a window in which
// another thread creates world-writable files; so it is read once, while the
// process is still single-threaded (static initialisation, before main).
mode_t ReadUmask()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

std::atomic<mode_t> gProcessUmask{ReadUmask()};

} // namespace

mode_t ProcessUmask()
{
    return gProcessUmask.load(std::memory_order_relaxed);
}

void RememberProcessUmask()
{
    gProcessUmask.store(ReadUmask(), std::memory_order_relaxed);
}

CAtomicFileWriter::~CAtomicFileWriter()
{
    Abort();
}

bool CAtomicFileWriter::Fail(const char* what)
{
    m_error = std::string(what) + ": " + std::strerror(errno);
    m_failed = true;
    return false;
}

bool CAtomicFileWriter::Open(const std::string& path)
{
    Abort();
    m_error.clear();
    m_failed = false;
    m_target = path;
    m_temp = path + ".tmp-XXXXXX";
    int fd = mkostemp(m_temp.data(), O_CLOEXEC);
    if (fd < 0) {
        m_temp.clear();
        return Fail("cannot create a temporary file");
    }
    // mkstemp makes 0600; a replaced file keeps its own permissions (a store
    // the user made private stays so), a new one gets the usual ones.
    struct stat existing;
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        fchmod(fd, existing.st_mode & 07777);
    else
        fchmod(fd, 0666 & ~ProcessUmask());
    m_file = fdopen(fd, "wb");
    if (!m_file) {
        ::close(fd);
        unlink(m_temp.c_str());
        m_temp.clear();
        return Fail("cannot open the temporary file");
    }
    return true;
}

namespace {
// Tests run as root, where no folder refuses a write: they fail writes here.
std::atomic<bool> gFailWrites{false};
} // namespace

void CAtomicFileWriter::SetWriteFailureForTesting(bool on)
{
    gFailWrites = on;
}

bool CAtomicFileWriter::Write(const void* data, size_t size)
{
    if (!m_file || m_failed)
        return false;
    if (gFailWrites) {
        errno = ENOSPC;
        return Fail("write failed");
    }
    if (size && std::fwrite(data, 1, size, m_file) != size)
        return Fail("write failed");
    return true;
}

bool CAtomicFileWriter::Commit()
{
    if (!m_file) {
        if (m_error.empty())
            m_error = "file not open";
        return false;
    }
    bool ok = !m_failed && !std::ferror(m_file);
    if (ok && std::fflush(m_file) != 0)
        ok = Fail("flush failed");
    if (ok && fsync(fileno(m_file)) != 0)
        ok = Fail("sync failed");
    if (std::fclose(m_file) != 0 && ok)
        ok = Fail("close failed");
    m_file = nullptr;
    if (ok && std::rename(m_temp.c_str(), m_target.c_str()) != 0)
        ok = Fail("rename failed");
    if (!ok) {
        unlink(m_temp.c_str());
        m_temp.clear();
        return false;
    }
    m_temp.clear();
    // Make the rename itself durable.
    int dfd = ::open(FolderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
    return true;
}

int CAtomicFileWriter::Descriptor()
{
    return m_file ? fileno(m_file) : -1;
}

void CAtomicFileWriter::Abort()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temp.empty()) {
        unlink(m_temp.c_str());
        m_temp.clear();
    }
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string* error)
{
    CAtomicFileWriter w;
    bool ok = w.Open(path) && w.Write(data, size) && w.Commit();
    if (!ok && error)
        *error = w.Error();
    return ok;
}
