// The simulation replay over arbitrary files: opened, ticked through several
// rewinds, closed.
#include "FuzzScratch.h"
#include "instruments/connections/NMEASimulation.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<std::unique_ptr<CNMEASentenceType::AnySubscription>> subs = [] {
        std::vector<std::unique_ptr<CNMEASentenceType::AnySubscription>> v;
        for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
            v.push_back(t->SubscribeAny([](const CNMEASentence&) {}));
        return v;
    }();
    static const std::string path = fuzzsupport::ScratchFolder("nmeasimulation") + "/simulation.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
    CNMEASimulation::Settings().filename = path;
    CNMEASimulation sim;
    if (sim.Open()) {
        for (int i = 0; i < 4; ++i)
            sim.OnTick();
        sim.Close();
    }
    return 0;
}
