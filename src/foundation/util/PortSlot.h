#pragma once
// Ports: the interfaces a lower layer declares, in a ...Ports.h header beside
// its user, for what it needs from a higher one (an edit dialog, a settings
// window, a parent for menus). Every member has a do-nothing body, so the
// interface is its own default: until the application installs its
// implementation, callers get the default, and the buttons and menu rows that
// need the real one stay hidden (they ask IsPortInstalled).
//
//     Port<IOverlayUi>().menu_parent();    // the installed port or the default
//     InstallPort<IOverlayUi>(&ui);        // not owned; null puts the default back
//     IsPortInstalled<IOverlayUi>();
//
// The application installs its ports in one place at start-up
// (src/app/shell/Wiring.cpp); tests install their doubles the same way.
// Main thread only.
template <class Interface> class CPortSlot
{
public:
    Interface& Get() { return m_installed ? *m_installed : m_default; }
    bool Installed() const { return m_installed != nullptr; }
    void Install(Interface* port) { m_installed = port; }

private:
    Interface* m_installed = nullptr;
    Interface m_default;
};

// The one slot of each port interface.
template <class Interface> CPortSlot<Interface>& PortSlot()
{
    static CPortSlot<Interface> slot;
    return slot;
}

template <class Interface> Interface& Port()
{
    return PortSlot<Interface>().Get();
}

template <class Interface> void InstallPort(Interface* port)
{
    PortSlot<Interface>().Install(port);
}

template <class Interface> bool IsPortInstalled()
{
    return PortSlot<Interface>().Installed();
}
