#include "charts/packages/PackageManifest.h"

#include "foundation/text/CleanText.h"

#include <cstring>

const char* const kPackageDamagedText = "package damaged";

uint32_t PackageBlockSum(const void* bytes, size_t length)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum += p[i];
    return sum;
}

namespace {

bool HasExtension(const std::string& part, const char* extension)
{
    const size_t n = std::strlen(extension);
    if (part.size() <= n + 1 || part[part.size() - n - 1] != '.')
        return false;
    for (size_t i = 0; i < n; ++i)
        if ((part[part.size() - n + i] | 0x20) != extension[i])
            return false;
    return true;
}

bool IsChartOrStoreName(const std::string& part)
{
    return HasExtension(part, "rlt") || HasExtension(part, "rl3");
}

// A part file of a chunk store kept as a folder: "0" to "99".
bool IsStorePartName(const std::string& part)
{
    if (part.empty() || part.size() > 2 || (part.size() == 2 && part[0] == '0'))
        return false;
    for (char c : part)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

bool IsSafeStorePath(const std::string& name)
{
    return IsPlainRelativePath(name, nullptr);
}

bool IsSafePackageFileName(const std::string& name)
{
    std::vector<std::string> parts;
    if (!IsPlainRelativePath(name, &parts))
        return false;
    // Only charts and their chunk stores (a store may be a folder of parts).
    if (IsChartOrStoreName(parts.back()))
        return true;
    return parts.size() >= 2 && IsStorePartName(parts.back()) && HasExtension(parts[parts.size() - 2], "rl3");
}

bool IsPlainRelativePath(const std::string& name, std::vector<std::string>* components)
{
    if (name.empty() || name.front() == '/')
        return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || c == '\\')
            return false;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        std::string part = name.substr(start, end - start);
        // No hidden names either: a package has no business with dot-files.
        if (part.empty() || part.front() == '.')
            return false;
        parts.push_back(std::move(part));
        start = end + 1;
    }
    if (components)
        *components = std::move(parts);
    return true;
}

std::string PackageTextForDisplay(std::string_view text)
{
    const std::string clean = CleanImportedText(text);
    std::string out;
    out.reserve(clean.size());
    for (size_t i = 0; i < clean.size(); ++i) {
        const auto c = static_cast<unsigned char>(clean[i]);
        if (c == '\n' || c == '\t' || c == 0x7F) {
            out += ' ';
            continue;
        }
        // U+061C, U+200E/F, U+202A-E and U+2066-9 (marks, embeddings,
        // overrides, isolates) and the C1 controls U+0080-9F.
        const auto at = [&](size_t k) { return static_cast<unsigned char>(clean[k]); };
        if (c == 0xE2 && i + 2 < clean.size() && at(i + 1) == 0x80 &&
            (at(i + 2) == 0x8E || at(i + 2) == 0x8F || (at(i + 2) >= 0xAA && at(i + 2) <= 0xAE))) {
            i += 2;
            continue;
        }
        if (c == 0xE2 && i + 2 < clean.size() && at(i + 1) == 0x81 && at(i + 2) >= 0xA6 &&
            at(i + 2) <= 0xA9) {
            i += 2;
            continue;
        }
        if ((c == 0xD8 && i + 1 < clean.size() && at(i + 1) == 0x9C) ||
            (c == 0xC2 && i + 1 < clean.size() && at(i + 1) >= 0x80 && at(i + 1) <= 0x9F)) {
            i += 1;
            continue;
        }
        out += clean[i];
    }
    return out;
}

bool CPackageReader::ReadHeader(CPackageHeader& header)
{
    header = CPackageHeader();
    return m_in.ExchangeTag(kPackageTag) && ReadHeaderFields(header);
}

bool CPackageReader::ReadHeaderFields(CPackageHeader& header)
{
    header = CPackageHeader();
    if (!(m_in.ReadString(header.host) && m_in.ReadString(header.folder) && m_in.ReadString(header.name) &&
          m_in.Exchange(header.total) && m_in.Exchange(header.count) && m_in.IsGood()))
        return false;
    header.name = PackageTextForDisplay(header.name);
    return true;
}

bool CPackageReader::ReadEntry(const CPackageHeader& header, CPackageEntry& entry, std::string* why)
{
    entry = CPackageEntry();
    const auto refuse = [&](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    if (!m_in.ReadString(entry.name) || !m_in.Exchange(entry.size))
        return refuse("the list ends early");
    const std::string named = "\"" + PackageTextForDisplay(entry.name) + "\": ";
    if (!IsSafePackageFileName(entry.name))
        return refuse(named + "the name leads out of the package's folder or is not a chart");
    if (entry.size < 1 || entry.size > header.total)
        return refuse(named + "a size of " + std::to_string(entry.size) +
                      " bytes, not from 1 to the package's " + std::to_string(header.total));
    // Grown as values arrive, so a huge stated size allocates nothing unread.
    uint64_t blocks = entry.BlockCount();
    for (uint64_t i = 0; i < blocks; ++i) {
        uint32_t check = 0;
        if (!m_in.Exchange(check))
            return refuse(named + "check value " + std::to_string(i + 1) + " of " + std::to_string(blocks) +
                          " is missing");
        entry.checks.push_back(check);
    }
    return m_in.IsGood() || refuse(named + "the list ends early");
}

bool CTypeMemoryIn::Read(void* bytes, size_t size)
{
    if (size > m_size - m_pos) {
        m_pos = m_size;
        return false;
    }
    if (size)
        std::memcpy(bytes, m_data + m_pos, size);
    m_pos += size;
    return true;
}

bool ReadPackageManifest(CTypeSerializer& in, CPackageManifest& manifest, std::string& error, bool headerOnly)
{
    manifest = CPackageManifest();
    error.clear();
    CPackageReader reader(in);
    const bool tagged = in.ExchangeTag(kPackageTag);
    if (!tagged || !reader.ReadHeaderFields(manifest.header)) {
        error = tagged ? std::string(kPackageDamagedText) + ": the header ends early"
                       : "The file is not a map package.";
        return false;
    }
    if (headerOnly)
        return true;
    for (uint32_t i = 0; i < manifest.header.count; ++i) {
        CPackageEntry entry;
        std::string why;
        if (!reader.ReadEntry(manifest.header, entry, &why)) {
            error = std::string(kPackageDamagedText) + ": entry " + std::to_string(i + 1) + " of " +
                    std::to_string(manifest.header.count) + ", " + why;
            return false;
        }
        manifest.entries.push_back(std::move(entry));
    }
    return true;
}

bool ReadPackageManifestFile(const std::string& path, CPackageManifest& manifest, std::string& error,
                             bool headerOnly)
{
    CTypeFileIn in(path);
    if (!in.IsGood()) {
        manifest = CPackageManifest();
        error = "The map package could not be opened.";
        return false;
    }
    return ReadPackageManifest(in, manifest, error, headerOnly);
}

bool SplitPackageHost(const std::string& text, std::string& host, int& port)
{
    host = text;
    port = 0;
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || text.find(']', colon) != std::string::npos)
        return true;
    std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5)
        return false;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    host = text.substr(0, colon);
    port = value;
    return true;
}
