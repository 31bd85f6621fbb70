#pragma once
// The two files of synchronising marks, routes and tracks with the chart
// server, in the chunked binary object format. The request carries every
// object changed since the last synchronisation; the reply carries the
// server's newer or missing objects. Plain C++ over the serial stream; the
// exchange itself and the user interface are the application's.
//
// Request: magic, chunk 1 {u32 0x2097BE28, u32 1, string user, string account
// text, f64 last sync, f64 this sync, u32 mode}, chunk 2 {marks, routes,
// tracks}, each list a u32 count and per object its u64 sync id and record.
// Reply: magic, chunk 1 {u32 0x2097BE29, u32, u32}, chunk 2 as the request's.
#include <cstddef>
#include <cstdint>
#include <string>

class CMarkManager;
class CSerialStream;
class CTrackManager;

struct CSyncHeader
{
    std::string user;
    std::string accountText;
    double lastSync = 0; // seconds since 1970
    double thisSync = 0;
    uint32_t mode = 0;
};

// How many objects of each list a request held or a reply changed.
struct CSyncCounts
{
    size_t marks = 0;
    size_t routes = 0;
    size_t tracks = 0;
};

enum class ESyncReply {
    kApplied,
    kNotAReply, // not a file of ours, or the record type of another file
    kDataError, // a sync reply that cannot be read whole: nothing was changed
};

class COverlaySync
{
public:
    static constexpr uint32_t kRequestType = 0x2097BE28;
    static constexpr uint32_t kReplyType = 0x2097BE29;
    static constexpr uint32_t kVersion = 1;
    static constexpr uint32_t kMaxListCount = 1000000;

    // Writes the request into `out` (a stream from CSerialStream::OpenWrite):
    // the marks, routes and tracks changed since header.lastSync, tombstones
    // included, do-not-sync objects and trivial live tracks left out. Every
    // object sent gets its sync id here. False when a record could not be written.
    static bool BuildRequest(const CSyncHeader& header, CMarkManager& marks, CTrackManager& tracks,
                             CSerialStream& out, CSyncCounts* counts = nullptr);

    // Reads the whole reply first and changes nothing unless every entry read.
    // Then, list by list: an entry updates the local object with its id in
    // place, or becomes a new object. An entry is read and dropped when the
    // local object is do-not-sync, was modified after `start` (that edit goes
    // next time), or is in use by navigation in a way the update would end (a
    // deletion of the go-to mark or the followed route, new points for a route
    // holding the go-to mark, anything for the recorded track). Local go-to
    // and follow flags stay; a tool or route building on an updated object
    // ends first. Finally the tombstones not modified after `start` are
    // purged. Received objects keep the server's modification time.
    static ESyncReply ApplyReply(const void* data, size_t size, double start, CMarkManager& marks,
                                 CTrackManager& tracks, std::string* error = nullptr,
                                 CSyncCounts* applied = nullptr);
};
