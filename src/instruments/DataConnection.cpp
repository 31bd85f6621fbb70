#include "instruments/DataConnection.h"

#include "instruments/connections/ConnectionRegistry.h"

CDataConnection::~CDataConnection()
{
    StopNMEACapture(nullptr);
}

void CDataConnection::Notify(const CNMEA_Raw& record)
{
    // A connection never gets back its own lines.
    if (record.connection == this || record.text[0] == '\0')
        return;
    bool verdict = false;
    ApplyNMEAFilters(m_outputFilters, record.text, verdict);
    if (verdict)
        Write(record.text);
}

void CDataConnection::StopRawRecords()
{
    if (m_node.IsAttached())
        DetachFromSource();
}

void CDataConnection::StartRawRecords()
{
    if (!m_node.IsAttached())
        AttachToSource();
}
