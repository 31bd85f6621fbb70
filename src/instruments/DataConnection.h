#pragma once
// The base of every data connection: the one source of NMEA input at a time
// and the sink to which composed sentences are written. This holds what the
// sentence framework needs (filters, the raw-record hand-off); the connection
// types, their registry and the saved settings build on it.
#include "foundation/events/Listener.h"
#include "instruments/nmea/NMEAFilter.h"
#include "instruments/nmea/NMEASentence.h"

#include <cstdint>
#include <string>

class CDataConnection : protected Listener<CNMEA_Raw>
{
public:
    CDataConnection() = default;
    ~CDataConnection() override = default;
    CDataConnection(const CDataConnection&) = delete;
    CDataConnection& operator=(const CDataConnection&) = delete;

    // A raw record from elsewhere that passes the output list goes to the port.
    void Notify(const CNMEA_Raw& record) override;

    virtual bool Open() { return false; }
    virtual void Close() {}
    virtual bool Write(const char* text)
    {
        (void)text;
        return false;
    }
    virtual void OnLaunch() {}

    // Leaves the raw-record subscription (no output filters: nothing to forward).
    void StopRawRecords();
    // Joins it again (after output filters were added).
    void StartRawRecords();
    bool ReceivesRawRecords() const { return m_node.IsAttached(); }

    std::string m_statusText;
    std::string m_deviceName;
    uint8_t m_simulated = 0;
    NMEAFilterList m_inputFilters;
    NMEAFilterList m_outputFilters;
    int32_t m_typeId = 0;
};
