#pragma once
// Files and folders on disk, and thin wrappers over the POSIX file calls used
// by the chart reader and the place-name database. Every write of a whole file
// goes through CAtomicFileWriter, so a failure never leaves a partial target.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// Creates the folder and its missing parents; true when the path is then a folder.
bool CreateDirectoryPath(const std::string& path);
bool IsDirectory(const std::string& path);
// True for a regular file, or a link to one.
bool IsRegularFile(const std::string& path);
// st_size; 0 when the file cannot be examined.
int64_t GetFileSize(const std::string& path);
// Seconds since 1970; 0 when the file cannot be examined.
time_t GetFileModificationTime(const std::string& path);

// Whether `name` matches `pattern`: '*' any run, '?' any one byte, letters
// compared ignoring case.
bool MatchFileNamePattern(const std::string& pattern, const std::string& name);
// folder + "/" + name of every entry whose name matches.
std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern);
// The names of all entries except "." and "..".
std::vector<std::string> ListFolder(const std::string& folder);
// The names of the sub-folders that do not begin with '.'.
std::vector<std::string> ListSubfolders(const std::string& folder);

// Deletes a file or link, or a folder after deleting the entries in it (one
// level). Links are removed, never followed.
bool DeleteFolder(const std::string& path);
// The total size of the regular files in a folder whose names do not begin
// with '.', or a file's size.
int64_t GetFolderSize(const std::string& path);
// The newest modification time in the folder and below. Linked folders are not
// entered, so a link loop cannot recurse without end.
time_t GetNewestModificationTime(const std::string& folder);

// The identity of a file or folder: its device and inode, or, when it cannot
// be examined, a hash of the path text (device then all ones).
struct CFileId
{
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const CFileId& o) const { return device == o.device && inode == o.inode; }
    bool operator!=(const CFileId& o) const { return !(*this == o); }
    bool operator<(const CFileId& o) const
    {
        return device != o.device ? device < o.device : inode < o.inode;
    }
};
CFileId GetFileId(const std::string& path);

// Renames; across file systems it copies and deletes the source only after
// the copy is complete. False keeps the source as it was.
bool MoveFile(const std::string& from, const std::string& to);
// Copies the bytes into a temporary file beside the target and renames it
// over the target; false on any error, leaving the target as it was.
bool CopyFile(const std::string& from, const std::string& to);
constexpr int64_t kMaxReadFileBytes = 100000000;
// The whole file; false when it cannot be read or is larger than maxBytes.
bool ReadFileToBuffer(const std::string& path, std::vector<uint8_t>& bytes,
                      int64_t maxBytes = kMaxReadFileBytes);
// Whether the file could be opened for appending (or created, when it does not
// exist yet). Nothing is created.
bool CanAppendToFile(const std::string& path);
// The bytes the user may still write on the path's volume; -1 when unknown.
int64_t GetFreeDiskSpace(const std::string& path);

struct CIntRect
{
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};
// Whether two rectangles overlap; touching edges do not count.
bool IntRectsOverlap(const CIntRect& a, const CIntRect& b);

// File descriptors. Mode 2 opens read-only, 1 for writing (created and
// truncated), anything else read-write (created). -1 on failure.
int FileOpen(const std::string& path, int mode);
// True when more than 0 bytes were read; the count goes to `count`.
bool FileRead(int fd, void* buffer, size_t size, size_t* count = nullptr);
bool FileWrite(int fd, const void* buffer, size_t size);
void FileClose(int fd);
bool FileSeek(int fd, int64_t offset);
// lseek with SEEK_SET, SEEK_CUR or SEEK_END; the new position or -1.
int64_t FileSeekFrom(int fd, int64_t offset, int origin);
bool FileUnlink(const std::string& path);
bool FileRename(const std::string& from, const std::string& to);

// A read-only mapping. The pages are mapped from the page boundary below the
// asked offset; `data` points at the asked offset itself.
struct CFileMapping
{
    void* base = nullptr;
    size_t mapped_length = 0;
    const uint8_t* data = nullptr;
    size_t length = 0;
};
// Maps `length` bytes from `offset`; nullptr on failure (the handle stays empty).
const uint8_t* FileMapReadOnly(int fd, int64_t offset, size_t length, CFileMapping& mapping);
void FileUnmap(CFileMapping& mapping);
