#include "foundation/settings/GlobalSettingsType.h"

// Zero-initialised before any constructor runs: categories are static
// objects of other files.
CGlobalSettingsType* gGlobalSettingsTypeList = nullptr;

CGlobalSettingsType::CGlobalSettingsType(const char* name) : m_name(name ? name : "")
{
    m_next = gGlobalSettingsTypeList;
    gGlobalSettingsTypeList = this;
}

CGlobalSettingsType::~CGlobalSettingsType()
{
    for (CGlobalSettingsType** link = &gGlobalSettingsTypeList; *link; link = &(*link)->m_next) {
        if (*link == this) {
            *link = m_next;
            break;
        }
    }
}

CGlobalSettingsType* CGlobalSettingsType::First()
{
    return gGlobalSettingsTypeList;
}

CGlobalSettingsType* CGlobalSettingsType::Find(const std::string& name)
{
    for (CGlobalSettingsType* t = gGlobalSettingsTypeList; t; t = t->m_next)
        if (t->m_name == name)
            return t;
    return nullptr;
}
