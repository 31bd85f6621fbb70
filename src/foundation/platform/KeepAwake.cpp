#include "foundation/platform/KeepAwake.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QString>
#include <map>
#include <unistd.h>

namespace {

class CLogindKeepAwake : public IKeepAwake
{
public:
    uint32_t Acquire(const std::string& reason) override
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected())
            return 0;
        QDBusInterface manager("org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.login1.Manager", bus);
        if (!manager.isValid())
            return 0;
        // A busy or hung logind must not freeze the window that asked.
        manager.setTimeout(2000);
        QDBusReply<QDBusUnixFileDescriptor> reply =
            manager.call("Inhibit", QStringLiteral("sleep:idle"), QStringLiteral("Tessaroute"),
                         QString::fromStdString(reason), QStringLiteral("block"));
        if (!reply.isValid() || !reply.value().isValid())
            return 0;
        // QDBusUnixFileDescriptor closes its own copy; keep a duplicate.
        int fd = dup(reply.value().fileDescriptor());
        if (fd < 0)
            return 0;
        uint32_t id = ++m_lastId;
        if (id == 0)
            id = ++m_lastId;
        m_holds[id] = fd;
        return id;
    }

    void Release(uint32_t id) override
    {
        auto it = m_holds.find(id);
        if (it == m_holds.end())
            return;
        close(it->second);
        m_holds.erase(it);
    }

private:
    uint32_t m_lastId = 0;
    std::map<uint32_t, int> m_holds;
};

CLogindKeepAwake& Logind()
{
    static CLogindKeepAwake service;
    return service;
}

IKeepAwake* g_installed = nullptr;

} // namespace

IKeepAwake& GetKeepAwake()
{
    return g_installed ? *g_installed : Logind();
}

IKeepAwake* SetKeepAwake(IKeepAwake* service)
{
    IKeepAwake* before = g_installed;
    g_installed = service;
    return before;
}

void CKeepAwakeHold::Acquire(const std::string& reason)
{
    Release();
    m_service = &GetKeepAwake();
    m_id = m_service->Acquire(reason);
}

void CKeepAwakeHold::Release()
{
    if (m_id != 0 && m_service)
        m_service->Release(m_id);
    m_id = 0;
    m_service = nullptr;
}
