#pragma once
// Small doubles for tests of jobs, downloads and installs: a keep-awake fake
// that counts holds, a continuation that records the code it gets, and a wait
// that keeps the main thread's events flowing.
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/KeepAwake.h"

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tessatest {

// Installed while it lives.
class CFakeKeepAwake : public IKeepAwake
{
public:
    CFakeKeepAwake() { m_before = SetKeepAwake(this); }
    ~CFakeKeepAwake() override { SetKeepAwake(m_before); }
    CFakeKeepAwake(const CFakeKeepAwake&) = delete;
    CFakeKeepAwake& operator=(const CFakeKeepAwake&) = delete;

    uint32_t Acquire(const std::string& reason) override;
    void Release(uint32_t id) override;

    int acquired = 0;
    int released = 0;
    std::set<uint32_t> held;
    std::vector<std::string> reasons;

private:
    IKeepAwake* m_before = nullptr;
    uint32_t m_last = 0;
};

// Push() puts a continuation on the pending list that keeps its code.
struct CCodeProbe
{
    std::shared_ptr<int> code = std::make_shared<int>(kNotRun);
    CCallback storage;
    static constexpr int kNotRun = 1234;

    void Push();
    bool Ran() const { return *code != kNotRun; }
};

// Processes events until `done` holds; false after `limit`.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20));

std::string ReadWholeFile(const std::string& path);
bool PathExists(const std::string& path); // without following a link

} // namespace tessatest
