#include "app/shell/SyncOverlays.h"

#include "app/dialogs/Account.h"
#include "foundation/AtomicFile.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "foundation/util/StringUtil.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebBinaryCGI.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/SaveAllData.h"
#include "overlays/model/TrackManager.h"
#include "overlays/store/OverlaySync.h"

#include <QWidget>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kFutureSlackSeconds = 60.0;
// A reply holds at most three lists of a million objects; more is not one of ours.
constexpr int64_t kMaxReplyBytes = 1000000000;

// One synchronisation at a time: a second one would share the request file.
bool gSyncRunning = false;

// What the job leaves for the main thread; read only after the job ended.
struct CPostOutcome
{
    bool posted = false;
    std::string error;
};

bool ContinueUnlessCancelled(void* arg)
{
    return !static_cast<CProgressDialogData*>(arg)->IsCancelled();
}

void ShowSyncFailed(QWidget* parent, const std::string& text)
{
    MessageBox(parent, nullptr, "Sync Failed", text, {{"OK", nullptr}});
}

// The folder, made private to the user (it holds the access key while a request lies there).
std::string SyncFolder()
{
    const std::string folder = GetApplicationSupportFolder(kSyncFolder);
    if (!folder.empty())
        ::chmod(folder.c_str(), 0700);
    return folder;
}

double ReadSyncTime(const std::string& path, double now)
{
    std::vector<uint8_t> bytes;
    if (!ReadFileToBuffer(path, bytes, 64))
        return 0;
    return ParseSyncTime(bytes.data(), bytes.size(), now);
}

bool WritePrivateFile(const std::string& path, const CSerialStream* stream, const void* bytes, size_t size,
                      std::string* error = nullptr)
{
    CAtomicFileWriter writer;
    bool ok = writer.Open(path) && ::fchmod(writer.Descriptor(), 0600) == 0;
    ok = ok && (stream ? stream->WriteOutputTo(writer) : writer.Write(bytes, size)) && writer.Commit();
    if (!ok && error)
        *error = writer.Error().empty() ? std::string(std::strerror(errno)) : writer.Error();
    return ok;
}

// The reply step: the request file holds the server's answer now.
void ApplyReplyFile(QWidget* parent, const std::string& requestPath, const std::string& timePath,
                    double start)
{
    std::vector<uint8_t> reply;
    const bool read = ReadFileToBuffer(requestPath, reply, kMaxReplyBytes);
    ::unlink(requestPath.c_str());
    if (!read) {
        ShowSyncFailed(parent, "The server's reply could not be read.");
        return;
    }
    std::string why;
    switch (COverlaySync::ApplyReply(reply.data(), reply.size(), start, CMarkManager::Get(),
                                     CTrackManager::Get(), &why)) {
    case ESyncReply::kNotAReply:
        ShowSyncFailed(parent, "Invalid response from server");
        return;
    case ESyncReply::kDataError:
        std::fprintf(stderr, "Sync reply: %s\n", why.c_str());
        ShowSyncFailed(parent, "Data error: try again");
        return;
    case ESyncReply::kApplied:
        break;
    }
    if (!WritePrivateFile(timePath, nullptr, &start, sizeof start))
        std::fprintf(stderr, "Could not write %s\n", timePath.c_str());
    SaveAllData();
}

// Signed in: builds the request, posts it on a job and applies the reply.
void SyncSignedIn(QWidget* parent)
{
    const std::string problem = CAccount::ServerProblem();
    if (!problem.empty()) {
        ShowSyncFailed(parent, problem);
        return;
    }
    if (gSyncRunning)
        return;
    CAccount& account = CAccount::Get();
    const std::string folder = SyncFolder();
    if (folder.empty()) {
        ShowSyncFailed(parent, "The folder for synchronisation could not be made.");
        return;
    }
    const std::string requestPath = folder + "/" + kSyncRequestFile;
    const std::string timePath = folder + "/" + SyncTimeFileName(account.GetUserName());
    CSyncHeader header;
    header.user = account.GetUserName();
    header.accountText = account.GetAccessKey();
    header.thisSync = CHeartbeat::GetTime();
    header.lastSync = ReadSyncTime(timePath, header.thisSync);
    header.mode = CMarkManager::Settings().syncMode;
    const double start = header.thisSync;

    CSerialStream request = CSerialStream::OpenWrite(folder, nullptr);
    if (!COverlaySync::BuildRequest(header, CMarkManager::Get(), CTrackManager::Get(), request)) {
        ShowSyncFailed(parent, "The changes could not be prepared for sending.");
        return;
    }
    if (request.Position() > kMaxSyncRequestBytes) {
        ShowSyncFailed(parent, "The changes are too large to send at once (more than 100 MB).");
        return;
    }
    std::string error;
    if (!WritePrivateFile(requestPath, &request, nullptr, 0, &error)) {
        ::unlink(requestPath.c_str());
        ShowSyncFailed(parent, "The request could not be written: " + error);
        return;
    }

    const CWebAddress server = CChartServer::Get();
    auto outcome = std::make_shared<CPostOutcome>();
    CCallback storage;
    gSyncRunning = true;
    PushProgressCallback(storage, CCallback([parent, outcome, requestPath, timePath, start](int32_t code) {
                             gSyncRunning = false;
                             if (code != 0 || !outcome->posted) {
                                 ::unlink(requestPath.c_str());
                                 // A cancel has nothing to tell.
                                 if (code == 0)
                                     ShowSyncFailed(parent,
                                                    outcome->error.empty()
                                                        ? std::string("The server could not be reached.")
                                                        : outcome->error);
                                 return code;
                             }
                             ApplyReplyFile(parent, requestPath, timePath, start);
                             return code;
                         }));
    RunWithProgressDialog(parent, "Syncing overlay data...",
                          [server, requestPath, outcome](CProgressDialogData& d) {
                              CWebBinaryCGI cgi(server.host.c_str(), kSyncProgram, true, server.port);
                              cgi.Web().SetProgress(&d.progress);
                              cgi.Web().SetProgressCallback(ContinueUnlessCancelled, &d);
                              outcome->posted = cgi.PostFile(requestPath.c_str());
                              if (!outcome->posted)
                                  outcome->error = cgi.Web().GetErrorText();
                          });
    RunDialogCallbacksUntil(storage);
}

} // namespace

std::string SyncTimeFileName(const std::string& user)
{
    uint32_t hash = 2166136261u;
    for (unsigned char c : user) {
        hash ^= c;
        hash *= 16777619u;
    }
    char hex[12];
    std::snprintf(hex, sizeof hex, "-%08x", hash);
    return "time." + MakeSafeFileName(user) + hex;
}

double ParseSyncTime(const void* bytes, size_t size, double now)
{
    double time = 0;
    if (size != sizeof time)
        return 0;
    std::memcpy(&time, bytes, sizeof time);
    if (!std::isfinite(time) || time < 0 || !(time <= now + kFutureSlackSeconds))
        return 0;
    return time;
}

void SyncOverlays(UIViewControllerWithDialog* host)
{
    QWidget* parent = host ? host->window() : nullptr;
    const std::string problem = CAccount::ServerProblem();
    if (!problem.empty()) {
        ShowSyncFailed(parent, problem);
        return;
    }
    EnsureSignedIn(host, [parent](int32_t code) {
        if (code == 0)
            SyncSignedIn(parent);
    });
}
