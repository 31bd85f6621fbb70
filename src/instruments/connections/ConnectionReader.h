#pragma once
// The reading state shared by the serial, TCP/IP and UDP connections: a read
// buffer of 4000 bytes and a line of at most 199 characters. Each tick reads
// without waiting until the source has nothing more, cuts lines at LF and
// hands the newest lines of the tick to the dispatcher. Input faster than the
// ticks can take loses whole older lines, never part of one, so what is shown
// is always the newest data received.
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

class CDataConnection;

class CConnectionReader
{
public:
    static constexpr size_t kBufferSize = 4000;
    static constexpr size_t kMaxLine = 199;
    // Lines handed on in one tick at most: the newest ones.
    static constexpr int kMaxLinesPerTick = 100;
    // Bytes read in one tick at most, so an endless source cannot hold it.
    static constexpr size_t kMaxBytesPerTick = 1024 * 1024;

    enum class Kind {
        Serial,
        Stream,
        Datagram, // the end of a datagram ends a line
    };

    // What the source returned.
    static constexpr ssize_t kNothing = 0; // no data now
    static constexpr ssize_t kClosed = -1; // peer closed, device gone, hard error
    // Reads at most `size` bytes without waiting.
    using ReadFunction = ssize_t (*)(void* context, char* buffer, size_t size);

    enum class Outcome { Idle, Closed };

    // Ticks without a dropped line that end an overload (a second of heartbeats).
    static constexpr int kQuietTicksAfterOverload = 20;

    explicit CConnectionReader(Kind kind) : m_kind(kind) {}
    ~CConnectionReader();
    CConnectionReader(const CConnectionReader&) = delete;
    CConnectionReader& operator=(const CConnectionReader&) = delete;

    void Reset();
    // One tick: dispatches lines to `connection` (may be null in tests).
    // While an overload lasts the status line says how many lines it has
    // dropped; the message goes once it is over.
    Outcome Tick(CDataConnection* connection, ReadFunction read, void* context);

    // Bytes taken from the source since the last reset (tests and benchmarks).
    uint64_t BytesReceived() const { return m_bytesReceived; }
    size_t PendingBytes() const { return m_end - m_pos; }
    size_t LineLength() const { return m_linePos; }
    // Lines dropped since the last reset.
    uint64_t LinesDropped() const { return m_droppedTotal; }

private:
    void EndLine();
    void DispatchKept(CDataConnection* connection, uint64_t droppedThisTick);
    void EndOverload();

    Kind m_kind;
    char m_buffer[kBufferSize];
    size_t m_pos = 0;
    size_t m_end = 0;
    char m_line[kMaxLine + 1] = {};
    size_t m_linePos = 0;
    // The rest of an over-long line is skipped up to its LF.
    bool m_skipping = false;
    // The newest complete lines of this tick, oldest at m_keptFirst.
    char m_kept[kMaxLinesPerTick][kMaxLine + 1] = {};
    int m_keptFirst = 0;
    int m_keptCount = 0;
    uint64_t m_bytesReceived = 0;
    uint64_t m_droppedTotal = 0;
    // Dropped in the overload going on (0: none), and ticks since its last drop.
    uint64_t m_droppedInOverload = 0;
    int m_quietTicks = 0;
};
