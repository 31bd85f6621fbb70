#include "instruments/connections/ConnectionReader.h"

#include "foundation/notify/StatusLine.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/nmea/NMEASentence.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string StatusKey(const CConnectionReader* reader)
{
    char key[48];
    std::snprintf(key, sizeof key, "input too fast %p", static_cast<const void*>(reader));
    return key;
}

} // namespace

CConnectionReader::~CConnectionReader()
{
    EndOverload();
}

void CConnectionReader::EndOverload()
{
    if (m_droppedInOverload > 0)
        ReleaseStatusCondition(StatusKey(this));
    m_droppedInOverload = 0;
    m_quietTicks = 0;
}

void CConnectionReader::Reset()
{
    EndOverload();
    m_pos = m_end = 0;
    m_linePos = 0;
    m_line[0] = '\0';
    m_skipping = false;
    m_keptFirst = m_keptCount = 0;
    m_bytesReceived = 0;
    m_droppedTotal = 0;
}

// Keeps the line collected so far; when the tick already keeps its limit,
// the oldest kept line gives way.
void CConnectionReader::EndLine()
{
    const bool hadLine = m_linePos > 0 && !m_skipping;
    m_skipping = false;
    const size_t length = m_linePos;
    m_linePos = 0;
    if (!hadLine)
        return;
    int slot;
    if (m_keptCount < kMaxLinesPerTick) {
        slot = (m_keptFirst + m_keptCount) % kMaxLinesPerTick;
        ++m_keptCount;
    } else {
        slot = m_keptFirst;
        m_keptFirst = (m_keptFirst + 1) % kMaxLinesPerTick;
        ++m_droppedTotal;
        ++m_droppedInOverload;
    }
    std::memcpy(m_kept[slot], m_line, length);
    m_kept[slot][length] = '\0';
}

void CConnectionReader::DispatchKept(CDataConnection* connection, uint64_t droppedThisTick)
{
    if (droppedThisTick > 0)
        WriteNMEACapture("Error: too many sentences - discarding the input buffer");
    // Dispatching may publish to anything; the slots are read before the next tick refills them.
    for (int i = 0; i < m_keptCount; ++i) {
        char* line = m_kept[(m_keptFirst + i) % kMaxLinesPerTick];
        WriteNMEACapture(line);
        DispatchNMEALine(line, connection);
    }
    m_keptFirst = m_keptCount = 0;
    if (droppedThisTick > 0) {
        m_quietTicks = 0;
        RaiseStatusCondition(StatusKey(this), "Input too fast: " + std::to_string(m_droppedInOverload) +
                                                  " older sentences dropped");
    } else if (m_droppedInOverload > 0 && ++m_quietTicks >= kQuietTicksAfterOverload) {
        EndOverload();
    }
}

CConnectionReader::Outcome CConnectionReader::Tick(CDataConnection* connection, ReadFunction read,
                                                   void* context)
{
    const uint64_t droppedBefore = m_droppedTotal;
    size_t bytesThisTick = 0;
    Outcome outcome = Outcome::Idle;
    for (;;) {
        if (m_pos >= m_end) {
            if (bytesThisTick >= kMaxBytesPerTick)
                break;
            ssize_t n = read(context, m_buffer, kBufferSize);
            if (n == kClosed) {
                outcome = Outcome::Closed;
                break;
            }
            if (n <= 0)
                break;
            const size_t got = static_cast<size_t>(n) > kBufferSize ? kBufferSize : static_cast<size_t>(n);
            m_bytesReceived += got;
            bytesThisTick += got;
            m_pos = 0;
            m_end = got;
        }
        const char c = m_buffer[m_pos++];
        if (c == '\r') {
            // skipped
        } else if (c == '\n') {
            EndLine();
        } else if (m_skipping) {
            // the rest of an over-long line
        } else if (m_linePos >= kMaxLine) {
            WriteNMEACapture("Error: Data not NMEA format.");
            m_linePos = 0;
            m_skipping = true;
        } else {
            m_line[m_linePos++] = c;
        }
        // A datagram carries whole sentences: its end ends the last one.
        if (m_kind == Kind::Datagram && m_pos >= m_end)
            EndLine();
    }
    DispatchKept(connection, m_droppedTotal - droppedBefore);
    // A closed source sends nothing more: no overload goes on.
    if (outcome == Outcome::Closed)
        EndOverload();
    return outcome;
}
