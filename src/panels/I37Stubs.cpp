// Placeholders for the panel editing and layout commands, built on another
// branch; this file goes when that branch is merged.
#include "panels/DisplayView.h"
#include "panels/MainAndFlip.h"

bool CDisplayView::MouseDown(int32_t, int32_t)
{
    return false;
}
bool CDisplayView::MouseDragged(int32_t, int32_t)
{
    return false;
}
bool CDisplayView::MouseUp(int32_t, int32_t)
{
    return false;
}
bool CDisplayView::RightMouseDown(int32_t, int32_t)
{
    return false;
}
bool CDisplayView::OtherMouseDown(int32_t, int32_t)
{
    return false;
}
bool CDisplayView::OtherMouseUp(int32_t, int32_t)
{
    return false;
}
void CDisplayView::ToggleArrange() {}
void CDisplayView::ChangeGrid(int32_t, int32_t) {}
void CDisplayView::ShowCellMenu(int32_t, int32_t) {}
void CDisplayView::ShowChangeDataMenu(int32_t, int32_t) {}

bool c_main_and_flip_dv::SaveLayout()
{
    return false;
}
void c_main_and_flip_dv::SaveLayoutAs() {}
void c_main_and_flip_dv::LoadLayout() {}
bool c_main_and_flip_dv::SwitchLayout(const std::string&)
{
    return false;
}
bool c_main_and_flip_dv::RestoreDefaultLayout()
{
    return false;
}
bool c_main_and_flip_dv::OpenLayoutFile(const std::string&, std::string*)
{
    return false;
}
