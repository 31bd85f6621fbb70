#pragma once
// A named settings category ("GPS Settings", "Units", "AIS Settings") whose
// owner opens its settings dialog or menu. All categories sit in one list,
// most recently constructed first.
#include <string>

class CGlobalSettingsType
{
public:
    explicit CGlobalSettingsType(const char* name);
    virtual ~CGlobalSettingsType(); // leaves the global list
    CGlobalSettingsType(const CGlobalSettingsType&) = delete;
    CGlobalSettingsType& operator=(const CGlobalSettingsType&) = delete;

    // Opens the category's dialog or menu.
    virtual void Open() = 0;

    const std::string& GetName() const { return m_name; }
    // A category that nothing above can show (its window is not installed)
    // is never enabled, so its menu row stays hidden.
    bool IsEnabled() const { return m_enabled && CanOpen(); }
    virtual bool CanOpen() const { return true; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }

    static CGlobalSettingsType* First();
    CGlobalSettingsType* Next() const { return m_next; }
    // The category of that name, or nullptr.
    static CGlobalSettingsType* Find(const std::string& name);

private:
    CGlobalSettingsType* m_next = nullptr;
    std::string m_name;
    bool m_enabled = true;
};

// Every settings category, most recently constructed first (main thread only).
extern CGlobalSettingsType* gGlobalSettingsTypeList;
