#include "overlays/model/SaveAllData.h"

bool SaveAllData()
{
    return Port<ISaveAllPort>().SaveAllData();
}
