#pragma once
// The reading state shared by the serial, TCP/IP and UDP connections: a read
// buffer of 4000 bytes and a line of at most 199 characters. Each tick reads
// without waiting, cuts lines at LF and hands each to the dispatcher.
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

class CDataConnection;

class CConnectionReader
{
public:
    static constexpr size_t kBufferSize = 4000;
    static constexpr size_t kMaxLine = 199;
    static constexpr int kMaxLinesPerTick = 100;
    // Bytes read in one tick at most, so a stream of garbage cannot hold it.
    static constexpr size_t kMaxBytesPerTick = 16 * 1024;

    enum class Kind {
        Serial,   // counts only accepted lines
        Stream,   // TCP: a full read is stale
        Datagram, // UDP: as TCP, and the end of a datagram ends a line
    };

    // What the source returned.
    static constexpr ssize_t kNothing = 0; // no data now
    static constexpr ssize_t kClosed = -1; // peer closed, device gone, hard error
    // Reads at most `size` bytes without waiting.
    using ReadFunction = ssize_t (*)(void* context, char* buffer, size_t size);

    enum class Outcome { Idle, Closed };

    explicit CConnectionReader(Kind kind) : m_kind(kind) {}

    void Reset();
    // One tick: dispatches lines to `connection` (may be null in tests).
    Outcome Tick(CDataConnection* connection, ReadFunction read, void* context);

    // Bytes taken from the source since the last reset (tests and benchmarks).
    uint64_t BytesReceived() const { return m_bytesReceived; }
    size_t PendingBytes() const { return m_end - m_pos; }
    size_t LineLength() const { return m_linePos; }

private:
    bool EndLine(CDataConnection* connection, int& lines);

    Kind m_kind;
    char m_buffer[kBufferSize];
    size_t m_pos = 0;
    size_t m_end = 0;
    char m_line[kMaxLine + 1] = {};
    size_t m_linePos = 0;
    uint64_t m_bytesReceived = 0;
};
