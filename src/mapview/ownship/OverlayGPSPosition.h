#pragma once
// The own ship: the one moving target fed by the receiver. It averages fixes
// into a smoothed course and speed, blinks its icon while fixes arrive, greys
// out when they stop for five seconds, and owns the "GPS Settings".
#include "foundation/events/Heartbeat.h"
#include "foundation/settings/GlobalSettingsType.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/data/DataGPSSatelliteSignals.h"
#include "mapview/ownship/OverlayMovingTarget.h"

#include <QImage>
#include <functional>

class COverlayGPSPosition : public COverlayMovingTarget,
                            public CDataGPSSatelliteSignals,
                            public CHeartbeat::Counter
{
public:
    static constexpr uint32_t kOverlayId = 4;
    static constexpr int kFixLostTicks = 100; // five seconds of heartbeat

    COverlayGPSPosition();
    ~COverlayGPSPosition() override;

    // The one own ship of the application.
    static COverlayGPSPosition& Global();

    // Called by the position feed after it set position, course and speed.
    void ProcessFix();
    // Forgets the averaging samples (the data source restarted or rewound).
    void ResetAveraging();
    // The fix-lost countdown ran out.
    void OnTick() override;

    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) override;
    void Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record) override;
    // Loads and tints the icons (first drawing; again after a colour change).
    void LoadIcons();

    const CFixAverager& Averager() const { return m_averager; }
    // Told when the fix-lost countdown ran out (the position feed forgets its sources).
    std::function<void()> m_onFixLost;
    // Who gave the current fix (the position feed, the AIS transponder), so a
    // second source keeps off while another one has a fix.
    const void* m_fixSource = nullptr;
    bool HasFixFrom(const void* source) const { return m_fixStatus != kNoFix && m_fixSource == source; }
    double LastBlinkTime() const { return m_lastBlink; }
    bool IconsLoaded() const { return m_iconsLoaded; }

    class Persistant : public PersistantData
    {
    public:
        Persistant() : PersistantData("COverlayGPSPosition") {}
        void Exchange() override;
    };

private:
    QImage m_blinkA;
    QImage m_blinkB;
    QImage m_grey;
    double m_iconOffsetX = 0;
    double m_iconOffsetY = 0;
    double m_lastBlink = 0;
    bool m_iconsLoaded = false;
    CFixAverager m_averager;
};

// The "GPS Settings" category: opens the dialog through the own-ship port
// (mapview/ownship/OwnShipPorts.h).
class CGPSSettingsCategory : public CGlobalSettingsType
{
public:
    CGPSSettingsCategory() : CGlobalSettingsType("GPS Settings") {}
    void Open() override;
    bool CanOpen() const override;
};
