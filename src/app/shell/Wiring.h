#pragma once
// The one place where the application plugs its own implementations into the
// ports that the lower layers declare. Start-up calls WireApplicationPorts
// before anything can call up; shutdown puts every default back.
#include <string>
#include <vector>

class AppDelegate;

void WireApplicationPorts(AppDelegate& app);
void UnwireApplicationPorts();

// Every port, named by its interface as callers spell it in Port<...>, with a
// test of whether the application's implementation is the one installed, in
// the order WireApplicationPorts fills them.
struct CPortEntry
{
    std::string name;
    bool (*installed)();
};
const std::vector<CPortEntry>& ListApplicationPorts();
