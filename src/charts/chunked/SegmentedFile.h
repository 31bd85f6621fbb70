#pragma once
// The local chunk store's file: either one plain file (a position is a plain
// byte offset) or a folder of part files named "0" to "99" (a position is
// (part << 32) | offset in that part), so a store can grow past what one file
// on some file systems may hold. Every operation holds the file's mutex, so a
// region written by one thread is read whole by another.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

class CSegmentedFile
{
public:
    enum Mode : int { kReadOnly = 0, kCreateTruncate = 1, kReadWrite = 2, kClosed = 3 };
    static constexpr int kMaxParts = 100;
    static constexpr uint64_t kPartLimit = uint64_t(1) << 32;

    CSegmentedFile();
    ~CSegmentedFile();
    CSegmentedFile(const CSegmentedFile&) = delete;
    CSegmentedFile& operator=(const CSegmentedFile&) = delete;

    // A folder at the path: parts; a plain file: that file; nothing there:
    // read-only fails, the other modes make a folder (and missing parents).
    bool Open(const std::string& path, int mode);
    void Close();

    // Bytes read (fewer at the end of a part) or -1.
    int64_t Read(uint64_t position, void* buffer, size_t length);
    // True when every byte was written.
    bool Write(uint64_t position, const void* buffer, size_t length);
    bool WriteTwo(uint64_t position, const void* first, size_t firstLength, const void* second,
                  size_t secondLength);
    // A new region of `size` bytes at the end, its start a multiple of
    // `alignment`; -1 when none can be made. The end is taken from the real
    // file size each time, under the mutex and an advisory lock on part 0, so
    // two users of the store (or two processes) never get the same region.
    int64_t Allocate(uint64_t size, uint64_t alignment);

    int GetMode() const;
    bool IsFolder() const;
    const std::string& GetPath() const { return m_path; }
    // errno of the last failed operation (0: none).
    int GetLastError() const;
    // True once a write or an allocation failed: the store then fetches nothing more.
    bool HasWriteError() const;

private:
    int PartFd(int part, bool create); // with the mutex held
    bool SplitPosition(uint64_t position, int& part, uint64_t& offset);
    bool WriteAt(int fd, uint64_t offset, const void* buffer, size_t length);

    mutable std::mutex m_mutex;
    std::string m_path;
    int m_mode = kClosed;
    bool m_folder = false;
    int m_fds[kMaxParts];
    bool m_truncated[kMaxParts] = {};
    int m_currentPart = -1; // found on the first allocation
    int m_lastError = 0;
    bool m_writeError = false;
};
