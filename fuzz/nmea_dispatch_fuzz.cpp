// The NMEA line dispatcher with every registered sentence type subscribed,
// a raw-record subscriber and a connection with input and output filters.
#include "ais/AISSentence.h"
#include "instruments/DataConnection.h"
#include "instruments/nmea/NMEASentence.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

class FuzzConnection : public CDataConnection
{
public:
    FuzzConnection()
    {
        AddNMEAFilter(m_inputFilters, "reject ??GSV");
        AddNMEAFilter(m_outputFilters, "accept ??????");
        AddNMEAFilter(m_outputFilters, "reject GP");
    }
    bool Write(const char* text) override { return text[0] != 0; }
};

struct RawSink : Listener<CNMEA_Raw>
{
    void Notify(const CNMEA_Raw& r) override { n += r.text[0] != 0; }
    size_t n = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RegisterAISSentenceTypes();
    static std::vector<std::unique_ptr<CNMEASentenceType::AnySubscription>> subs = [] {
        std::vector<std::unique_ptr<CNMEASentenceType::AnySubscription>> v;
        for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
            v.push_back(t->SubscribeAny([](const CNMEASentence&) {}));
        return v;
    }();
    static FuzzConnection other;
    RawSink raw;
    FuzzConnection conn;
    // Lines as a connection delivers them: cut at CR or LF, at most 200 characters.
    std::string line;
    auto flush = [&] {
        if (!line.empty()) {
            std::vector<char> buf(line.begin(), line.end());
            buf.push_back('\0');
            DispatchNMEALine(buf.data(), (line.size() & 1) ? &conn : nullptr);
        }
        line.clear();
    };
    for (size_t i = 0; i < size; ++i) {
        char c = char(data[i]);
        if (c == '\r' || c == '\n' || line.size() >= 200)
            flush();
        if (c != '\r' && c != '\n')
            line += c;
    }
    flush();
    CNMEA_Raw out;
    ClearNMEAOutput(out);
    size_t n = size < sizeof out.text - 1 ? size : sizeof out.text - 1;
    for (size_t i = 0; i < n; ++i)
        out.text[i] = data[i] ? char(data[i]) : ' ';
    out.text[n] = '\0';
    SendNMEASentence(out);
    return 0;
}
