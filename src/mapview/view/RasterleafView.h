#pragma once
// The map: one raster chart at a time with the overlays over it. Keeps the
// view transform, the stored centre and scale, follows the own ship under
// GPS lock, and switches charts when the user or the ship moves off the
// chart or asks for another scale. Main thread only.
//
// Chart switches are numbered: a completion that arrives after a newer switch
// started is dropped, so switches never overwrite each other.
#include "foundation/events/Listener.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/data/DataGPSPosition.h"
#include "mapview/overlay/OverlayDisplayList.h"
#include "mapview/overlay/OverlayObject.h"
#include "mapview/view/ChartViewPorts.h"
#include "mapview/view/PanGesture.h"
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class COverlayTool;
class QPainter;
class QRectF;
class QWidget;

class CRasterleafView : public CSerializable,
                        public Listener<CDataGPSPosition>,
                        public Listener<COverlayObject>
{
public:
    static constexpr uint32_t kStateVersion = 0x8e5672ce;
    static constexpr double kNoCentre = 999.0;
    static constexpr int32_t kMinZoom = -2;
    // Shown when zooming in past the last level with only one chart installed.
    static constexpr const char* kOneChartHint =
        "To view additional maps, tap the Maps button,\nthen \"Mapvault\".\n\nSign-in or Create an Account "
        "when prompted.";
    static constexpr double kDefaultScale = 0.18274; // nautical miles per pixel
    // Map-store look-ups: one per cell of this many degrees per period.
    static constexpr double kLookupCellDegrees = 0.1;
    static constexpr double kLookupPeriodSeconds = 600.0;

    // Settings object "CRasterleafView".
    struct Settings : PersistantData
    {
        Settings();
        void Exchange() override;
        bool useMagicMouse = false;
        bool changeScaleByZooming = true;
        bool showScaleBar = true;             // stored only
        uint32_t scaleBarColour = 0xa0ffbb33; // stored only
        bool automaticDownload = true;
        std::string appName = "Tessaroute";                         // stored only
        std::string appIcon;                                        // stored only
        std::string appWebsite = "https://tessaroute.example.org/"; // stored only
        std::set<std::string> mvtHide;
        double defaultLat = 43.04144; // read only
        double defaultLon = -31.7395; // read only
    };
    static Settings& GetSettings();

    struct Ports
    {
        IChartOpener* opener = nullptr;
        IChartCatalog* catalog = nullptr;
        IMapStore* mapStore = nullptr; // may be null: no downloads
        IChartViewHost* host = nullptr;
    };

    explicit CRasterleafView(const Ports& ports);
    ~CRasterleafView() override;
    CRasterleafView(const CRasterleafView&) = delete;
    CRasterleafView& operator=(const CRasterleafView&) = delete;

    // The one chart view of the application (null when none exists).
    static CRasterleafView* Global();

    // The time source for the look-up limit (tests); the heartbeat's by default.
    void SetClockForTesting(std::function<double()> clock) { m_clock = std::move(clock); }

    // Chart switching.
    void OpenChart(const std::string& path = std::string());
    void SwitchChart(const std::string& path, bool keepCentre);
    void CloseChartFile();
    void CloseChart();
    bool HasChart() const { return m_chart != nullptr; }
    bool IsNoChartState() const { return m_noChart; }
    bool IsSwitching() const { return m_switchPending; }
    // Set while a link downloads a chart the view closed for it: start-up
    // then shows no default area. Cleared when a chart opens.
    void SetChartPending(bool pending) { m_chartPending = pending; }
    bool IsChartPending() const { return m_chartPending; }
    std::string GetCurrentChartPath() const { return m_chart ? m_chart->path : std::string(); }
    // The open chart's title, "Map" when none.
    std::string GetMapTitle() const;
    std::string GetRightsNotice() const { return m_chart ? m_chart->rights : std::string(); }
    const CPolynomialProjection* GetGeoreference() const;
    // A package update rewrites chart files in place: the open chart among
    // them is closed first and opened again after the update.
    void ReleaseChartFiles(const std::vector<std::string>& paths);
    void ReacquireChartFiles(const std::vector<std::string>& paths);

    // Position and scale.
    void UpdateCentrePosition();
    bool GetCentreLatLon(double& latitude, double& longitude) const;
    double GetCentreScale() const;
    bool ScreenToLatLon(double x, double y, double& latitude, double& longitude) const;
    bool LatLonToScreen(double latitude, double longitude, double& x, double& y) const;
    bool GoToPosition(double latitude, double longitude, double scale);
    // Box: west, east, south, north.
    static void ShowArea(double west, double east, double south, double north);
    void ShowAreaHere(double west, double east, double south, double north);
    bool CentreOn(double latitude, double longitude, bool setLockPoint);
    void SetGPSLock(bool on);
    bool GetGPSLock() const { return m_gpsLock; }
    void ReopenAtCentre();
    void SetViewRect(double left, double top, double width, double height);
    // Device pixels per view pixel; chart pixels are aligned to device pixels.
    void SetDevicePixelRatio(double ratio);

    // Zoom and pan (the toolbar, keys, wheel and drags).
    void ZoomAbout(int delta, double x, double y);
    void ZoomAboutCentre(int delta);
    void PanBy(double dx, double dy);
    // Pointer, wheel, pinch and keys (ChartViewInput.cpp), in view pixels.
    // A press offers itself to the overlays under the point unless `hitTest`
    // is false (the middle button only pans); drags move the active tool or
    // pan; a release within 3 pixels of the press taps.
    void Press(double x, double y, bool hitTest = true);
    void DragTo(double x, double y);
    void Release();
    // Ends a press without a tap (right and middle buttons).
    void CancelPress();
    // The overlay's action menu, else "Maps at cursor".
    void RightClick(double x, double y);
    // One pinch step by `amount` about the point; 0 ends the gesture.
    void Magnify(double x, double y, double amount);
    // Ends a pinch or precise-scroll gesture: the magnification becomes zoom levels.
    void EndGesture();
    bool IsPinching() const { return m_input.pinching; }
    double PinchDistance() const { return m_input.pinchDistance; }
    // Pixel-precise scrolling (touchpads): pans by twice the deltas, or with
    // "use_magic_mouse" magnifies by the vertical delta.
    void ScrollPixels(double x, double y, double dx, double dy);
    // A wheel: one zoom step about the point per 120 units of angle delta.
    void ScrollWheel(double x, double y, int angleDelta);
    // The window lost the focus or the pointer grab: nothing stays pressed.
    void InputFocusLost();
    // A key (Qt::Key value and its text); false when it is not the view's.
    bool KeyDown(int key, const std::string& text);
    bool IsPressed() const { return m_pan.IsPressed(); }
    const CPanGesture& PanGesture() const { return m_pan; }
    // The 20 Hz animation tick: glide after release, magnification back to
    // 1.0, busy tiles. Nothing moves while the pointer is pressed.
    void OnTimer();

    // Drawing; `dirty` in view pixels.
    void Draw(QPainter& painter, const QRectF& dirty);
    void SetTitleFlag(bool on) { m_titleFlag = on; }

    // Overlays.
    void OnGPSPosition(const CDataGPSPosition& fix);
    void OnOverlayChanged(COverlayObject& object);
    const COverlayDisplayList& DisplayedOverlays() const { return m_overlays; }
    // Projects every overlay's screen points for the current view (the draw
    // pass does it for what it draws; hit tests need them at once).
    void ProjectOverlaysIntoView();
    // A new mark at the own ship when it is held at the centre, else at the
    // centre (OverlaySources.h).
    void CreateMarkAtCentre();

    // Place names (PlaceNames.cpp). Finds the open chart's place-name index and
    // keeps its path; `done` gets the path to open, or "" when there is none:
    // at once when the file exists, else when the download of the map's index
    // has ended (a failed or invalid download leaves no file).
    void GetPlacenameIndex(QWidget* parent, std::function<void(const std::string& path)> done,
                           const std::string& extension = "tsx");
    // The map name of a chart file: its name without folder and extension when
    // that is a safe file name, else "".
    static std::string PlaceMapName(const std::string& chartPath);
    static bool IsPlaceMapName(const std::string& name);
    const std::string& PlaceIndexPath() const { return m_placeIndexPath; }
    // The last index that opened; saved with the view state.
    const std::string& LastPlaceIndexPath() const { return m_lastPlaceIndexPath; }
    void SetLastPlaceIndexPath(const std::string& path) { m_lastPlaceIndexPath = path; }

    // State chunk.
    bool Serialize(CSerialStream& stream) override;

    // Read access for the window and tests.
    const CViewTransform& Transform() const { return m_view; }
    double Magnification() const { return m_magnification; }
    int32_t MaxZoomOut() const { return m_maxZoomOut; }
    double StoredLat() const { return m_storedLat; }
    double StoredLon() const { return m_storedLon; }
    double StoredScale() const { return m_storedScale; }
    double ScreenCentreX() const { return m_centreX; }
    double ScreenCentreY() const { return m_centreY; }
    double LockPointX() const { return m_lockX; }
    double LockPointY() const { return m_lockY; }
    void SetChartOpenedCallback(std::function<void()> callback) { m_chartOpened = std::move(callback); }
    bool IsBusy() const;
    // Tiles still queued or being made.
    bool HasWork() const;

private:
    void Notify(const CDataGPSPosition& fix) override { OnGPSPosition(fix); }
    void Notify(const COverlayObject& object) override
    {
        OnOverlayChanged(const_cast<COverlayObject&>(object));
    }

    void ChartOpenDone(uint64_t sequence, const std::string& path, int status,
                       std::unique_ptr<COpenedChart> chart);
    void FailSwitch(const std::string& requested);
    void RestoreView();
    void RebuildScreenPoints();
    void ViewMoved();
    void ClampView();
    void AlignOrigin();
    bool ChartContains(double latitude, double longitude);
    void FetchFromMapStore(double latitude, double longitude);
    void Redraw();
    double Now() const;
    void UseMetricGrid();
    void AttachOverlaySources();

    Ports m_ports;
    std::unique_ptr<COpenedChart> m_chart;
    COverlayDisplayList m_overlays;
    CViewTransform m_view;
    double m_centreX = 1, m_centreY = 1;
    double m_dpr = 1.0;
    double m_magnification = 1.0;
    double m_storedLat = kNoCentre, m_storedLon = kNoCentre, m_storedScale = 0;
    double m_ownLat = kNoCentre, m_ownLon = kNoCentre;
    bool m_gpsLock = false;
    double m_lockX = 1, m_lockY = 1;
    bool m_noChart = false;
    bool m_switchPending = false;
    bool m_chartPending = false;
    uint64_t m_switchSequence = 0;
    std::string m_requestedName, m_currentName;
    std::string m_releasedChart; // closed for a package update
    std::string m_placeIndexPath, m_lastPlaceIndexPath;
    bool m_titleFlag = false;
    int32_t m_maxZoomOut = 3;
    CPanGesture m_pan;
    bool m_animating = false;
    // Input state (ChartViewInput.cpp). The pressed overlay is held by its
    // display-list key and checked on every use: taps may delete or add overlays.
    struct InputState
    {
        double pressX = 0, pressY = 0; // where the press began
        double lastX = 0, lastY = 0;   // the last drag point
        bool tapCancelled = false;
        bool pressedOverlay = false;
        COverlayDisplayList::Key pressedKey{0, 0};
        COverlayObject* pressedObject = nullptr;
        // The press left the active tool on the pressed object: only then do
        // drags move the tool (a press on an AIS target must not drag a mark).
        bool pressedToolObject = false;
        // The press was on the active tool's label: its tap opens the tool's
        // action menu (compared with the active tool on release).
        const COverlayTool* pressedLabelTool = nullptr;
        bool toolDragged = false;
        bool pinching = false;
        double pinchDistance = 1.0;
        double startMagnification = 1.0;
        double lastGestureTime = 0;
        int wheelAngle = 0;
    };
    struct OverlayHit
    {
        COverlayDisplayList::Key key;
        COverlayObject* object;
    };
    std::vector<OverlayHit> CollectOverlayHits(double x, double y);
    // After a drag that moved the active tool: the tool settles.
    void EndToolDrag();
    bool IsStillShown(const OverlayHit& hit) const;
    bool TapAt(double x, double y, const COverlayTap& tap, bool hadPressedOverlay, const OverlayHit& pressed);
    void ZoomStep(int delta, double x, double y);
    void CheckGestureTimeout();
    COverlayTap MakeTap(double x, double y) const;
    InputState m_input;
    std::function<void()> m_chartOpened;
    std::function<double()> m_clock;
    // Map-store look-ups: when each cell was last asked, and whether one runs.
    std::map<std::pair<int64_t, int64_t>, double> m_lookups;
    bool m_lookupRunning = false;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
