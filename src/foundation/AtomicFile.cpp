#include "foundation/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <stdlib.h>
#include <sys/random.h>
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

constexpr char kTempMarker[] = ".tmp-";
constexpr size_t kTempMarkerLength = sizeof kTempMarker - 1;
constexpr size_t kTempSuffixLength = 6;

bool HasEveryCharacterClass(const char* suffix)
{
    bool upper = false, lower = false, digit = false;
    for (size_t i = 0; i < kTempSuffixLength; ++i) {
        const char c = suffix[i];
        if (c >= 'A' && c <= 'Z')
            upper = true;
        else if (c >= 'a' && c <= 'z')
            lower = true;
        else if (c >= '0' && c <= '9')
            digit = true;
        else
            return false;
    }
    return upper && lower && digit;
}

// Six random letters and digits of the writer's form. Random bytes come from
// the kernel; should that fail, from the library's device.
void MakeTempSuffix(char* suffix)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 64; ++attempt) {
        unsigned char bytes[kTempSuffixLength];
        if (::getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) {
            std::random_device device;
            for (unsigned char& b : bytes)
                b = static_cast<unsigned char>(device());
        }
        for (size_t i = 0; i < kTempSuffixLength; ++i)
            suffix[i] = kAlphabet[bytes[i] % 62];
        if (HasEveryCharacterClass(suffix))
            return;
    }
    std::memcpy(suffix, "Tmp0a1", kTempSuffixLength);
}

} // namespace

bool IsAtomicWriterTempName(const std::string& name)
{
    const size_t minimum = 1 + kTempMarkerLength + kTempSuffixLength;
    if (name.size() < minimum)
        return false;
    const size_t at = name.size() - kTempSuffixLength - kTempMarkerLength;
    return name.compare(at, kTempMarkerLength, kTempMarker) == 0 &&
           HasEveryCharacterClass(name.data() + at + kTempMarkerLength);
}

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
    // Named by the writer itself rather than by mkstemp, whose names can be
    // any letters: the start-up sweep must tell its files from the user's.
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        char suffix[kTempSuffixLength];
        MakeTempSuffix(suffix);
        m_temp = path + kTempMarker + std::string(suffix, kTempSuffixLength);
        fd = ::open(m_temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        m_temp.clear();
        return Fail("cannot create a temporary file");
    }
    // Made 0600; a replaced file keeps its own permission bits (a store the
    // user made private stays so), a new one gets the usual ones. The old
    // file is looked at, not what a link in its place points to, and never
    // lends the new one a setuid, setgid or sticky bit.
    struct stat existing;
    if (::lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        fchmod(fd, existing.st_mode & 0777);
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
