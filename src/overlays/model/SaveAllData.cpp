#include "overlays/model/SaveAllData.h"

namespace {

std::function<bool()>& Hook()
{
    static std::function<bool()> hook;
    return hook;
}

} // namespace

void SetSaveAllDataHook(std::function<bool()> hook)
{
    Hook() = std::move(hook);
}

bool SaveAllData()
{
    return Hook() ? Hook()() : false;
}
