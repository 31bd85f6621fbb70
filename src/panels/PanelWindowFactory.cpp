#include "panels/PanelWindowFactory.h"

namespace {
IPanelWindowFactory* g_factory = nullptr;
}

void SetPanelWindowFactory(IPanelWindowFactory* factory)
{
    g_factory = factory;
}

IPanelWindowFactory* GetPanelWindowFactory()
{
    return g_factory;
}
