// Tessaroute: until the chart view and main window exist, the program reports
// which parts of the system are built and what they registered.
#include "instruments/nmea/NMEASentence.h"

#include <QCoreApplication>
#include <clocale>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    std::printf("Tessaroute %s\n", TESSA_VERSION);
    std::printf("Built so far: events and heartbeat, NMEA sentence framework.\n");
    int n = 0;
    for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
        ++n;
    std::printf("Registered NMEA sentence types: %d\n", n);
    std::printf("The chart window is not built yet.\n");
    return 0;
}
