#include "instruments/nmea/NMEASentence.h"

#include "foundation/util/StringUtil.h"
#include "instruments/DataConnection.h"
#include "instruments/nmea/NMEAFilter.h"
#include "instruments/nmea/NMEASentenceTypes.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

CNMEASentenceType* gFirstType = nullptr;
uint32_t gNextOrder = 0;

// Characters of a code that make its key: "RMC" of every standard sentence,
// "PTS" of "PTSX,SetStartTimer". Codes are compared as prefixes, so only a
// fixed-length leading part can be a key.
constexpr size_t kKeyLength = 3;

uint64_t TypeKey(uint32_t offset, const char* code)
{
    uint64_t key = offset;
    for (size_t i = 0; i < kKeyLength; ++i)
        key = key << 8 | static_cast<unsigned char>(code[i]);
    return key;
}

// The registered types by key, each list in registration order, with the
// offsets that keys are taken at. Codes shorter than a key are tried one by one.
struct TypeTable
{
    std::unordered_map<uint64_t, std::vector<CNMEASentenceType*>> keyed;
    std::vector<uint32_t> offsets;
    std::vector<CNMEASentenceType*> unkeyed;

    void Add(CNMEASentenceType* type)
    {
        if (type->m_codeLength < kKeyLength) {
            unkeyed.push_back(type);
            return;
        }
        keyed[TypeKey(type->m_offset, type->m_code)].push_back(type);
        if (std::find(offsets.begin(), offsets.end(), type->m_offset) == offsets.end())
            offsets.push_back(type->m_offset);
    }
    void Remove(CNMEASentenceType* type)
    {
        auto drop = [type](std::vector<CNMEASentenceType*>& list) {
            list.erase(std::remove(list.begin(), list.end(), type), list.end());
        };
        drop(unkeyed);
        if (type->m_codeLength >= kKeyLength) {
            auto it = keyed.find(TypeKey(type->m_offset, type->m_code));
            if (it != keyed.end()) {
                drop(it->second);
                if (it->second.empty())
                    keyed.erase(it);
            }
        }
    }
};

TypeTable& Table()
{
    // Never destroyed: sentence types with static storage unregister at exit,
    // which may be after a table of static storage would be gone.
    static TypeTable* table = new TypeTable;
    return *table;
}

// The first type of `list` (registration order) that takes the line, if it
// came earlier than `best`.
void FirstMatch(const std::vector<CNMEASentenceType*>& list, const char* line, CNMEASentenceType*& best)
{
    for (CNMEASentenceType* t : list) {
        if (best && t->m_order > best->m_order)
            return;
        if (t->Matches(line)) {
            best = t;
            return;
        }
    }
}

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
    m_order = gNextOrder++;
    CNMEASentenceType** tail = &gFirstType;
    while (*tail)
        tail = &(*tail)->m_next;
    *tail = this;
    Table().Add(this);
}

CNMEASentenceType::~CNMEASentenceType()
{
    while (m_pool) {
        CNMEASentence* s = m_pool;
        m_pool = s->m_poolLink;
        delete s;
    }
    if (m_registered)
        Table().Remove(this);
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
    RegisterNMEASentenceTypes();
    const TypeTable& table = Table();
    CNMEASentenceType* best = nullptr;
    for (uint32_t offset : table.offsets) {
        // The key's characters must all lie before the line's end.
        size_t reach = 0;
        while (reach < offset + kKeyLength && line[reach] != '\0')
            ++reach;
        if (reach < offset + kKeyLength)
            continue;
        auto it = table.keyed.find(TypeKey(offset, line + offset));
        if (it != table.keyed.end())
            FirstMatch(it->second, line, best);
    }
    FirstMatch(table.unkeyed, line, best);
    return best;
}

namespace {

// The checksum test over a line of known length that holds no NUL: the body
// is XORed eight bytes at a time, which folds to the same byte.
bool ChecksumMatches(const char* line, size_t length)
{
    if (length == 0 || (*line != '$' && *line != '!'))
        return false;
    const char* end = line + length;
    const char* star = static_cast<const char*>(std::memchr(line + 1, '*', length - 1));
    if (!star || end - star < 3)
        return false;
    const char* p = line + 1;
    uint64_t wide = 0;
    for (; star - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        wide ^= word;
    }
    wide ^= wide >> 32;
    wide ^= wide >> 16;
    wide ^= wide >> 8;
    unsigned sum = unsigned(wide & 0xFF);
    for (; p < star; ++p)
        sum ^= static_cast<unsigned char>(*p);
    const int high = HexDigit(star[1]), low = HexDigit(star[2]);
    return high >= 0 && low >= 0 && unsigned(high * 16 + low) == sum;
}

} // namespace

bool VerifyNMEAChecksum(const char* line)
{
    return ChecksumMatches(line, std::strlen(line));
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
    if (!ChecksumMatches(start, length))
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
