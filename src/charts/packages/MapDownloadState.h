#pragma once
// One package install or map-data download runs at a time; this is the state
// they share with the progress dialog. Main thread only.
#include "foundation/dialogs/MessageBox.h"
#include "foundation/jobs/ProgressDialogData.h"

#include <memory>

class CMapDownloadState
{
public:
    // Told in a box when another download or install is asked for meanwhile.
    static constexpr const char* kAlreadyRunningText = "A map download is already running.";
    // That box, over `parent`, with `ok` as its button's function.
    static void TellAlreadyRunning(QWidget* parent, MessageBoxFunction ok);

    bool IsRunning() const { return static_cast<bool>(m_record); }
    // Makes a fresh record for a new download; null when one is running.
    std::shared_ptr<CProgressDialogData> Begin();
    // The running download has ended (its continuation calls this).
    void End() { m_record.reset(); }
    const std::shared_ptr<CProgressDialogData>& Record() const { return m_record; }

private:
    std::shared_ptr<CProgressDialogData> m_record;
};

CMapDownloadState& GetMapDownloadState();
