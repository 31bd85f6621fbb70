#pragma once
// The application's "tessro:" links and opened documents: the one command
// waiting from before start-up ended, the commands themselves ("view",
// "mark", "open", "fetch") and the step that opens a file once it is here
// (GPX import, chart, package, panel layout). Main thread only.
#include "app/shell/AppDelegatePorts.h"
#include "app/shell/LinkCommand.h"

#include <functional>
#include <string>
#include <vector>

class AppDelegate;
class CRasterleafView;
class QWidget;
struct CWebAddress;

// Whether a planned remote open goes to the chart server itself: scheme, host
// (in any case) and port all match, a port of 0 standing for the scheme's
// default (443 for https, 80 for http).
bool IsChartServerLink(const COpenPlan& plan, const CWebAddress& server);

class CUrlCommands : public IPendingUrlRunner
{
public:
    static constexpr const char* kDownloadsFolder = "downloads";

    // The application's one runner (the pending-URL port is this object).
    static CUrlCommands& Get();

    // The chart view and the parent of the boxes come from the application's
    // main window while it exists.
    void Attach(AppDelegate* app) { m_app = app; }

    // application:openURLs: the first entry only. A "tessro:" link gives its
    // verb and query; a file URL or a plain path is an "open" of that file,
    // asked for by the user. Anything else is ignored. Runs at once when the
    // launch has finished, else when it does.
    void OpenURLs(const std::vector<std::string>& urls);

    // The command that arrived before the launch finished, then nothing waits.
    void RunPendingUrl() override;

    // One command; `fromLink` when it came from a link (the user did not pick
    // the file).
    void RunCommand(const std::string& verb, const std::string& argument, bool fromLink);

    // Whether an "open" is downloading or opening its file.
    bool IsOpening() const { return !m_pendingFile.empty(); }
    const std::string& PendingVerb() const { return m_pendingVerb; }

    // The panel layout opener (the panels' loader unless a test replaces it).
    void SetLayoutOpener(std::function<bool(const std::string& path)> opener);
    // Drops everything waiting (tests start clean).
    void Reset();

private:
    CRasterleafView* View() const;
    QWidget* Parent() const;
    void Open(const std::string& argument, bool fresh, bool fromLink);
    void StartOpen(const COpenPlan& plan, bool fresh);
    // The open-document step: `result` 0 when the file is here.
    void OpenDocument(int32_t result);
    // False when nothing was opened that replaces the chart closed for a download.
    bool OpenByType(const std::string& path, CDocumentType type);
    void OpenChartFile(const std::string& path);
    // A package outside the map-store folder is copied into it first, after
    // a question naming the package, its host and the folder it will fill.
    void InstallPackageFile(const std::string& path);
    // `ownCopy`: the file is the copy made for this install, removed when the
    // install fails.
    void InstallPackageInMapStore(const std::string& path, bool ownCopy = false);
    // A copy of a user's file in the downloads folder under a new name with
    // `extension`; "" when it could not be made.
    std::string CopyIntoDownloads(const std::string& path, const std::string& extension);
    std::string CopyIntoFolder(const std::string& path, const std::string& folder,
                               const std::string& extension);
    void ReturnToSavedChart();

    AppDelegate* m_app = nullptr;
    std::string m_pendingVerb, m_pendingArgument;
    bool m_pendingFromLink = false;
    std::string m_pendingFile;
    std::string m_pendingPackage;
    std::function<bool(const std::string& path)> m_layoutOpener;
};
