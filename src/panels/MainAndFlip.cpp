#include "panels/MainAndFlip.h"

#include "foundation/dialogs/FilePanel.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "foundation/util/Paths.h"
#include "panels/LayoutFile.h"

#include <deque>
#include <unistd.h>

namespace {

constexpr const char* kCouldNotSave = "Could not save layout";
constexpr const char* kCouldNotRead = "Could not read layout";
// Seconds after the start before the after-start layout is shown.
constexpr double kAfterStartDelay = 10.0;

// The one-shot jobs of the panels: a counter on the heartbeat while any wait.
class CNextTickQueue : public CHeartbeat::Counter
{
public:
    CNextTickQueue() : CHeartbeat::Counter(1) { DetachFromSource(); }
    void Add(std::function<void()> job)
    {
        m_jobs.push_back(std::move(job));
        if (!m_node.IsAttached()) {
            AttachToSource();
            SetCount(1);
        }
    }
    void OnTick() override
    {
        // Jobs queued by these jobs wait for the next tick.
        std::deque<std::function<void()>> jobs;
        jobs.swap(m_jobs);
        DetachFromSource();
        for (auto& job : jobs)
            job();
    }

private:
    std::deque<std::function<void()>> m_jobs;
};

} // namespace

void RunOnNextPanelTick(std::function<void()> job)
{
    static CNextTickQueue queue;
    queue.Add(std::move(job));
}

CDisplayView& GetMainDisplayView()
{
    static CDisplayView panel;
    return panel;
}

CDisplayView& GetFlipDisplayView()
{
    static CDisplayView panel;
    return panel;
}

c_main_and_flip_dv::c_main_and_flip_dv()
    : Listener<CDataStartTimer>(0), CHeartbeat::Counter(CHeartbeat::kTicksPerSecond),
      m_main(GetMainDisplayView()), m_flip(GetFlipDisplayView())
{
    RegisterAllPanelItems();
    // The heartbeat only carries the counter while a switch is pending.
    Listener<CHeartbeat>::DetachFromSource();
}

c_main_and_flip_dv::~c_main_and_flip_dv() = default;

c_main_and_flip_dv& c_main_and_flip_dv::Get()
{
    static c_main_and_flip_dv layouts;
    return layouts;
}

std::string c_main_and_flip_dv::WorkingCopyPath()
{
    return GetApplicationSupportFolder() + "/live_data.dvtf";
}

std::string c_main_and_flip_dv::LeftWorkingCopyPath()
{
    return GetApplicationSupportFolder() + "/live_data.dvtf.tmp";
}

std::string c_main_and_flip_dv::BackupPath()
{
    return GetDocumentsFolder() + "/backup_data_layout.dvtf";
}

std::string c_main_and_flip_dv::NamedLayoutPath(const std::string& name)
{
    // The name comes from files and cells: it must not lead out of the folder.
    if (!IsPlainFileName(name))
        return std::string();
    return GetDocumentsFolder() + "/" + name + ".dvtf";
}

std::string c_main_and_flip_dv::DefaultLayoutPath()
{
    return GetResourcePath("default_data_layout", "dvtf");
}

bool c_main_and_flip_dv::Serialize(CSerialStream& stream)
{
    if (stream.IsWriting()) {
        std::string name = m_currentLayoutPath.empty() ? std::string() : PathBaseName(m_currentLayoutPath);
        return CLayoutDocument::Write(stream, name, m_flip.Arrangements(), m_main.Arrangements());
    }
    CLayoutDocument document;
    if (!document.Serialize(stream) || !stream.IsGood())
        return false;
    std::string path = NamedLayoutPath(document.m_name);
    if (!path.empty() && !IsRegularFile(path))
        path.clear();
    Apply(document, path);
    return true;
}

