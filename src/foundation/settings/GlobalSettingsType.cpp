#include "foundation/settings/GlobalSettingsType.h"

namespace {

// On first use: categories are static objects of other files.
CGlobalSettingsType*& Head()
{
    static CGlobalSettingsType* head = nullptr;
    return head;
}

} // namespace

CGlobalSettingsType::CGlobalSettingsType(const char* name) : m_name(name ? name : "")
{
    m_next = Head();
    Head() = this;
}

CGlobalSettingsType::~CGlobalSettingsType()
{
    for (CGlobalSettingsType** link = &Head(); *link; link = &(*link)->m_next) {
        if (*link == this) {
            *link = m_next;
            break;
        }
    }
}

CGlobalSettingsType* CGlobalSettingsType::First()
{
    return Head();
}

CGlobalSettingsType* CGlobalSettingsType::Find(const std::string& name)
{
    for (CGlobalSettingsType* t = Head(); t; t = t->m_next)
        if (t->m_name == name)
            return t;
    return nullptr;
}
