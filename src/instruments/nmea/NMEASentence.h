#pragma once
// The NMEA 0183 sentence framework: every received line goes through
// DispatchNMEALine, which checks it, publishes the raw line and, when the
// matching sentence class has subscribers, parses it into a pooled object and
// publishes that to Listener<ThatClass>.
#include "foundation/events/Listener.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class CDataConnection;
class CNMEASentence;

// The registration of one sentence class; one static object per class, which
// joins the list of types through RegisterNMEASentenceTypes (or Register).
class CNMEASentenceType
{
public:
    // `code` is compared with the line at `offset` (counted from the start
    // character); `source` is the class's Listener source slot.
    CNMEASentenceType(uint32_t offset, const char* code, CListenerList** source);
    virtual ~CNMEASentenceType();
    CNMEASentenceType(const CNMEASentenceType&) = delete;
    CNMEASentenceType& operator=(const CNMEASentenceType&) = delete;

    virtual CNMEASentence* CreateSentence() = 0;
    // Publishes a parsed object to the class's subscribers; true when stopped.
    virtual bool Publish(CNMEASentence* sentence) = 0;

    // A subscription to this class without naming it (logging, diagnostics):
    // the callback sees every parsed object until the handle is destroyed.
    class AnySubscription
    {
    public:
        virtual ~AnySubscription() = default;
    };
    using AnyCallback = std::function<void(const CNMEASentence&)>;
    virtual std::unique_ptr<AnySubscription> SubscribeAny(AnyCallback callback, int32_t priority = 0) = 0;

    // Appends the type at the end of the list and enters it in the look-up
    // table; a registered type stays where it is.
    void Register();

    bool Matches(const char* line) const;
    bool HasSubscribers() const { return *m_source != nullptr; }
    CListenerList* Source() const { return *m_source; }

    CNMEASentenceType* m_next = nullptr;
    uint32_t m_offset;
    const char* m_code;
    size_t m_codeLength;
    CNMEASentence* m_pool = nullptr;
    CListenerList** m_source;
    bool m_registered = false;
    uint32_t m_order = 0; // place in the registration order; the first match wins

    // Head of the global list, in the order of registration; the first
    // look-up registers the instruments' own types.
    static CNMEASentenceType* First();
};

// The type object of sentence class S: `static CNMEASentenceTypeOf<S> Type;`
// in S, defined in S's source file.
template <class S> class CNMEASentenceTypeOf : public CNMEASentenceType
{
public:
    CNMEASentenceTypeOf(uint32_t offset, const char* code)
        : CNMEASentenceType(offset, code, Listener<S>::SourceSlot())
    {
    }
    CNMEASentence* CreateSentence() override { return new S(this); }
    bool Publish(CNMEASentence* sentence) override
    {
        CListenerList* source = Source();
        return source ? source->Fire(static_cast<const S*>(sentence)) : false;
    }
    std::unique_ptr<AnySubscription> SubscribeAny(AnyCallback callback, int32_t priority) override
    {
        struct Sub : AnySubscription, Listener<S>
        {
            Sub(AnyCallback cb, int32_t p) : Listener<S>(p), callback(std::move(cb)) {}
            void Notify(const S& sentence) override { callback(sentence); }
            AnyCallback callback;
        };
        return std::make_unique<Sub>(std::move(callback), priority);
    }
};

// Base of every parsed sentence.
class CNMEASentence
{
public:
    explicit CNMEASentence(CNMEASentenceType* type) : m_type(type) {}
    virtual ~CNMEASentence() = default;
    CNMEASentence(const CNMEASentence&) = delete;
    CNMEASentence& operator=(const CNMEASentence&) = delete;

    // Parses the writable line (from its start character); true when understood.
    virtual bool Parse(char* line) = 0;

    CDataConnection* m_connection = nullptr;
    CNMEASentenceType* m_type;
    CNMEASentence* m_poolLink = nullptr;
    uint32_t m_useCount = 0;
};

// One raw NMEA line with the connection it came from (or should skip).
struct CNMEA_Raw
{
    CDataConnection* connection = nullptr;
    char text[200] = {};
};

// Longest received line (from the start character) that makes a raw record.
constexpr size_t kMaxRawLineLength = 197;
// Longest composed sentence text (without checksum and line end) that is sent.
constexpr size_t kMaxSentLength = 194;

bool DispatchNMEALine(char* line, CDataConnection* connection);
// The first registered type whose Matches() takes the line, found through a
// table keyed by the code's first characters at its offset (the talker-less
// identifier, "RMC", or the proprietary prefix, "PTS"), so a line is compared
// only with the few types that share its key.
CNMEASentenceType* FindNMEASentenceType(const char* line);

// The XOR of every character after the start character up to '*'. The line
// needs '*' followed by two hexadecimal digits of either case.
bool VerifyNMEAChecksum(const char* line);
// Appends '*', two upper-case hex digits and a NUL. `capacity` is the size of
// the buffer; false when it does not fit.
bool AppendNMEAChecksum(char* text, size_t capacity);

void ClearNMEAOutput(CNMEA_Raw& record);
// Sends a composed sentence (text without checksum) to every connection whose
// output filter accepts it. False when it was too long to send.
bool SendNMEASentence(CNMEA_Raw& record);
