#include "foundation/settings/PersistantData.h"

#include "foundation/drawing/GraphicsColor.h"
#include "foundation/settings/ColourText.h"
#include "foundation/settings/IniFile.h"
#include "foundation/settings/SettingsFolders.h"
#include "foundation/settings/SettingsValueText.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>

// Zero-initialised before any constructor runs, so objects of other files
// may join it during static initialisation.
PersistantData* gPersistantDataList = nullptr;

namespace {

enum class Mode { Idle, Load, Save };

struct SettingsState
{
    Mode mode = Mode::Idle;
    CIniMap* current = nullptr;
    std::string baseName;
    std::string primaryOverride;
    std::string secondaryOverride;
    std::string lastError;
};

// Built on first use: settings objects are static and may be constructed
// before this file's own statics.
SettingsState& State()
{
    static SettingsState state;
    return state;
}

// Lists longer than this in a file are taken as damage, not as data.
constexpr int64_t kMaxListCount = 100000;

std::string PrimaryPath(const std::string& baseName)
{
    const SettingsState& s = State();
    return s.primaryOverride.empty() ? PersistantData::GetIniPath(baseName) : s.primaryOverride;
}

std::string SecondaryPath(const std::string& baseName)
{
    const SettingsState& s = State();
    return s.secondaryOverride.empty() ? PersistantData::GetSecondaryIniPath(baseName) : s.secondaryOverride;
}

class CModeScope
{
public:
    CModeScope(Mode mode, CIniMap& map)
    {
        State().mode = mode;
        State().current = &map;
    }
    ~CModeScope()
    {
        State().mode = Mode::Idle;
        State().current = nullptr;
    }
};

} // namespace

PersistantData::PersistantData(const char* name) : m_name(name ? name : "")
{
    m_next = gPersistantDataList;
    gPersistantDataList = this;
}

PersistantData::~PersistantData()
{
    for (PersistantData** link = &gPersistantDataList; *link; link = &(*link)->m_next) {
        if (*link == this) {
            *link = m_next;
            break;
        }
    }
}

PersistantData* PersistantData::First()
{
    return gPersistantDataList;
}

std::string PersistantData::GetIniPath(const std::string& baseName)
{
    return SettingsDataFolder() + "/" + baseName + ".ini";
}

std::string PersistantData::GetSecondaryIniPath(const std::string& baseName)
{
    return SettingsDocumentsFolder() + "/" + baseName + ".ini";
}

void PersistantData::SetIniPaths(const std::string& primary, const std::string& secondary)
{
    State().primaryOverride = primary;
    State().secondaryOverride = secondary;
}

const std::string& PersistantData::LastError()
{
    return State().lastError;
}

bool PersistantData::IsLoading()
{
    return State().mode == Mode::Load;
}

bool PersistantData::LoadAll(const std::string& baseName)
{
    SettingsState& s = State();
    s.baseName = baseName;
    s.lastError.clear();
    CIniMap map;
    bool whole = true;
    std::string error;
    // The documents copy is read last, so its values win for keys in both.
    for (const std::string& path : {PrimaryPath(baseName), SecondaryPath(baseName)}) {
        if (ReadIniFile(path, map, &error) == IniReadResult::Failed) {
            whole = false;
            s.lastError = error;
        }
    }
    CModeScope scope(Mode::Load, map);
    for (PersistantData* p = gPersistantDataList; p; p = p->m_next)
        p->Exchange();
    return whole;
}

bool PersistantData::SaveAll()
{
    SettingsState& s = State();
    if (s.baseName.empty()) {
        s.lastError = "settings were never loaded";
        return false;
    }
    s.lastError.clear();
    const std::string path = PrimaryPath(s.baseName);
    CIniMap map;
    std::string error;
    // Writing over a file that could not be read would lose every key in it.
    if (ReadIniFile(path, map, &error) == IniReadResult::Failed) {
        s.lastError = error + "; settings not saved";
        return false;
    }
    std::vector<PersistantData*> saved;
    {
        CModeScope scope(Mode::Save, map);
        for (PersistantData* p = gPersistantDataList; p; p = p->m_next) {
            if (p->m_modified) {
                p->Exchange();
                saved.push_back(p);
            }
        }
    }
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    if (!WriteIniFile(path, map, &error)) {
        s.lastError = "cannot save " + path + ": " + error;
        return false;
    }
    for (PersistantData* p : saved)
        p->m_modified = false;
    return true;
}

std::string PersistantData::FullKey(const char* key) const
{
    return m_name + ":" + (key ? key : "");
}

const std::string* PersistantData::LoadedValue(const std::string& fullKey) const
{
    const SettingsState& s = State();
    if (s.mode != Mode::Load || !s.current)
        return nullptr;
    auto it = s.current->find(fullKey);
    if (it == s.current->end() || it->second.empty())
        return nullptr;
    return &it->second;
}

void PersistantData::Store(const std::string& fullKey, std::string text)
{
    SettingsState& s = State();
    if (s.mode == Mode::Save && s.current)
        (*s.current)[fullKey] = std::move(text);
}

