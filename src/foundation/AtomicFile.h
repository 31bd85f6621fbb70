#pragma once
// Replacing a file whole: everything that saves user data writes a temporary
// file in the same folder, flushes it to disk and renames it over the old one,
// so a crash or a full disk never leaves a half-written file behind.
#include <cstddef>
#include <cstdio>
#include <string>
#include <sys/types.h>

// The file-creation mask the process started with, read before any thread ran.
mode_t ProcessUmask();
// Reads the mask again (after start-up code changed it). Only while no other
// thread runs: reading the mask means setting it for a moment.
void RememberProcessUmask();

// Whether `name` (a file name without folder) has the exact form of the
// writer's temporary files: "<name>.tmp-" and six letters and digits that
// hold at least one capital, one small letter and one digit. A start-up sweep
// removes such files, so the form must not match names people give files.
bool IsAtomicWriterTempName(const std::string& name);

class CAtomicFileWriter
{
public:
    CAtomicFileWriter() = default;
    ~CAtomicFileWriter(); // abandons an uncommitted file, keeping the old one
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;

    // Creates the temporary file beside `path` (mode 0666 less the process
    // umask, or the permission bits of the regular file it replaces).
    bool Open(const std::string& path);
    bool Write(const void* data, size_t size);
    bool Write(const std::string& text) { return Write(text.data(), text.size()); }
    // The open stream, for code that prints into it; nullptr when not open.
    FILE* Stream() { return m_file; }
    // The open descriptor, for code that writes through it (a transfer
    // writing straight into the file) instead of the stream; -1 when not open.
    int Descriptor();
    // Flushes, syncs and renames over the target. False leaves the old file as it was.
    bool Commit();
    void Abort();
    // Tests: while on, every Write fails as on a full disk.
    static void SetWriteFailureForTesting(bool on);
    // The reason of the last failure ("" when none).
    const std::string& Error() const { return m_error; }

private:
    bool Fail(const char* what);

    FILE* m_file = nullptr;
    std::string m_target;
    std::string m_temp;
    std::string m_error;
    bool m_failed = false;
};

// Writes `size` bytes as the whole new content of `path`.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error = nullptr);
inline bool WriteFileAtomically(const std::string& path, const std::string& data,
                                std::string* error = nullptr)
{
    return WriteFileAtomically(path, data.data(), data.size(), error);
}
