#include "instruments/connections/ConnectionRegistry.h"

#include "foundation/dialogs/DialogCallback.h"
#include "foundation/menus/MenuTree.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/util/Folders.h"
#include "foundation/util/PortSlot.h"
#include "instruments/DataConnection.h"
#include "instruments/connections/ConnectionPorts.h"
#include "instruments/connections/NMEASimulation.h"
#include "instruments/connections/NetworkConnections.h"
#include "instruments/connections/SerialConnection.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

CConnectionType* gFirstType = nullptr;
std::unique_ptr<CDataConnection> gCurrent;
// The type menu's parent while its choice is set up; else the port's window.
QWidget* gMenuParent = nullptr;

CConnectionType gNoneType("None", kConnectionNone, []() -> CDataConnection* { return new CNoConnection; });
CConnectionType gSerialType("Serial", kConnectionSerial,
                            []() -> CDataConnection* { return new ConnectionMacSerialPort; });
CConnectionType gTCPType("TCP/IP", kConnectionTCPIP,
                         []() -> CDataConnection* { return new CTCPIPConnection; });
CConnectionType gUDPType("UDP/IP", kConnectionUDP, []() -> CDataConnection* { return new CUDPConnection; });
CConnectionType gSimulationType("Simulation File", kConnectionSimulation,
                                []() -> CDataConnection* { return new CNMEASimulation; });

int gCaptureFd = -1;
std::string gCapturePath;

// Built before the application runs, like every settings object.
CDataConnection::Persistant gConnectionSettings;

void CloseAndDeleteCurrent()
{
    if (!gCurrent)
        return;
    std::unique_ptr<CDataConnection> old = std::move(gCurrent);
    old->Close();
    Port<IConnectionEvents>().OnReset(old->m_simulated != 0);
}

void OpenConnection(CDataConnection& connection)
{
    connection.Open();
    Port<IConnectionEvents>().OnReset(connection.m_simulated != 0);
}

} // namespace

namespace {

void RestoreConnection(int32_t typeId, bool open)
{
    CDataConnection::Persistant& settings = CDataConnection::Settings();
    settings.gps_connection_type = typeId;
    settings.SetModified();
    PersistantData::SaveAll();
    if (open)
        OpenSavedGPSConnection();
    else // the cancelled one was never opened: nothing to close or tell
        gCurrent.reset(CDataConnection::Create(typeId));
}

} // namespace

CConnectionType::CConnectionType(const char* name, int32_t id, Factory factory)
    : m_name(name), m_id(id), m_factory(factory)
{
}

void CConnectionType::Register()
{
    if (m_registered)
        return;
    m_registered = true;
    CConnectionType** tail = &gFirstType;
    while (*tail)
        tail = &(*tail)->m_next;
    *tail = this;
}

void RegisterConnectionTypes()
{
    // The order of the "GPS Connection" menu and the GPS settings' pop-up.
    for (CConnectionType* type : {&gNoneType, &gSerialType, &gTCPType, &gUDPType, &gSimulationType})
        type->Register();
}

CConnectionType::~CConnectionType()
{
    for (CConnectionType** p = &gFirstType; *p; p = &(*p)->m_next) {
        if (*p == this) {
            *p = m_next;
            break;
        }
    }
}

CConnectionType* CConnectionType::First()
{
    RegisterConnectionTypes();
    return gFirstType;
}

CConnectionType* CConnectionType::Find(int32_t id)
{
    for (CConnectionType* t = First(); t; t = t->m_next)
        if (t->m_id == id)
            return t;
    return nullptr;
}

CDataConnection* CDataConnection::Create(int32_t typeId)
{
    CConnectionType* type = CConnectionType::Find(typeId);
    if (!type || !type->m_factory)
        return nullptr;
    CDataConnection* connection = type->m_factory();
    if (connection)
        connection->m_typeId = typeId;
    return connection;
}

CDataConnection::Persistant& CDataConnection::Settings()
{
    return gConnectionSettings;
}

void CDataConnection::Persistant::Exchange()
{
    uint32_t type = static_cast<uint32_t>(gps_connection_type);
    ExchangeHex("gps_connection_type", type);
    gps_connection_type = static_cast<int32_t>(type);
    ExchangeStringList("output_filters", output_filters);
}

CDataConnection* GetGPSConnection()
{
    return gCurrent.get();
}

QWidget* GetConnectionDialogParent()
{
    return gMenuParent ? gMenuParent : Port<IConnectionUi>().DialogParent();
}

void SetConnectionDialogParent(QWidget* parent)
{
    gMenuParent = parent;
}

void ShowGPSConnectionStatus()
{
    if (gCurrent)
        SetStatusMessage(gCurrent->m_statusText);
}

