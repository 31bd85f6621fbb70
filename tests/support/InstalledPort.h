#pragma once
// Keeps one port installed for as long as it lives, then puts the default
// back, so that a failed assertion cannot leave a later test calling into a
// destroyed implementation.
namespace tessatest {

template <class Port> class CInstalledPort
{
public:
    using Setter = void (*)(Port*);
    CInstalledPort(Setter set, Port& port) : m_set(set) { m_set(&port); }
    ~CInstalledPort() { m_set(nullptr); }
    CInstalledPort(const CInstalledPort&) = delete;
    CInstalledPort& operator=(const CInstalledPort&) = delete;

private:
    Setter m_set;
};

} // namespace tessatest
