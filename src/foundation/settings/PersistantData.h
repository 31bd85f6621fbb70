#pragma once
// Settings objects: every configurable class keeps a nested `Persistant`
// derived from PersistantData whose Exchange() lists its keys through the
// typed operations below. One Exchange body serves both loading and saving.
// All objects share one ini file of key=value lines; a key is stored as
// "<object name>:<key name>".
//
// Main thread only: the mode and the current key map are process-wide.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

class GraphicsColor;

class PersistantData
{
public:
    explicit PersistantData(const char* name);
    virtual ~PersistantData(); // leaves the global list
    PersistantData(const PersistantData&) = delete;
    PersistantData& operator=(const PersistantData&) = delete;

    // Calls the typed operations for each key of the object.
    virtual void Exchange() = 0;

    const std::string& GetName() const { return m_name; }
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified = true) { m_modified = modified; }

    // Reads the primary file, then the secondary one (whose values win), and
    // lets every object pick its values. Keys that are absent keep the
    // objects' current values. False when an existing file could not be read
    // whole (the objects still take what was read).
    static bool LoadAll(const std::string& baseName);
    // Writes the keys of every modified object into the primary file, keeping
    // every other key. False, writing nothing, before LoadAll, when the
    // existing primary file cannot be read whole, or when the write fails
    // (the old file is then left as it was and the flags stay set).
    static bool SaveAll();
    // The primary file of a base name: the application's data folder, the
    // base name and ".ini".
    static std::string GetIniPath(const std::string& baseName);
    // The secondary file of a base name, in the user's documents folder.
    static std::string GetSecondaryIniPath(const std::string& baseName);
    // Points LoadAll and SaveAll at explicit files (tests, portable setups);
    // empty strings restore the default folders.
    static void SetIniPaths(const std::string& primary, const std::string& secondary);
    // The reason of the last LoadAll or SaveAll failure ("" when none).
    static const std::string& LastError();
    // True inside LoadAll's exchanges, false inside SaveAll's.
    static bool IsLoading();

    // Typed exchanges. In a load an absent or empty value keeps the field's
    // current value (its default).
    void ExchangeHex(const char* key, uint32_t& value);
    void ExchangeBool(const char* key, bool& value);
    void ExchangeString(const char* key, std::string& value);
    void ExchangeBlob(const char* key, void* data, size_t size);
    void ExchangeDouble(const char* key, double& value);
    void ExchangeFloat(const char* key, float& value);
    // A colour as "#AARRGGBB"; a text that is no colour leaves it unchanged.
    void ExchangeColour(const char* key, GraphicsColor& colour);
    // The same on red, green, blue, alpha components 0..1.
    void ExchangeColourComponents(const char* key, double rgba[4]);
    void ExchangeStringSet(const char* key, std::set<std::string>& value);
    void ExchangeStringList(const char* key, std::vector<std::string>& value);

    // The global list, most recently constructed object first.
    static PersistantData* First();
    PersistantData* Next() const { return m_next; }

private:
    std::string FullKey(const char* key) const;
    const std::string* LoadedValue(const std::string& fullKey) const;
    void Store(const std::string& fullKey, std::string text);
    bool ExchangeCount(const std::string& fullKey, size_t saveCount, size_t& loadCount);
    template <class Strings> void ExchangeStrings(const char* key, Strings& value);
    void DropItemsFrom(const std::string& fullKey, size_t first);

    PersistantData* m_next = nullptr;
    std::string m_name;
    bool m_modified = false;
};

// Every settings object, most recently constructed first (main thread only).
extern PersistantData* gPersistantDataList;
