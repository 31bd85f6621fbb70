#pragma once
// Long work on a joinable thread of its own, watched by the progress dialog.
// The caller pushes its continuations first (DialogCallback.h); they run when
// the job has ended, with 0 when it finished and -1 when it was cancelled or,
// for downloads, failed. The job reports only through its record and never
// touches the user interface.
#include "foundation/jobs/ProgressDialogData.h"
#include "foundation/platform/DialogParent.h"

#include <functional>
#include <memory>
#include <string>

class progress_dialog;

using ProgressJobFunction = std::function<void(CProgressDialogData& data)>;

// Runs `job` on a new thread. With a parent the dialog shows at once and takes
// the caller's continuations; without one no dialog appears: the call waits
// for the job (joining its thread) and then runs them.
void RunWithProgressDialog(QWidget* parent, const std::string& message, ProgressJobFunction job);

// Downloads one file with CWebServer::DownloadFile on a job thread. A download
// that ends within a second shows no dialog and its continuations run as soon
// as it ends; a longer one shows the dialog with `message`. A failure gives
// -1 and, with a parent and a server error text, the box "Download failed".
void DownloadWithProgress(QWidget* parent, const std::string& host, const std::string& relativeURL,
                          const std::string& localPath, const std::string& message, bool secure, int port);

// Shows the dialog for a record whose thread the caller started; it takes over
// the pending continuations. Returns the dialog (it deletes itself when done),
// or null when no dialog opener is installed (JobPorts.h): the call then waits
// for the job.
progress_dialog* ShowProgressDialog(QWidget* parent, std::shared_ptr<CProgressDialogData> data,
                                    const std::string& message);

// How long a download may take before its dialog appears (tests shorten it).
void SetQuickDownloadLimitForTesting(int milliseconds);
