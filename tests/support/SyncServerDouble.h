#pragma once
// The chart server's account and synchronisation programs on a TLS loopback
// server, with a reader of sync requests and a builder of sync replies written
// from the file tables (not with the production serializers), so that a
// writer and a reader that agree with each other but not with the format
// are caught. While it lives the server is the chart server and its
// certificate is trusted.
#include "loopback/LoopbackServer.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CSerializable;

namespace tessatest {

struct SyncRequestEntry
{
    uint64_t id = 0;
    bool blockCarriesId = false; // the record's sync block (33-byte chunk) holds the same id
    std::string record;
};

// Request: magic 49 F2 AC 73, no version chunk; chunk 1 {u32 type, u32 version,
// string user, string text, f64 last, f64 this, u32 mode}; chunk 2 three lists
// of u32 count and (u64 id, record chunk).
struct SyncRequestView
{
    std::string error; // "" when the request read whole
    uint32_t type = 0, version = 0, mode = 0;
    std::string user, text;
    double last = -1, now = -1;
    std::vector<SyncRequestEntry> lists[3];
};
SyncRequestView ReadSyncRequest(const std::string& bytes);

// Reply: chunk 1 {type, 0, 0}, chunk 2 the three lists; a count can be forced.
class SyncReplyBuilder
{
public:
    explicit SyncReplyBuilder(uint32_t type = 0x2097BE29) : m_type(type) {}
    SyncReplyBuilder& Add(int list, uint64_t id, const std::string& record);
    SyncReplyBuilder& ForceCount(int list, uint32_t count);
    std::string Build() const;

private:
    uint32_t m_type;
    std::string m_entries[3];
    uint32_t m_counts[3] = {0, 0, 0};
};

// An object's record as the stores write it, without the file's magic.
std::string RecordOf(CSerializable& object);

class AccountSyncServer
{
public:
    AccountSyncServer();
    ~AccountSyncServer();
    AccountSyncServer(const AccountSyncServer&) = delete;
    AccountSyncServer& operator=(const AccountSyncServer&) = delete;

    // Set before the exchanges. The sign-in succeeds for this password with
    // this number and key, else answers status 1 and `wrongMessage`.
    std::string password = "secret";
    uint32_t number = 0x1234;
    std::string key = "key-0x1234";
    std::string wrongMessage = "Wrong user name or password";
    // The sync reply for a request (the golden empty reply by default).
    std::function<std::string(const std::string& request)> syncReply;
    int syncStatus = 200;

    // Bodies received, in order.
    std::vector<std::string> SyncRequests() const;
    // (user, password) of each sign-in request, read as the wide strings it carries.
    std::vector<std::pair<std::string, std::string>> SignIns() const;

    // Hand-written from the tables: chunk 1 {0x2097BE29, 0, 0}, chunk 2 {0, 0, 0}.
    static std::string GoldenEmptyReply();

    // Last, so its threads stop before the members they read go.
    LoopbackServer server{true};

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_sync;
    std::vector<std::pair<std::string, std::string>> m_signIns;
};

} // namespace tessatest
