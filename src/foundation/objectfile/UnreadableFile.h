#pragma once
// A store that failed to load is never overwritten: before the first save
// over it, the file is kept aside as "<name>.unreadable" (or
// "<name>.unreadable-2", -3, ... when earlier ones exist) so that nothing the
// user had is lost and the file can still be examined or mended.
#include <string>

// Renames `path` aside. Returns true when nothing is left at `path` (also
// when there was no file); `keptAs` receives the new name ("" when none).
bool SetAsideUnreadableFile(const std::string& path, std::string* keptAs = nullptr,
                            std::string* error = nullptr);

// For the owner of one store: remembers that its load failed and sets the
// file aside once, before the first save over it.
class CUnreadableFileGuard
{
public:
    // Call after a failed load of `path` (a missing file is not a failure).
    void NoteLoadFailed(const std::string& path);
    // Call before saving; false means the file could not be set aside and
    // the save must not go ahead.
    bool BeforeSave();
    bool HasPendingFile() const { return !m_path.empty(); }
    // Where the unreadable file was kept ("" until it was set aside).
    const std::string& KeptAs() const { return m_keptAs; }
    const std::string& Error() const { return m_error; }

private:
    std::string m_path;
    std::string m_keptAs;
    std::string m_error;
};
