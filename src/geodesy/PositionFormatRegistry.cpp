// The position format objects. They are built here, in one translation unit,
// so that their construction order (and with it the menu order, last built
// first) is fixed.
#include "geodesy/GridFormats.h"
#include "geodesy/Units.h"

namespace {

CUnitsMGRS g_formatMGRS;
CUnitsOSGB g_formatOSGB;
CUnits::PosFmtDegMin g_formatDegMin;
CUnits::PosFmtDMS g_formatDMS;
CUnits::PosFmtDeg g_formatDeg;
CUnitsNZTM g_formatNZTM;
CUnitsPositionUTM84 g_formatUTM84;
CUnitsPositionUTM84bands g_formatUTM84bands;

} // namespace
