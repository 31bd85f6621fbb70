#include "instruments/nmea/NMEASentenceTypes.h"

#include "instruments/nmea/DSCSentences.h"
#include "instruments/nmea/GPSSentences.h"
#include "instruments/nmea/InstrumentSentences.h"
#include "instruments/nmea/PTSXSentences.h"

#include <initializer_list>

void RegisterNMEASentenceTypes()
{
    // Every dispatched line looks the types up; after the first call this is one test.
    [[maybe_unused]] static const bool registered = [] {
        using namespace CNMEA_GPS;
        using namespace CNMEA_Instruments;
        for (CNMEASentenceType* type : std::initializer_list<CNMEASentenceType*>{
                 &RMC::Type, &GGA::Type, &VTG::Type, &GSA::Type, &GSV::Type, &MWV::Type, &MWD::Type,
                 &VHW::Type, &HDG::Type, &DPT::Type, &DBT::Type, &MTW::Type, &RSA::Type, &RPM::Type,
                 &XDR::Type, &NMEA_PTSX::SetStartTimer::Type, &NMEA_PTSX::SetStartLine::Type,
                 &CNMEA_DSC::DSC::Type, &CNMEA_DSC::DSE::Type})
            type->Register();
        return true;
    }();
}
