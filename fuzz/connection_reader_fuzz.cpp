// The connections' line reader fed arbitrary chunks: the first byte picks
// the kind (serial, stream, datagram), each chunk is preceded by its length
// byte. Every tick must end, and no line may outgrow 199 characters.
#include "instruments/connections/ConnectionReader.h"
#include "instruments/nmea/NMEASentence.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Chunks
{
    const uint8_t* data;
    size_t size;
    size_t pos;
    int reads; // the reads of this tick
    static ssize_t Read(void* context, char* buffer, size_t size)
    {
        auto* c = static_cast<Chunks*>(context);
        if (c->pos >= c->size || ++c->reads > 8)
            return CConnectionReader::kNothing;
        size_t n = c->data[c->pos++];
        if (n == 0xFF)
            return CConnectionReader::kClosed;
        // Long chunks: 0xF0..0xFE ask for a full buffer of repeated text.
        if (n >= 0xF0) {
            std::memset(buffer, c->pos < c->size ? c->data[c->pos] : 'A', size);
            if (n == 0xF1)
                buffer[size - 1] = '\n';
            return static_cast<ssize_t>(size);
        }
        n = std::min({n, size, c->size - c->pos});
        std::memcpy(buffer, c->data + c->pos, n);
        c->pos += n;
        return static_cast<ssize_t>(n);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<std::unique_ptr<CNMEASentenceType::AnySubscription>> subs = [] {
        std::vector<std::unique_ptr<CNMEASentenceType::AnySubscription>> v;
        for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
            v.push_back(t->SubscribeAny([](const CNMEASentence&) {}));
        return v;
    }();
    if (size == 0)
        return 0;
    const CConnectionReader::Kind kinds[] = {CConnectionReader::Kind::Serial, CConnectionReader::Kind::Stream,
                                             CConnectionReader::Kind::Datagram};
    auto reader = std::make_unique<CConnectionReader>(kinds[data[0] % 3]);
    Chunks chunks{data, size, 1, 0};
    for (int tick = 0; tick < 64 && chunks.pos < size; ++tick) {
        chunks.reads = 0;
        reader->Tick(nullptr, &Chunks::Read, &chunks);
        if (reader->LineLength() > CConnectionReader::kMaxLine ||
            reader->PendingBytes() > CConnectionReader::kBufferSize)
            std::abort();
    }
    return 0;
}
