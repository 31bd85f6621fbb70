// The position format objects and the order of the "Position format" menu.
#include "geodesy/GridFormats.h"
#include "geodesy/Units.h"

void RegisterPositionFormats()
{
    // Built on the first call, so that a look-up from any static initialiser
    // finds them built.
    static CUnitsPositionUTM84bands utmBands;
    static CUnitsPositionUTM84 utm;
    static CUnitsNZTM nztm;
    static CUnits::PosFmtDeg degrees;
    static CUnits::PosFmtDMS degMinSec;
    static CUnits::PosFmtDegMin degMin;
    static CUnitsOSGB osgb;
    static CUnitsMGRS mgrs;
    for (CUnits::PositionFormatType* f : std::initializer_list<CUnits::PositionFormatType*>{
             &utmBands, &utm, &nztm, &degrees, &degMinSec, &degMin, &osgb, &mgrs})
        f->Register();
}
