#pragma once
// The base of every data connection: the one source of NMEA input at a time
// and the sink to which composed sentences are written. The connection types,
// their registry and the saved settings are in connections/.
#include "foundation/events/Listener.h"
#include "foundation/platform/DialogParent.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/nmea/NMEAFilter.h"
#include "instruments/nmea/NMEASentence.h"

#include <cstdint>
#include <string>
#include <vector>

class CDataConnection : protected Listener<CNMEA_Raw>
{
public:
    CDataConnection() = default;
    // Deleting any connection stops the raw capture without sharing it.
    ~CDataConnection() override;
    CDataConnection(const CDataConnection&) = delete;
    CDataConnection& operator=(const CDataConnection&) = delete;

    // A raw record from elsewhere that passes the output list goes to the port.
    void Notify(const CNMEA_Raw& record) override;

    // Opens the connection's set-up dialog; when the user confirms, the
    // continuations the caller queued run with 0. Without a dialog they run
    // with 0 as soon as the caller's scope ends.
    virtual void Configure(QWidget* parent) { (void)parent; }
    virtual bool Open() { return false; }
    virtual void Close() {}
    virtual bool Write(const char* text)
    {
        (void)text;
        return false;
    }
    virtual void Idle() {}
    virtual void OnLaunch() {}

    // Leaves the raw-record subscription (no output filters: nothing to forward).
    void StopRawRecords();
    // Joins it again (after output filters were added).
    void StartRawRecords();
    bool ReceivesRawRecords() const { return m_node.IsAttached(); }

    // A new object of the registered class for `typeId`, or null.
    static CDataConnection* Create(int32_t typeId);

    class Persistant : public PersistantData
    {
    public:
        Persistant() : PersistantData("CDataConnection") {}
        void Exchange() override;

        int32_t gps_connection_type = 70;
        std::vector<std::string> output_filters;
    };
    static Persistant& Settings();

    std::string m_statusText;
    std::string m_deviceName;
    uint8_t m_simulated = 0;
    NMEAFilterList m_inputFilters;
    NMEAFilterList m_outputFilters;
    int32_t m_typeId = 0;
};
