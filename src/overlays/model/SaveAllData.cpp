#include "overlays/model/SaveAllData.h"

bool SaveAllData()
{
    return SaveAllPort().SaveAllData();
}
