#pragma once
// The registry of connection types, the one current connection, the saved
// type, the "GPS Connection" menu and the raw capture file.
#include "foundation/platform/DialogParent.h"

#include <cstdint>
#include <memory>
#include <string>

class CDataConnection;
class CMenuTree;

// One connection type; the types join the list through
// RegisterConnectionTypes, in the order the menus show them.
struct CConnectionType
{
    using Factory = CDataConnection* (*)();
    CConnectionType(const char* name, int32_t id, Factory factory);
    ~CConnectionType();
    CConnectionType(const CConnectionType&) = delete;
    CConnectionType& operator=(const CConnectionType&) = delete;

    // Appends the type at the end of the list; a registered type stays where it is.
    void Register();

    const char* m_name;
    int32_t m_id;
    Factory m_factory;
    CConnectionType* m_next = nullptr;
    bool m_registered = false;

    // The first look-up registers the built-in types.
    static CConnectionType* First();
    static CConnectionType* Find(int32_t id);
};

// "None", "Serial", "TCP/IP", "UDP/IP", "Simulation File"; a second call adds nothing.
void RegisterConnectionTypes();

// Registry ids of the types (the saved `gps_connection_type`).
constexpr int32_t kConnectionNone = 70;
constexpr int32_t kConnectionTCPIP = 73;
constexpr int32_t kConnectionSimulation = 74;
constexpr int32_t kConnectionUDP = 79;
constexpr int32_t kConnectionSerial = 83;

// The current connection (null when none).
CDataConnection* GetGPSConnection();
// The window the connections' dialogs belong to: the type menu's parent while
// its choice is being set up, else the application's window.
QWidget* GetConnectionDialogParent();
// Makes `parent` the window of the connections' dialogs until it is replaced
// or cleared (nullptr); a dialog that sets itself clears itself when it ends.
void SetConnectionDialogParent(QWidget* parent);

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
