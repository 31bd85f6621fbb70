#pragma once
// What opens the progress dialog of a job: the application installs the Qt
// dialog at start. Without one no window appears and ShowProgressDialog waits
// for the job (joining its thread), as a job without a parent does.
#include "foundation/platform/DialogParent.h"
#include "foundation/util/PortSlot.h"

#include <memory>
#include <string>

class CProgressDialogData;
class progress_dialog;

class IProgressDialogOpener
{
public:
    virtual ~IProgressDialogOpener() = default;
    // Opens the dialog over `parent` for the record; it takes over the pending
    // continuations and deletes itself when done. Null when none was shown.
    virtual progress_dialog* OpenProgressDialog(QWidget* parent, std::shared_ptr<CProgressDialogData> data,
                                                const std::string& message);
};
