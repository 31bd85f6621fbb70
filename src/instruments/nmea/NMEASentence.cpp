#include "instruments/nmea/NMEASentence.h"

#include "foundation/util/StringUtil.h"
#include "instruments/DataConnection.h"
#include "instruments/nmea/NMEAFilter.h"
#include "instruments/nmea/NMEASentenceTypes.h"

#include <cstring>

namespace {

CNMEASentenceType* gFirstType = nullptr;

} // namespace

CNMEASentenceType::CNMEASentenceType(uint32_t offset, const char* code, CListenerList** source)
    : m_offset(offset), m_code(code), m_codeLength(std::strlen(code)), m_source(source)
{
}

void CNMEASentenceType::Register()
{
    if (m_registered)
        return;
    m_registered = true;
    CNMEASentenceType** tail = &gFirstType;
    while (*tail)
        tail = &(*tail)->m_next;
    *tail = this;
}

CNMEASentenceType::~CNMEASentenceType()
{
    while (m_pool) {
        CNMEASentence* s = m_pool;
        m_pool = s->m_poolLink;
        delete s;
    }
    for (CNMEASentenceType** p = &gFirstType; *p; p = &(*p)->m_next) {
        if (*p == this) {
            *p = m_next;
            break;
        }
    }
}

CNMEASentenceType* CNMEASentenceType::First()
{
    RegisterNMEASentenceTypes();
    return gFirstType;
}

bool CNMEASentenceType::Matches(const char* line) const
{
    // The line must reach the code's position; the talker characters before
    // an offset-3 code are ignored, but a proprietary address ("$PGRMC") is
    // not a standard sentence with a talker.
    for (uint32_t i = 0; i < m_offset; ++i)
        if (line[i] == '\0')
            return false;
    if (m_offset == 3 && line[1] == 'P')
        return false;
    return std::strncmp(line + m_offset, m_code, m_codeLength) == 0;
}

CNMEASentenceType* FindNMEASentenceType(const char* line)
{
    for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
        if (t->Matches(line))
            return t;
    return nullptr;
}

bool VerifyNMEAChecksum(const char* line)
{
    if (*line != '$' && *line != '!')
        return false;
    unsigned sum = 0;
    const char* p = line + 1;
    for (; *p && *p != '*'; ++p)
        sum ^= static_cast<unsigned char>(*p);
    if (*p != '*' || p[1] == '\0' || p[2] == '\0')
        return false;
    const int high = HexDigit(p[1]), low = HexDigit(p[2]);
    return high >= 0 && low >= 0 && unsigned(high * 16 + low) == sum;
}

bool AppendNMEAChecksum(char* text, size_t capacity)
{
    size_t len = std::strlen(text);
    if (len + 4 > capacity)
        return false;
    unsigned sum = 0;
    const char* start = text;
    if (*start == '$' || *start == '!')
        ++start;
    for (const char* p = start; *p; ++p)
        sum ^= static_cast<unsigned char>(*p);
    static const char hex[] = "0123456789ABCDEF";
    text[len] = '*';
    text[len + 1] = hex[(sum >> 4) & 0xF];
    text[len + 2] = hex[sum & 0xF];
    text[len + 3] = '\0';
    return true;
}

bool DispatchNMEALine(char* line, CDataConnection* connection)
{
    // 1. Start character; anything before it is noise.
    char* start = line;
    while (*start && *start != '$' && *start != '!')
        ++start;
    if (!*start)
        return false;
    // A line ends at its line end, if the caller left one.
    size_t length = std::strcspn(start, "\r\n");
    start[length] = '\0';

    // 2. Checksum.
    if (!VerifyNMEAChecksum(start))
        return false;

    // 3. Input filter of the delivering connection.
    if (connection && !connection->m_inputFilters.empty()) {
        bool verdict = true;
        ApplyNMEAFilters(connection->m_inputFilters, start, verdict);
        if (!verdict)
            return false;
    }

    // 4. Raw record, only when someone listens to raw lines.
    CListenerList* rawSource = Listener<CNMEA_Raw>::Source();
    CNMEA_Raw raw;
    const bool rawMade = rawSource != nullptr;
    if (rawMade) {
        raw.connection = connection;
        if (length <= kMaxRawLineLength) {
            std::memcpy(raw.text, start, length);
            raw.text[length] = '\r';
            raw.text[length + 1] = '\n';
            raw.text[length + 2] = '\0';
        }
    }

    // 5, 6. Typed sentence, parsed only when its class has subscribers.
    bool result = false;
    bool stopped = false;
    CNMEASentenceType* type = FindNMEASentenceType(start);
    if (type && type->HasSubscribers()) {
        CNMEASentence* sentence = type->m_pool;
        if (sentence)
            type->m_pool = sentence->m_poolLink;
        else
            sentence = type->CreateSentence();
        if (sentence) {
            ++sentence->m_useCount;
            sentence->m_connection = connection;
            if (sentence->Parse(start)) {
                stopped = type->Publish(sentence);
                result = true;
            }
            if (--sentence->m_useCount == 0) {
                sentence->m_poolLink = type->m_pool;
                type->m_pool = sentence;
            }
        }
    }

    // 8. The raw record, unless a subscriber of the typed delivery stopped it.
    // The raw source may have gone while the typed event was delivered.
    rawSource = Listener<CNMEA_Raw>::Source();
    if (rawMade && rawSource && !stopped) {
        rawSource->Fire(&raw);
        result = true;
    }
    return result;
}

void ClearNMEAOutput(CNMEA_Raw& record)
{
    record.connection = nullptr;
    record.text[0] = '\0';
}

bool SendNMEASentence(CNMEA_Raw& record)
{
    size_t len = strnlen(record.text, sizeof record.text);
    if (len > kMaxSentLength)
        return false;
    AppendNMEAChecksum(record.text, sizeof record.text);
    len = std::strlen(record.text);
    record.text[len] = '\r';
    record.text[len + 1] = '\n';
    record.text[len + 2] = '\0';
    FireEvent(record);
    return true;
}
