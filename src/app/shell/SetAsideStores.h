#pragma once
// Stores that fail to load at start-up are set aside at once under new names,
// so nothing the user had is lost or overwritten, and the user is told: on the
// status line and in one message box listing every file and its new name.
#include "foundation/objectfile/UnreadableFile.h"

#include <string>
#include <vector>

class QWidget;

class CSetAsideStores
{
public:
    // After `path` failed to load with `error`: sets the file aside. When that
    // fails, `guard` learns of the file so that no save overwrites it.
    void Add(const std::string& path, const std::string& error, CUnreadableFileGuard& guard);

    bool Empty() const { return m_entries.empty(); }
    std::string StatusText() const;
    std::string BoxTitle() const;
    std::string BoxText() const;

    // Shows the status line and one message box (through the dialog
    // presenter; returns at once). Nothing when no store was set aside.
    void Tell(QWidget* parent) const;

private:
    struct Entry
    {
        std::string path;
        std::string error;
        std::string keptAs; // "" when it could not be set aside
        std::string setAsideError;
    };
    std::vector<Entry> m_entries;
};
