#include "app/shell/SetAsideStores.h"

#include "foundation/dialogs/MessageBox.h"
#include "foundation/notify/StatusLine.h"

#include <algorithm>

namespace {

std::string FileName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

void CSetAsideStores::Add(const std::string& path, const std::string& error, CUnreadableFileGuard& guard)
{
    Entry entry{path, error, {}, {}};
    if (!SetAsideUnreadableFile(path, &entry.keptAs, &entry.setAsideError)) {
        entry.keptAs.clear();
        guard.NoteLoadFailed(path);
    }
    m_entries.push_back(std::move(entry));
}

std::string CSetAsideStores::StatusText() const
{
    if (m_entries.empty())
        return {};
    if (m_entries.size() > 1) {
        const bool allKept =
            std::all_of(m_entries.begin(), m_entries.end(), [](const Entry& e) { return !e.keptAs.empty(); });
        return std::to_string(m_entries.size()) + " saved files could not be read" +
               (allKept ? " and were kept aside" : "");
    }
    const Entry& e = m_entries.front();
    if (e.keptAs.empty())
        return FileName(e.path) + " could not be read and is left as it was";
    return FileName(e.path) + " could not be read and was kept as " + FileName(e.keptAs);
}

std::string CSetAsideStores::BoxTitle() const
{
    return m_entries.size() > 1 ? "Some saved data could not be read" : "Saved data could not be read";
}

std::string CSetAsideStores::BoxText() const
{
    std::string text;
    for (const Entry& e : m_entries) {
        text += FileName(e.path) + ": " + (e.error.empty() ? std::string("unreadable") : e.error) + "\n";
        if (e.keptAs.empty())
            text += "It could not be kept aside (" + e.setAsideError +
                    ") and stays where it is; it will not be overwritten.\n";
        else
            text += "Kept as " + FileName(e.keptAs) + " in " + Folder(e.keptAs) + "\n";
        text += "\n";
    }
    text += "Nothing in these files was changed. The application starts without what they held.";
    return text;
}

void CSetAsideStores::Tell(QWidget* parent) const
{
    if (m_entries.empty())
        return;
    SetStatusMessage(StatusText());
    ShowOKMessage(parent, BoxText(), BoxTitle());
}
