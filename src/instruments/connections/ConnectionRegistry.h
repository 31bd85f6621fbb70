#pragma once
// The registry of connection types, the one current connection, the saved
// type, the "GPS Connection" menu and the raw capture file.
#include <cstdint>
#include <memory>
#include <string>

class CDataConnection;
class CMenuTree;
class QWidget;

// One registered connection type; each adds itself at the head of the list
// from a static initialiser.
struct CConnectionType
{
    using Factory = CDataConnection* (*)();
    CConnectionType(const char* name, int32_t id, Factory factory);
    ~CConnectionType();
    CConnectionType(const CConnectionType&) = delete;
    CConnectionType& operator=(const CConnectionType&) = delete;

    const char* m_name;
    int32_t m_id;
    Factory m_factory;
    CConnectionType* m_next = nullptr;

    static CConnectionType* First();
    static CConnectionType* Find(int32_t id);
};

// Registry ids of the types (the saved `gps_connection_type`).
constexpr int32_t kConnectionNone = 70;
constexpr int32_t kConnectionTCPIP = 73;
constexpr int32_t kConnectionSimulation = 74;
constexpr int32_t kConnectionUDP = 79;
constexpr int32_t kConnectionSerial = 83;

// The current connection (null when none).
CDataConnection* GetGPSConnection();
// The window the connections' dialogs belong to.
void SetConnectionDialogParent(QWidget* parent);
QWidget* GetConnectionDialogParent();

// Replaces the current connection by one of the saved type, with the saved
// output filters, opens it and shows its status.
void OpenSavedGPSConnection();
// Application launch: opens the saved connection unless one exists.
void StartGPSConnection();
// Application end: closes and deletes the current connection.
void StopGPSConnection();

// The "GPS Connection" menu: one item per registered type, the saved one checked.
std::unique_ptr<CMenuTree> BuildConnectionTypeMenu();
void ShowConnectionTypeMenu(QWidget* parent);
// The user chose a type: make it, run its set-up, open it when confirmed.
void on_select_connection_type(const CConnectionType& type);

// Shows the current connection's status text on the status line.
void ShowGPSConnectionStatus();

// The raw capture: "nmea_debug.txt" in the private temporary folder.
bool StartNMEACapture();
bool IsNMEACaptureOn();
void WriteNMEACapture(const char* text);
// Closes the capture; with a parent it is offered for sharing.
void StopNMEACapture(QWidget* parent);
// The capture file's path ("" while none was started).
const std::string& GetNMEACapturePath();

// Hooks the layers above fill at start-up; all may stay empty.
struct CConnectionHooks
{
    // Every open and close of a connection, and each rewind of the simulation.
    static void (*onReset)(bool simulation);
    // The simulation's track (deleted and begun again on open and rewind).
    static void (*beginSimulationTrack)();
    static void (*endSimulationTrack)();
    // The target list fetched from a network AIS device; the file is removed after.
    static void (*importTargetList)(const std::string& path);
    // The TCP and UDP set-up dialog (tcp or udp connection, the other null).
    static void (*openTcpUdpConfig)(QWidget* parent, CDataConnection* tcp, CDataConnection* udp);
};
void RunConnectionResetHook(bool simulation);
