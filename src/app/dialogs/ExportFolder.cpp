#include "app/dialogs/ExportFolder.h"

#include "foundation/settings/PersistantData.h"

#include <filesystem>

namespace {

class ExportFolderSettings : public PersistantData
{
public:
    ExportFolderSettings() : PersistantData("ExportFolder") {}
    void Exchange() override { ExchangeString("folder", folder); }
    std::string folder;
};
ExportFolderSettings gExportFolder;

} // namespace

std::string LastExportFolder()
{
    std::error_code ec;
    // A folder since removed or unmounted would open the panel nowhere.
    if (gExportFolder.folder.empty() || !std::filesystem::is_directory(gExportFolder.folder, ec))
        return {};
    return gExportFolder.folder;
}

std::string ProposedExportPath(const std::string& name)
{
    const std::string folder = LastExportFolder();
    return folder.empty() ? name : (std::filesystem::path(folder) / name).string();
}

void RememberExportFolder(const std::string& writtenPath)
{
    const std::string folder = std::filesystem::path(writtenPath).parent_path().string();
    if (folder.empty() || folder == gExportFolder.folder)
        return;
    gExportFolder.folder = folder;
    gExportFolder.SetModified();
}
