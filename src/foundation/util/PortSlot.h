#pragma once
// The slot behind one port: the interface a lower layer declares for what it
// needs from a higher one (an edit dialog, a settings window, a parent for
// menus). Until the application installs its implementation, callers get the
// interface's own do-nothing default, and the buttons and menu rows that need
// the real one stay hidden (they ask `Installed()`).
//
// Every port has one slot, reached through a pair of free functions next to
// its interface:
//     IOverlayUi& OverlayUi();            // the installed port or the default
//     void SetOverlayUi(IOverlayUi* ui);  // null puts the default back
// The application installs its ports in one place at start-up
// (src/app/shell/Wiring.cpp); tests install their doubles the same way.
template <class Interface> class CPortSlot
{
public:
    Interface& Get() { return m_installed ? *m_installed : m_default; }
    bool Installed() const { return m_installed != nullptr; }
    // Null puts the do-nothing default back.
    void Install(Interface* port) { m_installed = port; }

private:
    Interface* m_installed = nullptr;
    Interface m_default;
};
