#include "app/shell/AppSaveAll.h"

#include "app/shell/AppDelegate.h"

bool CAppSaveAll::SaveAllData()
{
    return m_app && m_app->SaveAllData();
}
