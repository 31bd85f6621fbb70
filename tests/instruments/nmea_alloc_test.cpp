// Steady NMEA input allocates nothing: the raw record lives on the stack and
// parsed sentence objects come back from their type's pool.
#include "instruments/nmea/NMEAFields.h"
#include "instruments/nmea/NMEASentence.h"
#include "support/CountingAllocator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

using tessatest::gHeapAllocations;

namespace {

class AllocSentence : public CNMEASentence
{
public:
    explicit AllocSentence(CNMEASentenceType* type) : CNMEASentence(type) {}
    bool Parse(char* line) override
    {
        char* f[8];
        SplitNMEAFields(line, 8, f);
        lat = ParseNMEALatitude(f[1], f[2]);
        return true;
    }
    double lat = 0;
    static CNMEASentenceTypeOf<AllocSentence> Type;
};
CNMEASentenceTypeOf<AllocSentence> AllocSentence::Type(3, "ZZA");

struct Sink : Listener<AllocSentence>, Listener<CNMEA_Raw>
{
    void Notify(const AllocSentence& s) override { sum += s.lat; }
    void Notify(const CNMEA_Raw& r) override { bytes += std::strlen(r.text); }
    double sum = 0;
    size_t bytes = 0;
};

} // namespace

TEST(NMEAAllocationTest, SteadyStateDispatchAllocatesNothing)
{
    Sink sink;
    const char* lines[] = {"$GPZZA,5130.5,N,1*", "$GPGSV,3,1,11,08,75,303,44*", "$IIMWV,120,R,5.0,N,A*",
                           "garbage$GNZZA,4807.038,S*"};
    std::string prepared[4];
    for (int i = 0; i < 4; ++i) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "%.*s", int(std::strlen(lines[i]) - 1), lines[i]);
        char* start = std::strpbrk(buf, "$!");
        std::string prefix(buf, size_t(start - buf));
        AppendNMEAChecksum(start, sizeof buf - size_t(start - buf));
        prepared[i] = prefix + start;
    }
    char work[256];
    auto runAll = [&] {
        for (auto& p : prepared) {
            std::memcpy(work, p.c_str(), p.size() + 1);
            ASSERT_TRUE(DispatchNMEALine(work, nullptr));
        }
    };
    runAll(); // warm-up: the pool gets its object
    long before = gHeapAllocations.load();
    for (int i = 0; i < 1000; ++i)
        runAll();
    EXPECT_EQ(gHeapAllocations.load() - before, 0);
    EXPECT_GT(sink.bytes, 0u);
}
