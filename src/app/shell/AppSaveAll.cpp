#include "app/shell/AppSaveAll.h"

#include "app/shell/Application.h"

bool CAppSaveAll::SaveAllData()
{
    return m_app && m_app->SaveAllData();
}
