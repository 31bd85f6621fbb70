#include "packagewriter/JobTestSupport.h"

#include <QCoreApplication>
#include <QThread>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace tessatest {

uint32_t CFakeKeepAwake::Acquire(const std::string& reason)
{
    ++acquired;
    reasons.push_back(reason);
    held.insert(++m_last);
    return m_last;
}

void CFakeKeepAwake::Release(uint32_t id)
{
    if (held.erase(id))
        ++released;
}

void CCodeProbe::Push()
{
    auto c = code;
    PushProgressCallback(storage, CCallback([c](int32_t v) { return *c = v; }));
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool PathExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

} // namespace tessatest
