#include "charts/packages/InstallPackage.h"

#include "charts/ChartFileUse.h"
#include "charts/packages/MapDownloadState.h"
#include "charts/packages/PackageInstaller.h"
#include "charts/packages/Packages.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/util/Files.h"
#include "foundation/util/Paths.h"
#include "foundation/util/StringUtil.h"

#include <atomic>
#include <memory>
#include <vector>

namespace {

int64_t g_freeSpaceForTesting = 0;

struct CInstallOutcome
{
    std::atomic<bool> ok{false};
    bool started = false;            // main thread only
    std::vector<std::string> charts; // released for the install; main thread only
};

void PassFailureOn(void*, int, int);

void StartInstall(QWidget* parent, const std::string& path, const std::shared_ptr<CInstallOutcome>& outcome)
{
    std::shared_ptr<CProgressDialogData> record = GetMapDownloadState().Begin();
    if (!record) {
        // Another download started while the question was open: say so.
        CMapDownloadState::TellAlreadyRunning(parent, PassFailureOn);
        return;
    }
    outcome->started = true;
    // Charts are rewritten in place, block by block: whoever shows one lets go
    // of it first, and opens it again when the install ends.
    ListPackageFiles(path, "rlt", outcome->charts);
    ReleaseChartFiles(outcome->charts);
    record->parent = parent;
    record->StartThread([path, outcome](CProgressDialogData& d) {
        std::string error;
        // The record's cancel flag is the install's failure flag: Cancel stops
        // the hand-out of blocks, and a failed block ends the dialog with -1.
        bool ok = PackageInstall(path, &d.progress, &d.CancelFlag(), error);
        if (!ok && !error.empty())
            d.SetErrorText(error);
        d.SetSucceeded(ok);
        outcome->ok.store(ok);
    });
    ShowProgressDialog(parent, record, "Downloading map package: " + GetPackageName(path));
}

void PassFailureOn(void*, int, int)
{
    CCallback failure;
    PushProgressCallback(failure, CCallback([](int32_t) { return -1; }));
}

} // namespace

std::string NotEnoughSpaceText(const std::string& name, int64_t needed, int64_t free)
{
    return "The package \"" + name + "\" will take up " + FormatByteSize(needed) +
           ", but the device has only " + FormatByteSize(free) + " available.\n\nWould you like to continue?";
}

void InstallPackage(QWidget* parent, const std::string& packagePath)
{
    auto outcome = std::make_shared<CInstallOutcome>();
    CCallback storage;
    PushProgressCallback(storage, CCallback([outcome](int32_t code) {
                             if (outcome->started) {
                                 GetMapDownloadState().End();
                                 ReacquireChartFiles(outcome->charts);
                             }
                             return outcome->ok.load() ? code : -1;
                         }));

    bool handed = false; // a box or the progress dialog took the continuations
    if (!GetMapDownloadState().IsRunning()) {
        handed = true;
        std::string why;
        int64_t needed = GetPackageMissingBytes(packagePath, &why);
        if (needed < 0) {
            MessageBox(parent, nullptr, "Error opening TS Package", packagePath + "\n\n" + why,
                       {{"OK", PassFailureOn}});
        } else {
            int64_t free =
                g_freeSpaceForTesting ? g_freeSpaceForTesting : GetFreeDiskSpace(PathDirectory(packagePath));
            if (free < 1 || needed <= free - 1000000) {
                StartInstall(parent, packagePath, outcome);
            } else {
                std::string name = GetPackageName(packagePath);
                AskYesNo(
                    parent, nullptr, "Not enough space", NotEnoughSpaceText(name, needed, free),
                    [parent, packagePath, outcome](void*, int, int) {
                        StartInstall(parent, packagePath, outcome);
                    },
                    PassFailureOn);
            }
        }
    }
    if (!handed && GetMapDownloadState().IsRunning()) {
        // The running one is left alone; the user is told why nothing starts.
        handed = true;
        CMapDownloadState::TellAlreadyRunning(parent, PassFailureOn);
    }
    if (!handed) {
        // Refused at once: end as a dialog would, so that the caller's
        // continuations see -1 rather than a scope end's 0.
        CDialogCallbackList now;
        now.TakeOverPendingList();
        now.EndDialog(0);
    }
    RunDialogCallbacksUntil(storage);
}

void SetFreeSpaceForTesting(int64_t bytes)
{
    g_freeSpaceForTesting = bytes;
}
