#pragma once
// A place-name index (".tsx"): little-endian header (magic, version 0 or 1,
// number of leading blocks, reserved), the leading blocks, then the place
// records to the end of the file. Every block and record starts with its own
// length. The file is mapped read-only and walked once at open, so searches
// never have to distrust a length again. Nothing here ever deletes a file.
#include "foundation/util/Files.h"

#include <cstdint>
#include <string>

struct CGeoNameRecord
{
    uint32_t kind = 0;
    double latitude = 0;
    double longitude = 0;
    const char* name = ""; // NUL-terminated, inside the mapping
};

class CGeoNameDatabase
{
public:
    static constexpr uint32_t kMagic = 0x6187FEB2;
    static constexpr size_t kMinFileBytes = 44;
    static constexpr size_t kHeaderBytes = 16;
    // Length, kind, latitude, longitude and at least the NUL of the name.
    static constexpr int32_t kMinRecordBytes = 25;

    CGeoNameDatabase() = default;
    virtual ~CGeoNameDatabase();
    CGeoNameDatabase(const CGeoNameDatabase&) = delete;
    CGeoNameDatabase& operator=(const CGeoNameDatabase&) = delete;

    // Closes what is open, then opens a regular file read-only and checks all
    // of it. False (and closed) when the file is missing, not a regular file,
    // shorter than 44 bytes, of another magic or version, or when any length
    // leaves the file or a name has no NUL inside its record.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_records != nullptr; }

    // Moves `cursor` to the next record after it (the first record when null)
    // whose kind is `kind` (any when negative), whose position can be shown and
    // whose name contains `text`; null and false when none is left. `text` is
    // upper case: a lower-case letter of a name (ASCII or Latin-1) matches its
    // capital, nothing else is folded. An empty text matches every record.
    bool Search(const uint8_t*& cursor, int32_t kind, const std::string& text) const;

    // The record at a cursor that Search returned; false for any other pointer
    // outside the records.
    bool GetRecord(const uint8_t* cursor, CGeoNameRecord& record) const;

    // Whether a record's position is one the map can be centred on.
    static bool IsPlaceable(double latitude, double longitude);

private:
    int m_fd = -1;
    CFileMapping m_mapping;
    const uint8_t* m_records = nullptr; // first record
    const uint8_t* m_end = nullptr;     // end of the file
};
