#include "charts/packages/MapDownloadState.h"

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
