// The settings ini reader with typed loads of every kind, then a save and a
// reload of what was read.
#include "FuzzScratch.h"
#include "foundation/drawing/GraphicsColor.h"
#include "foundation/settings/IniFile.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/settings/SettingsValueText.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

struct CFuzzSettings : PersistantData
{
    CFuzzSettings() : PersistantData("F") {}
    void Exchange() override
    {
        ExchangeHex("h", hex);
        ExchangeBool("b", flag);
        ExchangeString("s", text);
        ExchangeBlob("blob", blob, sizeof blob);
        ExchangeDouble("d", d);
        ExchangeFloat("f", f);
        ExchangeColour("c", colour);
        ExchangeStringSet("set", set);
        ExchangeStringList("list", list);
    }
    uint32_t hex = 0;
    bool flag = false;
    std::string text;
    unsigned char blob[6] = {};
    double d = 0;
    float f = 0;
    GraphicsColor colour;
    std::set<std::string> set;
    std::vector<std::string> list;
};

// In this process's scratch folder, so a run that ends on a finding leaves
// nothing behind once the next run has started.
std::string ScratchPath(const char* name)
{
    return fuzzsupport::ScratchFolder("ini") + "/" + name;
}

// The store accepts lists of up to 100,000 items; building that many per
// input would hold the fuzzer at a few runs a second, so longer lists only
// reach the parser here (the cap itself has its own test).
bool HasLongList(const CIniMap& map)
{
    constexpr int64_t kFuzzListCount = 256;
    for (const auto& [key, value] : map) {
        int64_t n = 0;
        if (key.size() > 2 && key.compare(key.size() - 2, 2, ":n") == 0 && ParseLeadingInteger(value, n) &&
            n > kFuzzListCount)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string primary = ScratchPath("primary.ini");
    static const std::string secondary = ScratchPath("secondary.ini");
    const std::string text(reinterpret_cast<const char*>(data), size);

    // The parser alone, and the writer's output read back.
    CIniMap map;
    ParseIniText(text, map);
    CIniMap again;
    ParseIniText(FormatIniText(map), again);
    for (const auto& [key, value] : map)
        if (key[0] != '#' && again[key] != value)
            std::abort();

    if (HasLongList(map))
        return 0;
    FILE* f = std::fopen(primary.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    PersistantData::SetIniPaths(primary, secondary);
    CFuzzSettings s;
    PersistantData::LoadAll("Fuzz");
    if (!std::isfinite(s.d) || !std::isfinite(s.f) || s.set.size() > 100000 || s.list.size() > 100000)
        std::abort();
    s.SetModified();
    PersistantData::SaveAll();
    CFuzzSettings back;
    PersistantData::LoadAll("Fuzz");
    if (back.text != s.text || back.hex != s.hex || back.list.size() != s.list.size())
        std::abort();
    std::remove(primary.c_str());
    PersistantData::SetIniPaths("", "");
    return 0;
}
