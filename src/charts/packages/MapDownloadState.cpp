#include "charts/packages/MapDownloadState.h"

#include "foundation/dialogs/MessageBox.h"

std::shared_ptr<CProgressDialogData> CMapDownloadState::Begin()
{
    if (m_record)
        return nullptr;
    m_record = std::make_shared<CProgressDialogData>();
    return m_record;
}

CMapDownloadState& GetMapDownloadState()
{
    static CMapDownloadState state;
    return state;
}

void CMapDownloadState::TellAlreadyRunning(QWidget* parent, MessageBoxFunction ok)
{
    MessageBox(parent, nullptr, "Problem", kAlreadyRunningText, {{"OK", std::move(ok)}});
}
