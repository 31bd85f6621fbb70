#pragma once
// What the data connections need from the layers above: their set-up dialogs
// and the window those belong to, and who must hear that a connection changed.
// Without the application's ports the dialogs do not open and nobody hears.
#include "foundation/platform/DialogParent.h"
#include "foundation/util/PortSlot.h"

#include <string>

class CDataConnection;
class ConnectionMacSerialPort;

// The connections' dialogs.
class IConnectionUi
{
public:
    virtual ~IConnectionUi() = default;
    // The window the dialogs and the progress of an opening belong to.
    virtual QWidget* DialogParent() { return nullptr; }
    virtual void OpenSerialPortDialog(QWidget* parent, ConnectionMacSerialPort* connection)
    {
        (void)parent;
        (void)connection;
    }
    // The TCP and UDP set-up: the tcp or the udp connection, the other null.
    virtual void OpenTcpUdpConfig(QWidget* parent, CDataConnection* tcp, CDataConnection* udp)
    {
        (void)parent;
        (void)tcp;
        (void)udp;
    }
};

// What the data side must hear of the connections.
class IConnectionEvents
{
public:
    virtual ~IConnectionEvents() = default;
    // Every open and close of a connection, and each rewind of the simulation.
    virtual void OnReset(bool simulation) { (void)simulation; }
    // The simulation's track, ended and begun again on open and rewind.
    virtual void BeginSimulationTrack() {}
    virtual void EndSimulationTrack() {}
    // The target list fetched from a network AIS device; the file is removed after.
    virtual void ImportTargetList(const std::string& path) { (void)path; }
};