bool c_main_and_flip_dv::ReadLayoutDocument(const std::string& path, CLayoutDocument& document,
                                            std::string* error)
{
    std::vector<uint8_t> bytes;
    // The size first, so that a huge file is not read at all.
    if (GetFileSize(path) > int64_t(CLayoutDocument::kMaxFileBytes)) {
        if (error)
            *error = path + " is larger than a layout can be";
        return false;
    }
    if (!ReadFileToBuffer(path, bytes)) {
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    std::string why;
    if (!document.LoadBytes(bytes.data(), bytes.size(), &why)) {
        if (error)
            *error = path + ": " + why;
        return false;
    }
    return true;
}

bool c_main_and_flip_dv::ReadLayoutFile(const std::string& path, std::string* error)
{
    CLayoutDocument document;
    if (!ReadLayoutDocument(path, document, error))
        return false;
    std::string named = NamedLayoutPath(document.m_name);
    if (!named.empty() && !IsRegularFile(named))
        named.clear();
    Apply(document, named);
    return true;
}

void c_main_and_flip_dv::Apply(CLayoutDocument& document, const std::string& path)
{
    // First: the cells made below compare their layouts with it.
    m_currentLayoutPath = path;
    m_flip.ReplaceArrangements(std::move(document.m_flip));
    m_main.ReplaceArrangements(std::move(document.m_main));
}

bool c_main_and_flip_dv::WriteLayoutFile(const std::string& path, std::string* error)
{
    if (path.empty()) {
        if (error)
            *error = "no layout file to write to";
        return false;
    }
    return SaveToFile(path, nullptr, 0, error);
}

bool c_main_and_flip_dv::SaveWorkingCopy(std::string* error)
{
    if (!m_main.m_modified && !m_flip.m_modified)
        return true;
    if (!WriteLayoutFile(WorkingCopyPath(), error))
        return false;
    m_main.m_modified = false;
    m_flip.m_modified = false;
    m_pathWithUnsavedChanges = m_currentLayoutPath;
    return true;
}

bool c_main_and_flip_dv::LoadWorkingCopy(std::string* message)
{
    const std::string working = WorkingCopyPath();
    std::string why;
    if (IsRegularFile(working)) {
        if (ReadLayoutFile(working, &why))
            return true;
        // Never overwritten silently: the next save would replace it.
        const std::string aside = working + ".bad";
        const bool kept = MoveFile(working, aside);
        if (message)
            *message = "The panel layout could not be read (" + why + ")" +
                       (kept ? "; it was kept as " + aside : std::string()) +
                       ". The default layout is shown instead.";
    }
    const std::string shipped = DefaultLayoutPath();
    if (shipped.empty() || !ReadLayoutFile(shipped, &why)) {
        if (message && message->empty())
            *message = "The default panel layout could not be read" + (why.empty() ? "." : " (" + why + ").");
        return false;
    }
    return true;
}

bool c_main_and_flip_dv::SaveWorkingCopyOrReport()
{
    std::string why;
    if (SaveWorkingCopy(&why))
        return true;
    ShowOKMessage(Owner(), why, kCouldNotSave);
    return false;
}

bool c_main_and_flip_dv::SaveLayout()
{
    if (!SaveWorkingCopyOrReport())
        return false;
    if (m_currentLayoutPath.empty()) {
        // Nothing to save into yet: the user names it.
        SaveLayoutAs();
        return false;
    }
    std::string why;
    if (!WriteLayoutFile(m_currentLayoutPath, &why)) {
        // The changes stay in the working copy and still count as unsaved.
        m_pathWithUnsavedChanges = m_currentLayoutPath;
        ShowOKMessage(Owner(), why, kCouldNotSave);
        return false;
    }
    m_pathWithUnsavedChanges.clear();
    return true;
}

void c_main_and_flip_dv::SaveLayoutAs()
{
    const std::string name =
        m_currentLayoutPath.empty() ? std::string("Layout") : PathBaseName(m_currentLayoutPath);
    ExportFileAs(Owner(), "Save Layout", name + ".dvtf", [this](const std::string& chosen) {
        std::string path = chosen;
        if (PathExtension(path) != "dvtf")
            path += ".dvtf";
        const std::string before = m_currentLayoutPath;
        m_currentLayoutPath = path; // the name written into the file
        std::string why;
        if (!WriteLayoutFile(path, &why)) {
            m_currentLayoutPath = before;
            ShowOKMessage(Owner(), why, kCouldNotSave);
            return false;
        }
        m_pathWithUnsavedChanges.clear();
        if (!WriteLayoutFile(WorkingCopyPath(), &why)) {
            // Named layout saved; the working copy is written with the next change.
            m_main.m_modified = true;
            ShowOKMessage(Owner(), why, kCouldNotSave);
            return false;
        }
        m_main.m_modified = false;
        m_flip.m_modified = false;
        return true;
    });
}

void c_main_and_flip_dv::LoadLayout()
{
    ImportFile(Owner(), "Load Layout", "dvtf",
               [](const std::string& path) { return c_main_and_flip_dv::Get().SwitchLayout(path); });
}

bool c_main_and_flip_dv::SwitchLayout(const std::string& path)
{
    if (path.empty() || !IsRegularFile(path))
        return false;
    // The new layout first: a file that does not read changes nothing.
    CLayoutDocument document;
    std::string why;
    if (!ReadLayoutDocument(path, document, &why)) {
        ShowOKMessage(Owner(), why, kCouldNotRead);
        return false;
    }
    // Cells moved or resized since the last write count as changes too.
    if (!SaveWorkingCopyOrReport())
        return false;
    const std::string working = WorkingCopyPath();
    if (!m_pathWithUnsavedChanges.empty() && IsRegularFile(m_pathWithUnsavedChanges) &&
        IsRegularFile(working)) {
        // Each question keeps its own copy and its own target, so a second
        // switch before the answer cannot overwrite the first one's copy, and
        // a late answer writes into the layout it was asked about.
        std::string kept = LeftWorkingCopyPath();
        for (int n = 2; IsRegularFile(kept) && n < 10000; ++n)
            kept = GetApplicationSupportFolder() + "/live_data." + std::to_string(n) + ".dvtf.tmp";
        if (IsRegularFile(kept) || !CopyFile(working, kept)) {
            ShowOKMessage(Owner(), "The changes of the layout being left could not be kept aside.",
                          kCouldNotSave);
            return false;
        }
        const std::string target = m_pathWithUnsavedChanges;
        m_pathWithUnsavedChanges.clear();
        QWidget* owner = Owner();
        AskYesNo(
            owner, nullptr, "Layout has changed",
            "Would you like to save changes to \"" + PathBaseName(target) + "\"?",
            [kept, target](void*, int, int) {
                if (!CopyFile(kept, target)) {
                    // Asked again: the window that was asked over may have closed meanwhile.
                    ShowOKMessage(c_main_and_flip_dv::Get().Owner(), "The changes were kept in " + kept + ".",
                                  kCouldNotSave);
                    return;
                }
                ::unlink(kept.c_str());
            },
            [kept](void*, int, int) { ::unlink(kept.c_str()); });
    }
    Apply(document, path);
    m_pathWithUnsavedChanges.clear();
    m_main.m_modified = false;
    m_flip.m_modified = false;
    // The working copy is what the panels now show.
    if (!WriteLayoutFile(working, &why)) {
        m_main.m_modified = true;
        ShowOKMessage(Owner(), why, kCouldNotSave);
    }
    return true;
}

bool c_main_and_flip_dv::RestoreDefaultLayout()
{
    CLayoutDocument document;
    std::string why;
    const std::string shipped = DefaultLayoutPath();
    if (shipped.empty() || !ReadLayoutDocument(shipped, document, &why)) {
        ShowOKMessage(Owner(), why.empty() ? "The default layout is missing." : why, kCouldNotRead);
        return false;
    }
    ::unlink(WorkingCopyPath().c_str());
    Apply(document, std::string());
    // No named layout is behind the panels now: nothing to ask about later.
    m_pathWithUnsavedChanges.clear();
    m_main.m_modified = false;
    m_flip.m_modified = false;
    return true;
}

bool c_main_and_flip_dv::OpenLayoutFile(const std::string& path, std::string* error)
{
    auto fail = [&](const std::string& why, const char* title) {
        if (error)
            *error = why;
        ShowOKMessage(Owner(), why, title);
        return false;
    };
    // Read before anything is copied: a file that is no layout harms nothing.
    CLayoutDocument document;
    std::string why;
    if (!ReadLayoutDocument(path, document, &why))
        return fail(why, kCouldNotRead);
    if (!SaveWorkingCopy(&why))
        return fail(why, kCouldNotSave);
    const std::string working = WorkingCopyPath();
    const std::string documents = GetDocumentsFolder();
    CreateDirectoryPath(documents);
    if (IsRegularFile(working) && !CopyFile(working, BackupPath()))
        return fail("The panel layout could not be backed up to " + BackupPath() + ".", kCouldNotSave);

    // The copy in the documents folder: the file itself when it already lies
    // there (under any spelling), never over another file of the same name.
    std::string base = PathBaseName(path);
    if (NamedLayoutPath(base).empty())
        base = "Layout";
    const CFileId given = GetFileId(path);
    std::string copy = NamedLayoutPath(base);
    for (int n = 2; IsRegularFile(copy) && GetFileId(copy) != given; ++n) {
        if (n > 10000)
            return fail("There is no free name for the layout in " + documents + ".", kCouldNotSave);
        copy = NamedLayoutPath(base + " (" + std::to_string(n) + ")");
    }
    if (!IsRegularFile(copy) && !CopyFile(path, copy))
        return fail("The layout could not be copied to " + copy + ".", kCouldNotSave);

    Apply(document, copy);
    m_pathWithUnsavedChanges.clear();
    m_main.m_modified = false;
    m_flip.m_modified = false;
    if (!WriteLayoutFile(working, &why)) {
        m_main.m_modified = true;
        return fail(why, kCouldNotSave);
    }
    return true;
}

// ---- the after-start switch ----

void c_main_and_flip_dv::Notify(const CDataStartTimer& timer)
{
    const std::string path = NamedLayoutPath(timer.m_afterStartLayout);
    SetAfterStartPending(timer.m_timeOfStart > 0 && timer.m_timeOfStart != m_switchedStart && !path.empty() &&
                         IsRegularFile(path));
}

void c_main_and_flip_dv::SetAfterStartPending(bool pending)
{
    if (pending == Listener<CHeartbeat>::m_node.IsAttached())
        return;
    if (pending) {
        SetCount(GetPeriod());
        CHeartbeat::Counter::AttachToSource();
    } else {
        Listener<CHeartbeat>::DetachFromSource();
    }
}

void c_main_and_flip_dv::OnTick()
{
    const CDataStartTimer& timer = CDataStartTimer::Global();
    const double start = timer.m_timeOfStart;
    if (start == 0)
        return;
    if (!(CHeartbeat::GetTime() - start > kAfterStartDelay))
        return;
    SetAfterStartPending(false);
    m_switchedStart = start;
    SwitchLayout(NamedLayoutPath(timer.m_afterStartLayout));
}
