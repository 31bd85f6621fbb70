#include "instruments/connections/NMEASimulation.h"

#include "foundation/dialogs/FilePanel.h"
#include "instruments/connections/ConnectionPorts.h"
#include "instruments/connections/ConnectionRegistry.h"

#include <sys/stat.h>

namespace {

CNMEASimulation::Persistant gSimulationSettings;

bool IsFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

CNMEASimulation::Persistant& CNMEASimulation::Settings()
{
    return gSimulationSettings;
}

CNMEASimulation::CNMEASimulation() : CHeartbeat::Counter(kTickPeriod)
{
    m_simulated = 1;
}

CNMEASimulation::~CNMEASimulation()
{
    if (m_file)
        std::fclose(m_file);
}

void CNMEASimulation::Configure(QWidget* parent)
{
    // NMEA logs come as .txt, .log, .nmea or with no extension: none is hidden.
    ImportFile(parent, "Choose an NMEA simulation file", "", [](const std::string& path) {
        // A file that is gone keeps the one in use, which a cancel puts back.
        if (!IsFile(path))
            return false;
        Persistant& s = Settings();
        s.filename = path;
        s.SetModified();
        PersistantData::SaveAll();
        return true;
    });
}

bool CNMEASimulation::Open()
{
    Port<IConnectionEvents>().OnReset(true);
    Port<IConnectionEvents>().BeginSimulationTrack();
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
    const std::string& path = Settings().filename;
    if (!path.empty() && IsFile(path))
        m_file = std::fopen(path.c_str(), "rbe");
    if (!m_file) {
        m_statusText = "Simulation file error";
        return false;
    }
    m_statusText.clear();
    return true;
}

void CNMEASimulation::Close()
{
    Port<IConnectionEvents>().OnReset(true);
    Port<IConnectionEvents>().EndSimulationTrack();
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
}

bool CNMEASimulation::ReadLine()
{
    int c;
    do {
        c = std::getc(m_file);
        if (c == EOF)
            return false;
    } while (c != '$' && c != '!');
    size_t n = 0;
    while (c != EOF && c != '\r' && c != '\n' && n < kMaxLine) {
        m_line[n++] = static_cast<char>(c);
        if (n < kMaxLine)
            c = std::getc(m_file);
    }
    m_line[n] = '\0';
    return true;
}

void CNMEASimulation::Rewind()
{
    std::rewind(m_file);
    Port<IConnectionEvents>().OnReset(true);
    Port<IConnectionEvents>().BeginSimulationTrack();
}

void CNMEASimulation::OnTick()
{
    if (!m_file)
        return;
    m_positionSeen = false;
    for (int attempt = 0; attempt < kAttemptsPerTick; ++attempt) {
        if (!ReadLine()) {
            Rewind();
            continue;
        }
        DispatchNMEALine(m_line, this);
        // A hook may have closed the file meanwhile.
        if (m_positionSeen || !m_file)
            break;
    }
}

bool CNMEALogfile::Open()
{
    Close();
    m_file = std::fopen(m_path.c_str(), "we");
    if (!m_file) {
        m_statusText = "File open error";
        return false;
    }
    return true;
}

void CNMEALogfile::Close()
{
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
}

bool CNMEALogfile::Write(const char* text)
{
    if (!m_file || !text || !*text)
        return false;
    return std::fputs(text, m_file) >= 0;
}

void CNMEALogfile::Notify(const ShutDown&)
{
    if (!m_file)
        return;
    std::fputs("\n---- Power Down-----\n\n\n", m_file);
    Close();
}
