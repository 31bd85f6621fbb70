#include "panels/MainAndFlip.h"

#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "foundation/util/Paths.h"
#include "panels/LayoutFile.h"

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

c_main_and_flip_dv::c_main_and_flip_dv() : m_main(GetMainDisplayView()), m_flip(GetFlipDisplayView())
{
    RegisterAllPanelItems();
}

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
    m_flip.ReplaceArrangements(std::move(document.m_flip));
    m_main.ReplaceArrangements(std::move(document.m_main));
    m_currentLayoutPath = path;
    return true;
}

bool c_main_and_flip_dv::ReadLayoutFile(const std::string& path, std::string* error)
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
    if (!CLayoutDocument::CheckSize(bytes.size(), &why) ||
        !LoadFromBuffer(bytes.data(), bytes.size(), {}, nullptr, 0, &why)) {
        if (error)
            *error = path + ": " + why;
        return false;
    }
    return true;
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