void OpenSavedGPSConnection()
{
    CloseAndDeleteCurrent();
    CDataConnection::Persistant& settings = CDataConnection::Settings();
    std::unique_ptr<CDataConnection> connection(CDataConnection::Create(settings.gps_connection_type));
    if (!connection && settings.gps_connection_type != kConnectionNone) {
        settings.gps_connection_type = kConnectionNone;
        settings.SetModified();
        PersistantData::SaveAll();
        connection.reset(CDataConnection::Create(kConnectionNone));
    }
    if (!connection) {
        SetStatusMessage("The GPS Connection Type is not available");
        return;
    }
    if (settings.output_filters.empty()) {
        connection->StopRawRecords();
    } else {
        for (const std::string& text : settings.output_filters)
            AddNMEAFilter(connection->m_outputFilters, text);
    }
    gCurrent = std::move(connection);
    OpenConnection(*gCurrent);
    // An empty status would hide what start-up put on the status line before.
    if (gCurrent && !gCurrent->m_statusText.empty())
        SetStatusMessage(gCurrent->m_statusText);
}

void StartGPSConnection()
{
    if (!gCurrent)
        OpenSavedGPSConnection();
    else
        gCurrent->OnLaunch();
}

void StopGPSConnection()
{
    CloseAndDeleteCurrent();
}

std::unique_ptr<CMenuTree> BuildConnectionTypeMenu()
{
    auto menu = std::make_unique<CActionSheetMenu>("GPS Connection", nullptr);
    const int32_t saved = CDataConnection::Settings().gps_connection_type;
    for (CConnectionType* t = CConnectionType::First(); t; t = t->m_next) {
        if (t->m_id <= 0)
            continue;
        const int32_t id = t->m_id;
        menu->AddActionSheetFunc(t->m_name, id == saved ? CMenuTree::kChecked : CMenuTree::kPlain, [id] {
            // The registry entry is looked up again: a menu may outlive nothing, but be safe.
            if (CConnectionType* type = CConnectionType::Find(id))
                on_select_connection_type(*type);
        });
    }
    return menu;
}

void ShowConnectionTypeMenu(QWidget* parent)
{
    gMenuParent = parent;
    CActionSheetMenu::PopUpAtCentre(BuildConnectionTypeMenu(), parent);
}

void on_select_connection_type(const CConnectionType& type)
{
    CDataConnection::Persistant& settings = CDataConnection::Settings();
    // A cancelled set-up puts back what was in use, open if it was.
    const int32_t previousId = gCurrent ? gCurrent->m_typeId : settings.gps_connection_type;
    const bool previousOpen = gCurrent != nullptr;
    settings.gps_connection_type = 0;
    settings.SetModified();
    PersistantData::SaveAll();
    CloseAndDeleteCurrent();
    CDataConnection* connection = CDataConnection::Create(type.m_id);
    if (!connection) {
        gMenuParent = nullptr;
        return;
    }
    gCurrent.reset(connection);
    const int32_t id = type.m_id;
    CCallback storage;
    PushProgressCallback(storage, CCallback([connection, id, previousId, previousOpen](int32_t code) {
                             // Replaced while its dialog was open: the newer choice stands.
                             if (gCurrent.get() != connection)
                                 return code;
                             if (code != 0) {
                                 RestoreConnection(previousId, previousOpen);
                                 gMenuParent = nullptr;
                                 return code;
                             }
                             CCallback shown;
                             PushProgressCallback(shown, CCallback([connection](int32_t c) {
                                                      if (gCurrent.get() == connection)
                                                          SetStatusMessage(connection->m_statusText);
                                                      gMenuParent = nullptr;
                                                      return c;
                                                  }));
                             OpenConnection(*connection);
                             CDataConnection::Persistant& s = CDataConnection::Settings();
                             s.gps_connection_type = id;
                             s.SetModified();
                             PersistantData::SaveAll();
                             RunDialogCallbacksUntil(shown);
                             return code;
                         }));
    connection->Configure(GetConnectionDialogParent());
    RunDialogCallbacksUntil(storage);
}

bool StartNMEACapture()
{
    StopNMEACapture(nullptr);
    const std::string folder = GetTempFolder();
    if (folder.empty())
        return false;
    gCapturePath = folder + "/nmea_debug.txt";
    // A private folder, and still never through a planted link.
    gCaptureFd = ::open(gCapturePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    return gCaptureFd >= 0;
}

bool IsNMEACaptureOn()
{
    return gCaptureFd >= 0;
}

void WriteNMEACapture(const char* text)
{
    if (gCaptureFd < 0 || !text)
        return;
    size_t length = std::strlen(text);
    // Lines handed over may still hold their line end.
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        --length;
    char buffer[256];
    if (length < sizeof buffer) {
        std::memcpy(buffer, text, length);
        buffer[length] = '\n';
        [[maybe_unused]] ssize_t n = ::write(gCaptureFd, buffer, length + 1);
    } else {
        [[maybe_unused]] ssize_t n = ::write(gCaptureFd, text, length);
        n = ::write(gCaptureFd, "\n", 1);
    }
}

void StopNMEACapture(QWidget* parent)
{
    if (gCaptureFd < 0)
        return;
    ::close(gCaptureFd);
    gCaptureFd = -1;
    if (parent)
        ShareFile(parent, gCapturePath, "NMEA debug data", "text/plain");
}

const std::string& GetNMEACapturePath()
{
    return gCapturePath;
}
