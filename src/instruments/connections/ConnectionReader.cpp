#include "instruments/connections/ConnectionReader.h"

#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/nmea/NMEASentence.h"

void CConnectionReader::Reset()
{
    m_pos = m_end = 0;
    m_linePos = 0;
    m_line[0] = '\0';
    m_bytesReceived = 0;
}

// Dispatches the line collected so far; true when it counts towards the
// tick's limit.
bool CConnectionReader::EndLine(CDataConnection* connection, int& lines)
{
    if (m_linePos == 0)
        return false;
    m_line[m_linePos] = '\0';
    m_linePos = 0;
    WriteNMEACapture(m_line);
    const bool accepted = DispatchNMEALine(m_line, connection);
    if (m_kind != Kind::Serial || accepted)
        ++lines;
    return true;
}

CConnectionReader::Outcome CConnectionReader::Tick(CDataConnection* connection, ReadFunction read,
                                                   void* context)
{
    int lines = 0;
    size_t bytesThisTick = 0;
    for (;;) {
        if (m_pos >= m_end) {
            if (bytesThisTick >= kMaxBytesPerTick)
                return Outcome::Idle;
            ssize_t n = read(context, m_buffer, kBufferSize);
            if (n == kClosed)
                return Outcome::Closed;
            if (n <= 0)
                return Outcome::Idle;
            const size_t got = static_cast<size_t>(n) > kBufferSize ? kBufferSize : static_cast<size_t>(n);
            m_bytesReceived += got;
            bytesThisTick += got;
            m_pos = 0;
            m_end = got;
            if (m_kind != Kind::Serial && got == kBufferSize) {
                // A full read means a backlog: show the newest data instead.
                m_pos = m_end = 0;
                WriteNMEACapture("Error: Data is not fresh - discarding the input buffer");
                return Outcome::Idle;
            }
        }
        const char c = m_buffer[m_pos++];
        if (c == '\r') {
            // skipped
        } else if (c == '\n') {
            EndLine(connection, lines);
        } else if (m_linePos >= kMaxLine) {
            WriteNMEACapture("Error: Data not NMEA format.");
            m_linePos = 0;
            return Outcome::Idle;
        } else {
            m_line[m_linePos++] = c;
        }
        // A datagram carries whole sentences: its end ends the last one.
        if (m_kind == Kind::Datagram && m_pos >= m_end)
            EndLine(connection, lines);
        if (lines >= kMaxLinesPerTick) {
            m_pos = m_end;
            WriteNMEACapture("Error: too many sentences - discarding the input buffer");
            return Outcome::Idle;
        }
    }
}
