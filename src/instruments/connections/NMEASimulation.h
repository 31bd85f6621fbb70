#pragma once
// The connection types that read no instrument: none at all, the replay of a
// recorded NMEA file at one fix a second, and a log file that records the
// sentences offered to it.
#include "foundation/events/Heartbeat.h"
#include "instruments/DataConnection.h"
#include "instruments/data/DataGPSPosition.h"

#include <cstdio>
#include <string>

class CNoConnection : public CDataConnection
{
public:
    bool Open() override { return true; }
    void Close() override {}
};

class CNMEASimulation : public CDataConnection, CHeartbeat::Counter, Listener<CDataGPSPosition>
{
public:
    static constexpr int kTickPeriod = 20;
    static constexpr int kAttemptsPerTick = 30;
    static constexpr size_t kMaxLine = 200;

    CNMEASimulation();
    ~CNMEASimulation() override;

    void Configure(QWidget* parent) override;
    bool Open() override;
    void Close() override;

    class Persistant : public PersistantData
    {
    public:
        Persistant() : PersistantData("CNMEASimulation") {}
        void Exchange() override { ExchangeString("filename", filename); }
        std::string filename;
    };
    static Persistant& Settings();

    // One replay step (the heartbeat runs it every 20 ticks).
    void OnTick() override;

private:
    void Notify(const CDataGPSPosition&) override { m_positionSeen = true; }
    // False at the end of the file.
    bool ReadLine();
    void Rewind();

    FILE* m_file = nullptr;
    bool m_positionSeen = false;
    char m_line[kMaxLine + 1] = {};
};

// Published once when the application ends.
struct ShutDown
{
};

class CNMEALogfile : public CDataConnection, Listener<ShutDown>
{
public:
    explicit CNMEALogfile(std::string path) : m_path(std::move(path)) {}
    ~CNMEALogfile() override { Close(); }

    bool Open() override;
    void Close() override;
    bool Write(const char* text) override;

private:
    void Notify(const ShutDown&) override;

    std::string m_path;
    FILE* m_file = nullptr;
};
