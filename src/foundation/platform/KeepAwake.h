#pragma once
// Keeping the machine from idle sleep and suspend while a long job runs. The
// desktop form asks logind on the system bus for a "sleep:idle" inhibitor and
// holds the file descriptor it returns; closing it lets the machine sleep
// again. Without a system bus (containers, CI) nothing is held and the job
// simply runs. Main thread only.
#include <cstdint>
#include <string>

class IKeepAwake
{
public:
    virtual ~IKeepAwake() = default;
    // Starts keeping the machine awake for `reason`; returns an id for
    // Release, 0 when nothing could be held.
    virtual uint32_t Acquire(const std::string& reason) = 0;
    // Ends the hold with that id; 0 and unknown ids are ignored.
    virtual void Release(uint32_t id) = 0;
};

// The keep-awake service in use: the one installed, or the logind one.
IKeepAwake& GetKeepAwake();
// Installs a service (not owned); nullptr restores the logind one. Returns the
// one installed before (nullptr when that was the logind one).
IKeepAwake* SetKeepAwake(IKeepAwake* service);

// Holds the machine awake for its lifetime.
class CKeepAwakeHold
{
public:
    CKeepAwakeHold() = default;
    explicit CKeepAwakeHold(const std::string& reason) { Acquire(reason); }
    ~CKeepAwakeHold() { Release(); }
    CKeepAwakeHold(const CKeepAwakeHold&) = delete;
    CKeepAwakeHold& operator=(const CKeepAwakeHold&) = delete;

    void Acquire(const std::string& reason);
    void Release();
    uint32_t Id() const { return m_id; }

private:
    IKeepAwake* m_service = nullptr; // the one that gave the id
    uint32_t m_id = 0;
};
