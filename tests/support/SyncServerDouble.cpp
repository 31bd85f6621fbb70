#include "SyncServerDouble.h"

#include "foundation/objectfile/Serializable.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebServer.h"

#include <cstdlib>
#include <cstring>

namespace tessatest {

namespace {

// A little-endian cursor over bytes; every read checks what is left.
struct Cursor
{
    const std::string& bytes;
    size_t at = 0;
    size_t end;
    bool ok = true;

    template <class T> T Take()
    {
        T value{};
        if (!ok || end - at < sizeof value) {
            ok = false;
            return value;
        }
        std::memcpy(&value, bytes.data() + at, sizeof value);
        at += sizeof value;
        return value;
    }
    std::string Text(bool wide)
    {
        const uint32_t n = Take<uint32_t>();
        std::string out;
        for (uint32_t i = 0; ok && i < n; ++i)
            out += char(wide ? Take<uint16_t>() : Take<uint8_t>());
        return out;
    }
    // Opens a chunk: marker 0xBE and a length counting its 5 header bytes.
    bool Chunk(size_t& chunkEnd)
    {
        const size_t start = at;
        if (Take<uint8_t>() != 0xBE)
            ok = false;
        const uint32_t length = Take<uint32_t>();
        if (!ok || length < 5 || length > end - start)
            return ok = false;
        chunkEnd = start + length;
        return true;
    }
};

template <class T> void Put(std::string& out, T value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string Chunk(const std::string& body)
{
    std::string out(1, char(0xBE));
    Put<uint32_t>(out, uint32_t(body.size() + 5));
    return out + body;
}

} // namespace

SyncRequestView ReadSyncRequest(const std::string& bytes)
{
    SyncRequestView view;
    Cursor c{bytes, 0, bytes.size()};
    if (c.Take<uint32_t>() != 0x73ACF249)
        return view.error = "no magic", view;
    size_t end1 = 0;
    if (!c.Chunk(end1))
        return view.error = "no first chunk", view;
    c.end = end1;
    view.type = c.Take<uint32_t>();
    view.version = c.Take<uint32_t>();
    view.user = c.Text(false);
    view.text = c.Text(false);
    view.last = c.Take<double>();
    view.now = c.Take<double>();
    view.mode = c.Take<uint32_t>();
    if (!c.ok || c.at != end1)
        return view.error = "first chunk", view;
    c.end = bytes.size();
    size_t end2 = 0;
    if (!c.Chunk(end2))
        return view.error = "no second chunk", view;
    c.end = end2;
    for (auto& list : view.lists) {
        const uint32_t count = c.Take<uint32_t>();
        for (uint32_t i = 0; c.ok && i < count; ++i) {
            SyncRequestEntry entry;
            entry.id = c.Take<uint64_t>();
            const size_t start = c.at;
            size_t recordEnd = 0;
            if (!c.Chunk(recordEnd))
                break;
            entry.record = bytes.substr(start, recordEnd - start);
            std::string block(1, char(0xBE));
            Put<uint32_t>(block, 33);
            Put<uint64_t>(block, entry.id);
            entry.blockCarriesId = entry.record.find(block, 5) != std::string::npos;
            c.at = recordEnd;
            list.push_back(std::move(entry));
        }
    }
    if (!c.ok || c.at != end2 || end2 != bytes.size())
        view.error = "second chunk";
    return view;
}

SyncReplyBuilder& SyncReplyBuilder::Add(int list, uint64_t id, const std::string& record)
{
    Put<uint64_t>(m_entries[list], id);
    m_entries[list] += record;
    ++m_counts[list];
    return *this;
}

SyncReplyBuilder& SyncReplyBuilder::ForceCount(int list, uint32_t count)
{
    m_counts[list] = count;
    return *this;
}

std::string SyncReplyBuilder::Build() const
{
    std::string out, first, second;
    Put<uint32_t>(out, 0x73ACF249);
    Put<uint32_t>(first, m_type);
    Put<uint32_t>(first, 0);
    Put<uint32_t>(first, 0);
    for (int i = 0; i < 3; ++i) {
        Put<uint32_t>(second, m_counts[i]);
        second += m_entries[i];
    }
    return out + Chunk(first) + Chunk(second);
}

std::string RecordOf(CSerializable& object)
{
    CSerialStream stream = CSerialStream::OpenWrite("", nullptr);
    object.Serialize(stream);
    return stream.Output().substr(4);
}

std::string AccountSyncServer::GoldenEmptyReply()
{
    static const unsigned char bytes[] = {
        0x49, 0xF2, 0xAC, 0x73,                               // magic
        0xBE, 0x11, 0x00, 0x00, 0x00,                         // chunk 1, 17 bytes
        0x29, 0xBE, 0x97, 0x20, 0,    0, 0, 0, 0, 0, 0, 0,    // reply type, two u32
        0xBE, 0x11, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, // chunk 2, 17 bytes
        0,    0,    0,    0,                                  // marks, routes, tracks: none
    };
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

AccountSyncServer::AccountSyncServer()
{
    syncReply = [](const std::string&) { return GoldenEmptyReply(); };
    CWebServer::SetTrustedCertificates(server.CertificatePEM());
    setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
    server.AddPostHandler("/cgi-bin/account.cgi", [this](const LoopbackRequest& request) {
        // The web client's own encoding: u32 opcode, then strings of 16-bit characters.
        Cursor c{request.body, 0, request.body.size()};
        const uint32_t op = c.Take<uint32_t>();
        std::string user = c.Text(true), given = c.Text(true);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_signIns.emplace_back(user, given);
        }
        const bool good = c.ok && op == 1 && given == password;
        std::string body;
        Put<uint32_t>(body, good ? 0 : 1);
        Put<uint32_t>(body, good ? number : 0);
        for (const std::string& text : {good ? key : std::string(), good ? std::string() : wrongMessage}) {
            Put<uint32_t>(body, uint32_t(text.size()));
            for (char ch : text)
                Put<uint16_t>(body, uint16_t(uint8_t(ch)));
        }
        LoopbackResponse response;
        response.body = body;
        return response;
    });
    server.AddPostHandler("/cgi-bin/sync.cgi", [this](const LoopbackRequest& request) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sync.push_back(request.body);
        }
        LoopbackResponse response;
        response.status = syncStatus;
        response.body = syncReply(request.body);
        return response;
    });
}

AccountSyncServer::~AccountSyncServer()
{
    server.Stop();
    unsetenv(CChartServer::kEnvironmentVariable);
    CWebServer::SetTrustedCertificates("");
}

std::vector<std::string> AccountSyncServer::SyncRequests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sync;
}

std::vector<std::pair<std::string, std::string>> AccountSyncServer::SignIns() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_signIns;
}

} // namespace tessatest
