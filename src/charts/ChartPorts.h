#pragma once
// What the chart layer needs from the layers above it: someone to tell the
// user why a chart cannot be shown, and the chart view to let go of files
// that a package update rewrites. The application installs both at start.
#include "foundation/platform/DialogParent.h"
#include "foundation/util/PortSlot.h"

#include <string>
#include <vector>

// The reader only reports the text with the window that asked for the chart;
// the application shows a box titled "Problem" with one "OK" button. The
// default only logs the text. Main thread only.
class IChartProblemReporter
{
public:
    virtual ~IChartProblemReporter() = default;
    virtual void ReportChartProblem(QWidget* owner, const std::string& text);
};

// The layer that keeps charts open (the chart view), called on the main thread
// with the files an update may rewrite: before the first write (close every
// use of them) and after the update ends (open them again).
class IChartRewriteHooks
{
public:
    virtual ~IChartRewriteHooks() = default;
    virtual void ReleaseChartFiles(const std::vector<std::string>& paths);
    virtual void ReacquireChartFiles(const std::vector<std::string>& paths);
};
