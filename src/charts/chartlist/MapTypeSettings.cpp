// The map types the user shows (settings object "CSelectMapTypes") and the
// map-store folder chosen by its storage option.
#include "charts/chartlist/ChartList.h"

#include "foundation/settings/PersistantData.h"
#include "foundation/util/Folders.h"

namespace {

class SelectMapTypesSettings : public PersistantData
{
public:
    SelectMapTypesSettings() : PersistantData("CSelectMapTypes")
    {
        values.show = CSelectMapTypes::DefaultTypes();
    }
    void Exchange() override
    {
        ExchangeStringSet("show", values.show);
        ExchangeBool("types_hint", values.typesHint);
        ExchangeBool("show_old_maps", values.showOldMaps);
        uint32_t option = uint32_t(values.mvtStorageOption);
        ExchangeHex("MVT_storage_option", option);
        values.mvtStorageOption = int32_t(option);
        if (IsLoading() && values.show.empty())
            values.show = CSelectMapTypes::DefaultTypes();
    }
    CSelectMapTypes::Settings values;
};

SelectMapTypesSettings& MapTypeSettings()
{
    static SelectMapTypesSettings settings;
    return settings;
}

} // namespace

CSelectMapTypes::Settings& CSelectMapTypes::Get()
{
    return MapTypeSettings().values;
}

std::set<std::string> CSelectMapTypes::DefaultTypes()
{
    return {"Topo", "4WD", "Basemap"};
}

bool CSelectMapTypes::IsTypeShown(const std::string& mapType)
{
    return Get().show.count(mapType) != 0;
}

bool CSelectMapTypes::IsTypeShown(const CChartOutline& outline)
{
    return IsTypeShown(outline.mapType);
}

void CSelectMapTypes::ShowType(const std::string& mapType)
{
    if (Get().show.insert(mapType).second)
        MapTypeSettings().SetModified();
}

void CSelectMapTypes::HideType(const std::string& mapType)
{
    if (Get().show.erase(mapType))
        MapTypeSettings().SetModified();
}

std::string GetMVTFolder()
{
    // Asked each time: the storage option and the data folder can change.
    return (CSelectMapTypes::Get().mvtStorageOption != 0 ? GetApplicationSupportFolder()
                                                         : GetDocumentsFolder()) +
           "/MVT";
}
