#pragma once
// Keeps one port installed for as long as it lives, then puts the default
// back, so that a failed assertion cannot leave a later test calling into a
// destroyed implementation.
#include "foundation/util/PortSlot.h"

namespace tessatest {

template <class Interface> class CInstalledPort
{
public:
    explicit CInstalledPort(Interface& port) { InstallPort<Interface>(&port); }
    ~CInstalledPort() { InstallPort<Interface>(nullptr); }
    CInstalledPort(const CInstalledPort&) = delete;
    CInstalledPort& operator=(const CInstalledPort&) = delete;
};

} // namespace tessatest
