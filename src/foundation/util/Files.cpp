#include "foundation/util/Files.h"

#include "foundation/AtomicFile.h"
#include "foundation/util/Paths.h"

#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace {

bool Lstat(const std::string& path, struct stat& st)
{
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool Stat(const std::string& path, struct stat& st)
{
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

template <class F> void ForEachEntry(const std::string& folder, F&& f)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (struct dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        f(name);
    }
    ::closedir(dir);
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

void NewestBelow(const std::string& folder, time_t& newest, std::set<std::pair<dev_t, ino_t>>& visited,
                 int depth)
{
    // The depth bound is a second guard against pathological trees.
    if (depth > 256)
        return;
    ForEachEntry(folder, [&](const std::string& name) {
        std::string path = Join(folder, name);
        struct stat st;
        if (!Lstat(path, st))
            return;
        if (st.st_mtime > newest)
            newest = st.st_mtime;
        if (S_ISDIR(st.st_mode) && visited.insert({st.st_dev, st.st_ino}).second)
            NewestBelow(path, newest, visited, depth + 1);
    });
}

} // namespace

bool CreateDirectoryPath(const std::string& path)
{
    if (path.empty())
        return false;
    if (IsDirectory(path))
        return true;
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            std::string part = path.substr(0, pos);
            if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
                return false;
        }
    }
    return IsDirectory(path);
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return Stat(path, st) && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return !path.empty() && Stat(path, st) && S_ISREG(st.st_mode);
}

int64_t GetFileSize(const std::string& path)
{
    struct stat st;
    return Stat(path, st) ? static_cast<int64_t>(st.st_size) : 0;
}

time_t GetFileModificationTime(const std::string& path)
{
    struct stat st;
    return Stat(path, st) ? st.st_mtime : 0;
}

bool MatchFileNamePattern(const std::string& pattern, const std::string& name)
{
    // Iterative with one back-track point: linear-ish, whatever the pattern.
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    auto same = [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
    };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern)
{
    std::vector<std::string> found;
    ForEachEntry(folder, [&](const std::string& name) {
        if (MatchFileNamePattern(pattern, name))
            found.push_back(Join(folder, name));
    });
    return found;
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    ForEachEntry(folder, [&](const std::string& name) { names.push_back(name); });
    return names;
}

std::vector<std::string> ListSubfolders(const std::string& folder)
{
    std::vector<std::string> names;
    ForEachEntry(folder, [&](const std::string& name) {
        if (name[0] != '.' && IsDirectory(Join(folder, name)))
            names.push_back(name);
    });
    return names;
}

bool DeleteFolder(const std::string& path)
{
    struct stat st;
    if (!Lstat(path, st))
        return false;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.c_str()) == 0;
    ForEachEntry(path, [&](const std::string& name) {
        std::string entry = Join(path, name);
        struct stat est;
        if (!Lstat(entry, est))
            return;
        if (S_ISDIR(est.st_mode))
            ::rmdir(entry.c_str());
        else
            ::unlink(entry.c_str());
    });
    return ::rmdir(path.c_str()) == 0;
}

int64_t GetFolderSize(const std::string& path)
{
    struct stat st;
    if (!Stat(path, st))
        return 0;
    if (!S_ISDIR(st.st_mode))
        return static_cast<int64_t>(st.st_size);
    int64_t total = 0;
    ForEachEntry(path, [&](const std::string& name) {
        struct stat est;
        if (name[0] != '.' && Lstat(Join(path, name), est) && S_ISREG(est.st_mode))
            total += static_cast<int64_t>(est.st_size);
    });
    return total;
}

time_t GetNewestModificationTime(const std::string& folder)
{
    struct stat st;
    if (!Stat(folder, st))
        return 0;
    time_t newest = st.st_mtime;
    if (S_ISDIR(st.st_mode)) {
        std::set<std::pair<dev_t, ino_t>> visited{{st.st_dev, st.st_ino}};
        NewestBelow(folder, newest, visited, 0);
    }
    return newest;
}

