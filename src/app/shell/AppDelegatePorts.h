#pragma once
// What start-up and termination hand to the windows and commands that later
// parts of the application bring: the URL commands that arrived while
// starting, two items of the application menu, and the data-panel window.
// Each interface is its own do-nothing default.
#include "foundation/util/PortSlot.h"

#include <string>

class IPendingUrlRunner
{
public:
    virtual ~IPendingUrlRunner() = default;
    // Runs the URL command or document that arrived before the stores were
    // loaded, if there is one.
    virtual void RunPendingUrl() {}
};

class ITrackLoggingMenuItem
{
public:
    virtual ~ITrackLoggingMenuItem() = default;
    virtual void SetTrackLoggingTitle(const std::string& title) { (void)title; }
};

class IAisSettingsMenuItem
{
public:
    virtual ~IAisSettingsMenuItem() = default;
    virtual void SetAisSettingsItemHidden(bool hidden) { (void)hidden; }
};

class IDataPanelWindow
{
public:
    virtual ~IDataPanelWindow() = default;
    // Saves a changed layout, then closes and releases the window (nothing
    // when there is none).
    virtual void SaveIfModifiedAndRelease() {}
};
