#pragma once
// Map package manifests ("tspkg"): a tag, the file server's host and folder,
// a display name, the total size, then for each file its relative name, its
// size and one check value per megabyte block. Manifests come from the map
// store over plain http, so every field is checked before anything on disk
// is touched: names stay inside the package's folder, sizes are bounded by
// the total, and a truncated list is damage, never a shorter package.
#include "foundation/objectfile/TypeSerializer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr uint32_t kPackageTag = 0x319E8613;
constexpr int64_t kPackageBlockSize = 0x100000; // 1 MB
// What an install that cannot read its manifest reports.
extern const char* const kPackageDamagedText; // "package damaged"

struct CPackageHeader
{
    std::string host;   // file server, optionally with ":port"
    std::string folder; // server folder of the files
    std::string name;   // display name
    uint64_t total = 0; // bytes of all files
    uint32_t count = 0; // files
};

struct CPackageEntry
{
    std::string name; // relative path inside the package's folder
    uint64_t size = 0;
    std::vector<uint32_t> checks; // one per block, ceil(size / 1 MB)

    uint64_t BlockCount() const { return (size + kPackageBlockSize - 1) / kPackageBlockSize; }
};

struct CPackageManifest
{
    CPackageHeader header;
    std::vector<CPackageEntry> entries;
};

// The check value of a block: the wrapping 32-bit sum of its bytes.
uint32_t PackageBlockSum(const void* bytes, size_t length);

// Whether a relative name from a manifest keeps folder + "/" + name inside the
// folder and names a file a package may carry: not empty, not absolute, no
// empty component and none starting with '.', no backslash and no control
// byte; the last component a chart (".rlt") or a chunk store (".rl3"), or a
// part "0" to "99" directly inside a ".rl3" folder.
bool IsSafePackageFileName(const std::string& name);
// The path rules alone (any file of the map store): relative, every component
// a plain name, no backslash or control byte. `components` gets the names.
bool IsPlainRelativePath(const std::string& name, std::vector<std::string>* components);
bool IsSafeStorePath(const std::string& name);

// Reads a manifest field by field from any typed stream.
class CPackageReader
{
public:
    explicit CPackageReader(CTypeSerializer& in) : m_in(in) {}
    // The tag and the header; false when the stream is not a package. The
    // display name comes cleaned (PackageTextForDisplay).
    bool ReadHeader(CPackageHeader& header);
    // The header after its tag.
    bool ReadHeaderFields(CPackageHeader& header);
    // The next entry, checked: a bad name, a size below 1 or above the total,
    // or missing check values fail, with `why` (may be null) saying which.
    bool ReadEntry(const CPackageHeader& header, CPackageEntry& entry, std::string* why = nullptr);

private:
    CTypeSerializer& m_in;
};

// A typed stream over bytes in memory (manifests already read, fuzzing).
class CTypeMemoryIn : public CTypeSerializer
{
public:
    CTypeMemoryIn(const uint8_t* data, size_t size) : CTypeSerializer(kModeRead), m_data(data), m_size(size)
    {
    }
    bool Write(const void*, size_t) override
    {
        SetGood(false);
        return false;
    }
    bool Read(void* bytes, size_t size) override;

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A text from a package (its name, its host) made fit to show on one line:
// cleaned as imported names are, with line breaks and tabs turned to blanks
// and without the invisible characters that turn the direction of text.
std::string PackageTextForDisplay(std::string_view text);

// The whole manifest with every entry checked. `headerOnly` stops after the
// header. False with `error` set ("package damaged: " and the entry and the
// check that refused it, for a bad or truncated entry list; or a text saying
// the file is not a package).
bool ReadPackageManifest(CTypeSerializer& in, CPackageManifest& manifest, std::string& error,
                         bool headerOnly = false);
bool ReadPackageManifestFile(const std::string& path, CPackageManifest& manifest, std::string& error,
                             bool headerOnly = false);

// "host[:port]" of a manifest split for the web client; false when the port
// is not a number in 1..65535.
bool SplitPackageHost(const std::string& text, std::string& host, int& port);
