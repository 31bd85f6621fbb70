#pragma once
// The GPS settings dialog: the data connection's type (switched at once when
// chosen), the own ship's course vector and colour, and the connection's
// status refreshed once a second. While it is open the connections' own
// set-up dialogs open over it.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/events/Listener.h"
#include "instruments/data/DataGPSPosition.h"

#include <memory>
#include <string>

class CDataConnection;

namespace Ui {
class gps_settings;
}

class gps_settings : public UIViewControllerWithDialog, public Listener<CDataGPSPosition>
{
    Q_OBJECT

public:
    // The vector popup's items: their tags are minutes, 0 turns vectors off.
    static constexpr int kVectorTags[] = {0, 1, 5, 10, 20, 30, 60};

    explicit gps_settings(QWidget* parent = nullptr);
    ~gps_settings() override;

    // The tag shown for a vector setting: the longest of 60, 30, 20, 10, 5, 1
    // minutes the length reaches (a hundredth short counts), else 0; 0 when off.
    static int VectorTagFor(bool showVector, float minutes);
    // The status shown: "Not connected" without a connection in use (also
    // while a chosen one is still being set up), else its own status text,
    // else whether it delivers fixes.
    static std::string StatusText(const CDataConnection* connection, bool settingUp, bool delivers);

    void viewDidLoad();
    void onSelectedConnectionType(const QString& title);
    void onSelectedVectorTime(int index);
    // Opens the colour panel on the square.
    void onColorSquare();
    void didSelectColor(double red, double green, double blue);
    void onOneSecTimer();
    void onDone();
    void onCancel();

    bool HasTimer() const { return m_timer != nullptr; }

    // A fix arrived: the connection in use delivered it.
    void Notify(const CDataGPSPosition& fix) override;

private:
    void ShowStatus(const CDataConnection* connection);
    // Whether `connection` delivered the own ship's current fix.
    bool Delivers(const CDataConnection* connection) const;
    class CTimer : public CHeartbeat::Counter
    {
    public:
        explicit CTimer(gps_settings& dialog)
            : CHeartbeat::Counter(CHeartbeat::kTicksPerSecond), m_dialog(dialog)
        {
        }
        void OnTick() override { m_dialog.onOneSecTimer(); }

    private:
        gps_settings& m_dialog;
    };

    void ShowColour();
    void End(int32_t code);
    // Stops the refresh and gives the connections' dialogs back their usual window.
    void Detach();

    std::unique_ptr<Ui::gps_settings> m_ui;
    std::unique_ptr<CTimer> m_timer;
    double m_colour[3] = {};
    bool m_colourPicked = false;
    int m_vectorTag = -1; // the chosen vector item's tag; -1 while none was chosen
    // The connection that delivered the last fix, and the one in use at the
    // last look: a fix of the connection before counts for no other.
    const CDataConnection* m_fixFrom = nullptr;
    const CDataConnection* m_seen = nullptr;
    bool m_settingUp = false; // a chosen type's set-up has not ended yet
};