void PersistantData::ExchangeHex(const char* key, uint32_t& value)
{
    const std::string full = FullKey(key);
    if (IsLoading()) {
        int64_t v;
        if (const std::string* text = LoadedValue(full); text && ParseLeadingInteger(*text, v))
            value = ClampToU32(v);
    } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", value);
        Store(full, buf);
    }
}

void PersistantData::ExchangeBool(const char* key, bool& value)
{
    const std::string full = FullKey(key);
    if (IsLoading()) {
        int64_t v;
        if (const std::string* text = LoadedValue(full); text && ParseLeadingInteger(*text, v))
            value = v != 0;
    } else {
        Store(full, value ? "1" : "0");
    }
}

void PersistantData::ExchangeString(const char* key, std::string& value)
{
    const std::string full = FullKey(key);
    if (IsLoading()) {
        if (const std::string* text = LoadedValue(full))
            value = *text;
    } else {
        Store(full, value);
    }
}

void PersistantData::ExchangeBlob(const char* key, void* data, size_t size)
{
    const std::string full = FullKey(key);
    if (IsLoading()) {
        if (const std::string* text = LoadedValue(full))
            HexToBytes(*text, data, size);
    } else {
        Store(full, BytesToHex(data, size));
    }
}

void PersistantData::ExchangeDouble(const char* key, double& value)
{
    const std::string full = FullKey(key);
    if (IsLoading()) {
        const std::string* text = LoadedValue(full);
        if (!text)
            return;
        double v = value;
        if (text->find('.') != std::string::npos) {
            if (!ParseLeadingDecimal(*text, v))
                return;
        } else {
            HexToBytes(*text, &v, sizeof v);
        }
        if (std::isfinite(v))
            value = v;
    } else {
        Store(full, BytesToHex(&value, sizeof value));
    }
}

void PersistantData::ExchangeFloat(const char* key, float& value)
{
    const std::string full = FullKey(key);
    if (IsLoading()) {
        const std::string* text = LoadedValue(full);
        if (!text)
            return;
        float v = value;
        if (text->find('.') != std::string::npos) {
            double d;
            if (!ParseLeadingDecimal(*text, d))
                return;
            v = static_cast<float>(std::fmax(-FLT_MAX, std::fmin(FLT_MAX, d)));
        } else {
            HexToBytes(*text, &v, sizeof v);
        }
        if (std::isfinite(v))
            value = v;
    } else {
        Store(full, BytesToHex(&value, sizeof value));
    }
}

void PersistantData::ExchangeColourComponents(const char* key, double rgba[4])
{
    const std::string full = FullKey(key);
    if (IsLoading()) {
        if (const std::string* text = LoadedValue(full))
            ColorFromHexString(*text, rgba);
    } else {
        Store(full, ColorToHexString(rgba));
    }
}

// Items of a longer earlier list would otherwise stay in the file for ever.
void PersistantData::DropItemsFrom(const std::string& fullKey, size_t first)
{
    SettingsState& s = State();
    if (s.mode != Mode::Save || !s.current)
        return;
    size_t i = first;
    while (s.current->erase(fullKey + "[" + std::to_string(i) + "]") > 0)
        ++i;
}

void PersistantData::ExchangeColour(const char* key, GraphicsColor& colour)
{
    double rgba[4];
    colour.GetComponents(rgba[0], rgba[1], rgba[2], rgba[3]);
    ExchangeColourComponents(key, rgba);
    if (IsLoading())
        colour.SetComponents(rgba[0], rgba[1], rgba[2], rgba[3]);
}

bool PersistantData::ExchangeCount(const std::string& fullKey, size_t saveCount, size_t& loadCount)
{
    const std::string countKey = fullKey + ":n";
    if (IsLoading()) {
        int64_t n;
        const std::string* text = LoadedValue(countKey);
        // No count at all: the list keeps what it holds (its built-in default).
        if (!text || !ParseLeadingInteger(*text, n))
            return false;
        loadCount = static_cast<size_t>(std::max<int64_t>(0, std::min(n, kMaxListCount)));
        return true;
    }
    Store(countKey, std::to_string(saveCount));
    return false;
}

// A set and a list are stored alike: a count, then "key[i]" per item in
// iteration order.
template <class Strings> void PersistantData::ExchangeStrings(const char* key, Strings& value)
{
    const std::string full = FullKey(key);
    size_t count = 0;
    if (ExchangeCount(full, value.size(), count)) {
        value.clear();
        for (size_t i = 0; i < count; ++i) {
            const std::string* item = LoadedValue(full + "[" + std::to_string(i) + "]");
            value.insert(value.end(), item ? *item : std::string());
        }
        return;
    }
    if (IsLoading())
        return;
    size_t i = 0;
    for (const std::string& item : value)
        Store(full + "[" + std::to_string(i++) + "]", item);
    DropItemsFrom(full, i);
}

void PersistantData::ExchangeStringSet(const char* key, std::set<std::string>& value)
{
    ExchangeStrings(key, value);
}

void PersistantData::ExchangeStringList(const char* key, std::vector<std::string>& value)
{
    ExchangeStrings(key, value);
}