CFileId GetFileId(const std::string& path)
{
    CFileId id;
    struct stat st;
    if (Stat(path, st)) {
        id.device = static_cast<uint64_t>(st.st_dev);
        id.inode = static_cast<uint64_t>(st.st_ino);
        return id;
    }
    uint64_t sum = 0;
    for (char c : path) {
        sum += static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(c)));
        sum = (sum << 4) | (sum >> 60);
    }
    id.device = ~uint64_t(0);
    id.inode = sum;
    return id;
}

bool CopyFile(const std::string& from, const std::string& to)
{
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st;
    if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(in);
        return false;
    }
    CAtomicFileWriter writer;
    bool ok = writer.Open(to);
    char buffer[65536];
    while (ok) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        ok = writer.Write(buffer, static_cast<size_t>(n));
    }
    ::close(in);
    if (!ok) {
        writer.Abort();
        return false;
    }
    return writer.Commit();
}

bool MoveFile(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    struct stat st;
    if (!Lstat(from, st) || !S_ISREG(st.st_mode))
        return false;
    if (!CopyFile(from, to))
        return false;
    return ::unlink(from.c_str()) == 0;
}

bool ReadFileToBuffer(const std::string& path, std::vector<uint8_t>& bytes, int64_t maxBytes)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes) {
        ::close(fd);
        return false;
    }
    std::vector<uint8_t> data;
    data.reserve(static_cast<size_t>(st.st_size));
    uint8_t buffer[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        // The file may grow while it is read.
        if (data.size() + static_cast<size_t>(n) > static_cast<size_t>(maxBytes)) {
            ok = false;
            break;
        }
        data.insert(data.end(), buffer, buffer + n);
    }
    ::close(fd);
    if (ok)
        bytes.swap(data);
    return ok;
}

bool CanAppendToFile(const std::string& path)
{
    struct stat st;
    if (Stat(path, st)) {
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    }
    std::string folder = PathDirectory(path);
    return IsDirectory(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

int64_t GetFreeDiskSpace(const std::string& path)
{
    struct statvfs vfs;
    if (path.empty() || ::statvfs(path.c_str(), &vfs) != 0)
        return -1;
    return static_cast<int64_t>(vfs.f_frsize) * static_cast<int64_t>(vfs.f_bavail);
}

bool IntRectsOverlap(const CIntRect& a, const CIntRect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

int FileOpen(const std::string& path, int mode)
{
    int flags = mode == 2 ? O_RDONLY : mode == 1 ? (O_WRONLY | O_CREAT | O_TRUNC) : (O_RDWR | O_CREAT);
    return ::open(path.c_str(), flags | O_CLOEXEC, 0666);
}

bool FileRead(int fd, void* buffer, size_t size, size_t* count)
{
    ssize_t n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (count)
        *count = n > 0 ? static_cast<size_t>(n) : 0;
    return n > 0;
}

bool FileWrite(int fd, const void* buffer, size_t size)
{
    const char* p = static_cast<const char*>(buffer);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void FileClose(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

bool FileSeek(int fd, int64_t offset)
{
    return offset >= 0 && ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

int64_t FileSeekFrom(int fd, int64_t offset, int origin)
{
    return static_cast<int64_t>(::lseek(fd, static_cast<off_t>(offset), origin));
}

bool FileUnlink(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool FileRename(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

const uint8_t* FileMapReadOnly(int fd, int64_t offset, size_t length, CFileMapping& mapping)
{
    mapping = CFileMapping();
    if (fd < 0 || offset < 0 || length == 0)
        return nullptr;
    long page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0)
        page = 4096;
    int64_t aligned = offset - offset % page;
    size_t lead = static_cast<size_t>(offset - aligned);
    if (length > SIZE_MAX - lead)
        return nullptr;
    void* base = ::mmap(nullptr, length + lead, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(aligned));
    if (base == MAP_FAILED)
        return nullptr;
    mapping.base = base;
    mapping.mapped_length = length + lead;
    mapping.data = static_cast<const uint8_t*>(base) + lead;
    mapping.length = length;
    return mapping.data;
}

void FileUnmap(CFileMapping& mapping)
{
    if (mapping.base)
        ::munmap(mapping.base, mapping.mapped_length);
    mapping = CFileMapping();
}
