#include "foundation/objectfile/Serializable.h"

#include "foundation/AtomicFile.h"
#include "foundation/drawing/GraphicsColor.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

static_assert(std::endian::native == std::endian::little, "the file layout is little-endian");

namespace {

CSerializable::Type*& TypeHead()
{
    static CSerializable::Type* head = nullptr;
    return head;
}

// Type id -> the most recently constructed entry: a load looks a type up for every record.
// Never destroyed, so entries that outlive it at exit still find it.
std::unordered_map<uint32_t, CSerializable::Type*>& TypeIndex()
{
    static auto* index = new std::unordered_map<uint32_t, CSerializable::Type*>();
    return *index;
}

// Counts the entries made and removed, so a remembered look-up knows it is still good.
std::atomic<uint64_t>& TypeGeneration()
{
    static std::atomic<uint64_t> generation{1};
    return generation;
}

std::string FolderOfPath(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Errno(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

} // namespace

CSerialFileBytes::~CSerialFileBytes()
{
    if (m_mapping)
        munmap(m_mapping, m_mappingSize);
}

// A large store (a million track points is tens of megabytes) is read into a
// mapping of its own that asks for huge pages: filled 4 KB page at a time,
// the fresh memory cost more than parsing the records. Small files use the
// ordinary heap.
char* CSerialFileBytes::Allocate(size_t size)
{
    if (m_mapping) {
        munmap(m_mapping, m_mappingSize);
        m_mapping = nullptr;
    }
    m_size = size;
    if (size < kMapFrom) {
        m_heap.reset(new (std::nothrow) char[size ? size : 1]);
        m_data = m_heap.get();
        return m_data;
    }
    // One huge page more than asked, so the bytes can start on a huge-page boundary.
    m_mappingSize = size + kHugePage;
    void* mapping = mmap(nullptr, m_mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        return nullptr;
    m_mapping = mapping;
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(mapping) + kHugePage - 1) & ~(kHugePage - 1);
    m_data = reinterpret_cast<char*>(aligned);
    madvise(m_data, size, MADV_HUGEPAGE); // a hint: without huge pages the bytes read the same
    return m_data;
}

namespace {

// Reads a whole file into `buffer`; files beyond 32-bit offsets are not ours.
bool ReadWholeFile(const std::string& path, CSerialFileBytes& buffer, std::string& error)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = Errno("cannot open", path);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a readable file: " + path;
        ::close(fd);
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > std::numeric_limits<uint32_t>::max()) {
        error = "file too large: " + path;
        ::close(fd);
        return false;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    char* data = buffer.Allocate(size);
    if (!data) {
        error = "not enough memory to read " + path;
        ::close(fd);
        return false;
    }
    size_t done = 0;
    while (done < size) {
        ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? Errno("cannot read", path) : "file shrank while reading: " + path;
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    return true;
}

} // namespace

// ---- registry ----

CSerializable::Type::Type(uint32_t typeId) : m_typeId(typeId)
{
    m_next = TypeHead();
    TypeHead() = this;
    TypeIndex()[typeId] = this;
    TypeGeneration().fetch_add(1, std::memory_order_acq_rel);
}

CSerializable::Type::~Type()
{
    TypeGeneration().fetch_add(1, std::memory_order_acq_rel);
    for (Type** link = &TypeHead(); *link; link = &(*link)->m_next) {
        if (*link == this) {
            *link = m_next;
            break;
        }
    }
    auto& index = TypeIndex();
    auto it = index.find(m_typeId);
    if (it != index.end() && it->second == this) {
        // An older entry of the same id (if any) is found again, as the list walk did.
        Type* older = nullptr;
        for (Type* t = TypeHead(); t && !older; t = t->m_next)
            if (t->m_typeId == m_typeId)
                older = t;
        if (older)
            it->second = older;
        else
            index.erase(it);
    }
}

const CSerializable::Type* CSerializable::Type::First()
{
    return TypeHead();
}

const CSerializable::Type* CSerializable::Type::Find(uint32_t typeId)
{
    // A store holds long runs of one type: the last type found on this thread
    // answers them, for as long as no entry has come or gone since.
    thread_local uint64_t lastGeneration = 0;
    thread_local uint32_t lastId = 0;
    thread_local const Type* lastType = nullptr;
    const uint64_t generation = TypeGeneration().load(std::memory_order_acquire);
    if (lastType && lastId == typeId && lastGeneration == generation)
        return lastType;
    const auto& index = TypeIndex();
    auto it = index.find(typeId);
    const Type* found = it == index.end() ? nullptr : it->second;
    lastGeneration = generation;
    lastId = typeId;
    lastType = found;
    return found;
}

std::unique_ptr<CSerializable> CSerializable::Type::Create(uint32_t typeId)
{
    const Type* t = Find(typeId);
    return t ? t->Create() : nullptr;
}

// ---- whole files ----

namespace {

// The version chunk and the object into a new writing stream; false with a reason.
bool WriteWholeObject(CSerializable& object, CSerialStream& stream, uint32_t version, std::string* error)
{
    if (version != 0) {
        CSerialChunk chunk(stream);
        chunk.Exchange(version);
    }
    const bool ok = stream.IsGood() && object.Serialize(stream) && stream.IsGood();
    if (!ok && error)
        *error = stream.Error().empty() ? "the object could not be written" : stream.Error();
    return ok;
}

} // namespace

bool CSerializable::SaveToBuffer(std::string& out, const std::string& folder, void* context, uint32_t version,
                                 std::string* error)
{
    CSerialStream stream = CSerialStream::OpenWrite(folder, context);
    if (!WriteWholeObject(*this, stream, version, error))
        return false;
    out = stream.Output();
    return true;
}

bool CSerializable::SaveToOutput(CSerialOutput& out, const std::string& folder, void* context,
                                 uint32_t version, std::string* error)
{
    CSerialStream stream = CSerialStream::OpenWrite(folder, context, std::move(out));
    const bool ok = WriteWholeObject(*this, stream, version, error);
    out = stream.TakeOutput();
    return ok;
}

bool CSerializable::SaveToFile(const std::string& path, void* context, uint32_t version, std::string* error)
{
    std::string folder = FolderOfPath(path);
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
    }
    CSerialStream stream = CSerialStream::OpenWrite(folder, context);
    if (!WriteWholeObject(*this, stream, version, error))
        return false;
    // The blocks go to the file as they lie: no second copy of a large store.
    CAtomicFileWriter writer;
    const bool ok = writer.Open(path) && stream.WriteOutputTo(writer) && writer.Commit();
    if (!ok && error)
        *error = writer.Error();
    return ok;
}

bool CSerializable::LoadFromBuffer(const void* data, size_t size, const std::string& folder, void* context,
                                   uint32_t version, std::string* error)
{
    CSerialStream stream = CSerialStream::OpenInput(data, size, folder, context);
    if (stream.IsGood() && version != 0) {
        CSerialChunk chunk(stream);
        uint32_t stored = 0;
        if (chunk.AtEnd())
            stream.Fail("the version is missing");
        else if (chunk.Exchange(stored) && stored != version)
            stream.Fail("version " + std::to_string(stored) + " where " + std::to_string(version) +
                        " was expected");
    }
    bool ok = stream.IsGood() && Serialize(stream) && stream.IsGood();
    if (!ok && error)
        *error = stream.Error().empty() ? "the object could not be read" : stream.Error();
    return ok;
}

bool CSerializable::LoadFromFile(const std::string& path, void* context, uint32_t version, std::string* error)
{
    std::string why, folder;
    CSerialFileBytes data;
    if (!CSerialStream::OpenPath(path, data, folder, why)) {
        if (error)
            *error = why;
        return false;
    }
    if (!LoadFromBuffer(data.Data(), data.Size(), folder, context, version, &why)) {
        if (error)
            *error = path + ": " + why;
        return false;
    }
    return true;
}

// ---- stream ----

bool CSerialStream::OpenPath(const std::string& path, CSerialFileBytes& bytes, std::string& folder,
                             std::string& error)
{
    folder = FolderOfPath(path);
    return ReadWholeFile(path, bytes, error);
}

CSerialStream CSerialStream::OpenWrite(const std::string& folder, void* context)
{
    return OpenWrite(folder, context, CSerialOutput());
}

CSerialStream CSerialStream::OpenWrite(const std::string& folder, void* context, CSerialOutput&& reuse)
{
    CSerialStream s;
    s.m_reading = false;
    s.m_context = context;
    s.m_folder = folder;
    s.m_out = std::move(reuse);
    s.m_out.Clear();
    s.WriteU32(kMagic);
    return s;
}

CSerialStream CSerialStream::OpenInput(const void* data, size_t size, const std::string& folder,
                                       void* context)
{
    CSerialStream s;
    s.m_reading = true;
    s.m_context = context;
    s.m_folder = folder;
    s.m_in = static_cast<const unsigned char*>(data);
    s.m_size = size;
    uint32_t magic = 0;
    if (size > std::numeric_limits<uint32_t>::max())
        s.Fail("file too large");
    else if (!s.ReadU32(magic) || magic != kMagic)
        s.Fail("not an object file (wrong magic number)");
    return s;
}

bool CSerialStream::Fail(const std::string& why)
{
    if (m_good)
        m_error = why;
    m_good = false;
    return false;
}

bool CSerialStream::ReadBytes(void* out, size_t size)
{
    if (!m_good)
        return false;
    if (size > Limit() - m_pos)
        return Fail("data ends inside a field at offset " + std::to_string(m_pos));
    if (size)
        std::memcpy(out, m_in + m_pos, size);
    m_pos += size;
    return true;
}

bool CSerialStream::ReadU32(uint32_t& value)
{
    unsigned char b[4];
    if (!ReadBytes(b, 4))
        return false;
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

void CSerialStream::WriteU32(uint32_t value)
{
    const char b[4] = {char(value & 0xFF), char(value >> 8 & 0xFF), char(value >> 16 & 0xFF),
                       char(value >> 24)};
    m_out.Append(b, 4);
}

void CSerialStream::PatchU32(size_t at, uint32_t value)
{
    const char b[4] = {char(value & 0xFF), char(value >> 8 & 0xFF), char(value >> 16 & 0xFF),
                       char(value >> 24)};
    m_out.Patch(at, b, 4);
}

std::string CSerialStream::Output() const
{
    std::string bytes;
    m_out.CopyTo(bytes);
    return bytes;
}

bool CSerialStream::WriteOutputTo(CAtomicFileWriter& writer) const
{
    return m_out.ForEachPiece(
        [&writer](const void* piece, size_t size) { return writer.Write(piece, size); });
}

bool CSerialStream::WriteObject(CSerializable& object)
{
    if (m_reading)
        return Fail("a record was written to a reading stream");
    if (!m_good)
        return false;
    const size_t header = m_out.Size();
    WriteU32(object.GetTypeId());
    WriteU32(0);
    if (!object.Serialize(*this))
        return Fail(m_error.empty()
                        ? "an object of type " + std::to_string(object.GetTypeId()) + " could not be written"
                        : m_error);
    if (!m_good)
        return false;
    const size_t body = m_out.Size() - header - 8;
    // Readers refuse empty bodies.
    if (body < 1)
        return Fail("an object of type " + std::to_string(object.GetTypeId()) + " wrote nothing");
    if (body > std::numeric_limits<uint32_t>::max() - 8)
        return Fail("an object record is too large");
    PatchU32(header + 4, static_cast<uint32_t>(body));
    return true;
}

std::unique_ptr<CSerializable> CSerialStream::ReadObject(TypeFilter accept)
{
    if (!m_reading) {
        Fail("a record was read from a writing stream");
        return nullptr;
    }
    uint32_t typeId = 0, length = 0;
    if (!ReadU32(typeId) || !ReadU32(length))
        return nullptr;
    if (length < 1 || length > Limit() - m_pos) {
        Fail("bad record length " + std::to_string(length) + " at offset " + std::to_string(m_pos - 8));
        return nullptr;
    }
    const size_t end = m_pos + length;
    m_limits.push_back(end);
    std::unique_ptr<CSerializable> object;
    if (!accept || accept(typeId))
        object = CSerializable::Type::Create(typeId);
    if (object && (!object->Serialize(*this) || !m_good)) {
        object.reset();
        Fail(m_error.empty() ? "an object of type " + std::to_string(typeId) + " could not be read"
                             : m_error);
    }
    m_limits.pop_back();
    if (!m_good)
        return nullptr;
    if (m_pos != end) {
        m_pos = end;
        m_skipped = true;
    }
    return object;
}

// ---- chunks ----

CSerialChunk::CSerialChunk(CSerialStream& stream) : m_stream(stream)
{
    if (!stream.m_good)
        return;
    m_open = true;
    if (stream.IsWriting()) {
        m_start = stream.m_out.Size();
        const char unfinished = '\0'; // until Close()
        stream.m_out.Append(&unfinished, 1);
        stream.WriteU32(0);
        return;
    }
    m_start = stream.m_pos;
    // Inside a chunk or record whose end has been reached, a chunk that a
    // newer reader expects is absent: all its fields keep their defaults.
    if (!stream.m_limits.empty() && stream.m_pos >= stream.Limit()) {
        m_end = stream.m_pos;
        return;
    }
    unsigned char marker = 0;
    uint32_t length = 0;
    if (!stream.ReadBytes(&marker, 1) || !stream.ReadU32(length)) {
        m_open = false;
        return;
    }
    if (marker != CSerialStream::kChunkMarker) {
        stream.Fail("bad chunk marker at offset " + std::to_string(m_start));
    } else if (length < 5 || length > CSerialStream::kMaxChunkLength) {
        stream.Fail("bad chunk length " + std::to_string(length) + " at offset " + std::to_string(m_start));
    } else if (length > stream.Limit() - m_start) {
        stream.Fail("chunk at offset " + std::to_string(m_start) + " runs past its enclosing end");
    }
    if (!stream.m_good) {
        m_open = false;
        return;
    }
    m_end = m_start + length;
    stream.m_limits.push_back(m_end);
    m_pushed = true;
}

CSerialChunk::~CSerialChunk()
{
    Close();
}

bool CSerialChunk::Close()
{
    if (!m_open)
        return m_stream.m_good;
    m_open = false;
    CSerialStream& s = m_stream;
    if (s.IsWriting()) {
        if (!s.m_good)
            return false;
        const size_t length = s.m_out.Size() - m_start;
        if (length > CSerialStream::kMaxChunkLength)
            return s.Fail("a chunk of " + std::to_string(length) + " bytes is too large to be read back");
        const char header[5] = {static_cast<char>(CSerialStream::kChunkMarker), char(length & 0xFF),
                                char(length >> 8 & 0xFF), char(length >> 16 & 0xFF), char(length >> 24)};
        s.m_out.Patch(m_start, header, sizeof header);
        return true;
    }
    if (m_pushed) {
        s.m_limits.pop_back();
        m_pushed = false;
    }
    if (!s.m_good)
        return false;
    if (s.m_pos < m_end) {
        s.m_pos = m_end;
        s.m_skipped = true;
    }
    return true;
}

bool CSerialChunk::AtEnd() const
{
    return m_stream.IsReading() && (!m_open || m_stream.m_pos >= m_end);
}

size_t CSerialChunk::BytesLeft() const
{
    if (!m_stream.IsReading() || !m_open || m_stream.m_pos >= m_end)
        return 0;
    return m_end - m_stream.m_pos;
}

bool CSerialChunk::PeekU32(uint32_t& value) const
{
    if (BytesLeft() < 4)
        return false;
    const unsigned char* p = m_stream.m_in + m_stream.m_pos;
    value = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return true;
}

bool CSerialChunk::Fits(size_t size)
{
    if (size > m_end - m_stream.m_pos)
        return m_stream.Fail("a field crosses the end of the chunk at offset " + std::to_string(m_start));
    return true;
}

bool CSerialChunk::Exchange(void* bytes, size_t size)
{
    CSerialStream& s = m_stream;
    if (!s.m_good || !m_open)
        return false;
    if (s.IsWriting()) {
        s.WriteBytes(bytes, size);
        return true;
    }
    if (AtEnd())
        return true;
    return Fits(size) && s.ReadBytes(bytes, size);
}

bool CSerialChunk::ExchangeBool(bool& value)
{
    uint8_t raw = value ? 1 : 0;
    if (!Exchange(&raw, 1))
        return false;
    value = raw != 0;
    return true;
}

bool CSerialChunk::ExchangeString(std::string& text)
{
    CSerialStream& s = m_stream;
    if (!s.m_good || !m_open)
        return false;
    if (s.IsWriting()) {
        if (text.size() > CSerialStream::kMaxStringLength)
            return s.Fail("a string of " + std::to_string(text.size()) +
                          " bytes is too long to be read back");
        s.WriteU32(static_cast<uint32_t>(text.size()));
        s.WriteBytes(text.data(), text.size());
        return true;
    }
    if (AtEnd())
        return true;
    uint32_t length = 0;
    if (!Fits(4) || !s.ReadU32(length))
        return false;
    if (length > CSerialStream::kMaxStringLength || !Fits(length)) {
        text.clear();
        return s.Fail("bad string length " + std::to_string(length) + " at offset " +
                      std::to_string(s.m_pos - 4));
    }
    text.assign(reinterpret_cast<const char*>(s.m_in + s.m_pos), length);
    s.m_pos += length;
    return true;
}

bool CSerialChunk::ExchangePath(std::string& path)
{
    const std::string& folder = m_stream.GetFolder();
    if (m_stream.IsWriting()) {
        std::string stored = path;
        if (!folder.empty() && stored.size() > folder.size() && stored.compare(0, folder.size(), folder) == 0)
            stored.erase(0, folder.size());
        return ExchangeString(stored);
    }
    if (AtEnd())
        return ExchangeString(path);
    std::string stored;
    if (!ExchangeString(stored))
        return false;
    if (!stored.empty() && (stored.size() == 1 || (stored[0] != '/' && stored[1] != ':')))
        stored.insert(0, folder);
    path = std::move(stored);
    return true;
}

bool CSerialChunk::ExchangeColor(float rgba[4])
{
    float c[4] = {rgba[0], rgba[1], rgba[2], rgba[3]};
    if (!Exchange(c, sizeof c))
        return false;
    if (m_stream.IsReading())
        for (int i = 0; i < 4; ++i)
            rgba[i] = std::isnan(c[i]) ? 0.0f : std::clamp(c[i], 0.0f, 1.0f);
    return true;
}

bool CSerialChunk::ExchangeColor(GraphicsColor& colour)
{
    float rgba[4];
    colour.GetComponentsF(rgba[0], rgba[1], rgba[2], rgba[3]);
    if (!ExchangeColor(rgba))
        return false;
    if (m_stream.IsReading())
        colour.SetComponentsF(rgba[0], rgba[1], rgba[2], rgba[3]);
    return true;
}

bool CSerialChunk::ExchangeArray(void* elements, size_t elementSize, size_t count)
{
    CSerialStream& s = m_stream;
    if (!s.m_good || !m_open)
        return false;
    if (s.IsWriting()) {
        if (elementSize > std::numeric_limits<uint32_t>::max())
            return s.Fail("array element too large");
        s.WriteU32(static_cast<uint32_t>(elementSize));
        s.WriteBytes(elements, elementSize * count);
        return true;
    }
    if (AtEnd())
        return true;
    uint32_t storedSize = 0;
    if (!Fits(4) || !s.ReadU32(storedSize))
        return false;
    const uint64_t total = uint64_t(storedSize) * uint64_t(count);
    if (total > m_end - s.m_pos)
        return s.Fail("an array crosses the end of the chunk at offset " + std::to_string(m_start));
    const size_t take = std::min<size_t>(storedSize, elementSize);
    unsigned char* out = static_cast<unsigned char*>(elements);
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(out + i * elementSize, s.m_in + s.m_pos, take);
        s.m_pos += storedSize;
    }
    if (storedSize > elementSize && count > 0)
        s.m_skipped = true;
    return true;
}

bool CSerialChunk::CheckVersion(uint32_t expected)
{
    uint32_t value = expected;
    return Exchange(value) && value == expected;
}

bool CSerialChunk::WriteObjectList(const std::vector<CSerializable*>& objects)
{
    CSerialStream& s = m_stream;
    if (!s.m_good || !m_open)
        return false;
    if (s.IsReading())
        return s.Fail("a list was written to a reading stream");
    if (objects.size() > CSerialStream::kMaxListCount)
        return s.Fail("a list of " + std::to_string(objects.size()) + " objects is too long to be read back");
    s.WriteU32(static_cast<uint32_t>(objects.size()));
    for (CSerializable* object : objects)
        if (!object || !s.WriteObject(*object))
            return s.Fail("a list entry could not be written");
    return true;
}

bool CSerialChunk::ReadObjectList(std::vector<std::unique_ptr<CSerializable>>& objects,
                                  CSerialStream::TypeFilter accept)
{
    CSerialStream& s = m_stream;
    if (!s.m_good || !m_open)
        return false;
    if (s.IsWriting())
        return s.Fail("a list was read from a writing stream");
    if (AtEnd())
        return true;
    uint32_t count = 0;
    if (!Fits(4) || !s.ReadU32(count))
        return false;
    if (count > CSerialStream::kMaxListCount)
        return s.Fail("bad list count " + std::to_string(count));
    // No reserve by count: a damaged count must not allocate; the first
    // record that is not there ends the load.
    std::vector<std::unique_ptr<CSerializable>> read;
    for (uint32_t i = 0; i < count; ++i) {
        std::unique_ptr<CSerializable> object = s.ReadObject(accept);
        if (!s.m_good)
            return false;
        if (object)
            read.push_back(std::move(object));
    }
    if (objects.empty()) {
        // The usual case: hand the list over instead of moving a million pointers again.
        objects.swap(read);
        return true;
    }
    objects.reserve(objects.size() + read.size());
    for (auto& object : read)
        objects.push_back(std::move(object));
    return true;
}

bool CSerialChunk::ExchangeObjectList(std::vector<std::unique_ptr<CSerializable>>& objects)
{
    if (m_stream.IsReading())
        return ReadObjectList(objects);
    std::vector<CSerializable*> raw;
    raw.reserve(objects.size());
    for (auto& object : objects)
        raw.push_back(object.get());
    return WriteObjectList(raw);
}
