#include "foundation/web/ChartServer.h"

#include <cstdlib>
#include <mutex>

#include "foundation/settings/PersistantData.h"

namespace {

std::mutex& SettingMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string& SettingText()
{
    static std::string text = CChartServer::kDefaultURL;
    return text;
}

// The stored form is the base text; worker threads read the published copy
// above, never the settings object itself.
class CChartServerSettings : public PersistantData
{
public:
    CChartServerSettings() : PersistantData("chart_server") {}
    void Exchange() override
    {
        std::string text = CChartServer::GetSetting();
        ExchangeString("url", text);
        if (IsLoading()) {
            CWebAddress address;
            if (CChartServer::ParseBase(text, address)) {
                std::lock_guard<std::mutex> lock(SettingMutex());
                SettingText() = address.Base();
            }
        }
    }
};

CChartServerSettings& Settings()
{
    static CChartServerSettings settings;
    return settings;
}

} // namespace

void CChartServer::MakeSettings()
{
    Settings();
}

bool CChartServer::ParseBase(const std::string& url, CWebAddress& out)
{
    auto address = ParseWebAddress(url, true);
    if (!address || (address->path != "/"))
        return false;
    out = *address;
    out.path.clear();
    return true;
}

std::string CChartServer::GetSetting()
{
    std::lock_guard<std::mutex> lock(SettingMutex());
    return SettingText();
}

CWebAddress CChartServer::Get()
{
    CWebAddress address;
    if (const char* env = std::getenv(kEnvironmentVariable); env && *env && ParseBase(env, address))
        return address;
    if (ParseBase(GetSetting(), address))
        return address;
    ParseBase(kDefaultURL, address);
    return address;
}

bool CChartServer::Set(const std::string& url)
{
    CWebAddress address;
    if (!ParseBase(url, address))
        return false;
    {
        std::lock_guard<std::mutex> lock(SettingMutex());
        SettingText() = address.Base();
    }
    Settings().SetModified();
    return true;
}

bool CChartServer::PointClient(CWebServer& web)
{
    CWebAddress address = Get();
    return web.SetHost(address.host.c_str(), address.secure, address.port, true);
}
