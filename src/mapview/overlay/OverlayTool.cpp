#include "mapview/overlay/OverlayTool.h"

namespace {
std::unique_ptr<COverlayTool>& Active()
{
    static std::unique_ptr<COverlayTool> tool;
    return tool;
}
} // namespace

void COverlayTool::SetActiveTool(std::unique_ptr<COverlayTool> tool)
{
    // The old tool is destroyed after the new one is in place, so that its
    // destructor sees the current state.
    std::unique_ptr<COverlayTool> old = std::move(Active());
    Active() = std::move(tool);
}

COverlayTool* COverlayTool::GetActiveTool()
{
    return Active().get();
}

void COverlayTool::EndActiveTool()
{
    std::unique_ptr<COverlayTool> old = std::move(Active());
}

void COverlayTool::EndToolOf(const COverlayObject* object)
{
    COverlayTool* tool = Active().get();
    if (tool && object && (tool->GetMark() == object || tool->GetTrackSection() == object))
        EndActiveTool();
}
