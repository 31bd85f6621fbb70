#pragma once
// Panel windows without a screen. FakeHost reports the size a test gives it;
// RecordingWindowFactory makes windows that write every call into a record
// which outlives the window, so a test can read what a destroyed cell did.
#include "panels/PanelPorts.h"

#include <memory>
#include <string>
#include <vector>

namespace tessatest {

class FakeHost : public CDisplayView::IWindow
{
public:
    FakeHost(int32_t width = 0, int32_t height = 0) : m_width(width), m_height(height) {}
    void Resize(int32_t width, int32_t height)
    {
        m_width = width;
        m_height = height;
    }
    void Invalidate() override { ++m_invalidations; }
    void SetRect(int32_t, int32_t, int32_t, int32_t, CDisplayView::CItemSettings*) override {}
    void Show(bool show) override { m_visible = show; }
    void GetSize(int32_t& width, int32_t& height) override
    {
        width = m_width;
        height = m_height;
    }
    void SetBackgroundImageFile(const std::string& path) override { m_backgrounds.push_back(path); }
    // The host belongs to the test.
    void Destroy() override {}

    int32_t m_width, m_height;
    int m_invalidations = 0;
    std::vector<std::string> m_backgrounds;
};

enum class WindowKind { Text, MultilineText, Button, Draw, Image };

// Everything one window was told.
struct WindowRecord
{
    WindowKind kind = WindowKind::Text;
    CDisplayView::IWindow* host = nullptr;
    CDisplayView::CItem* item = nullptr; // valid while the window lives
    std::string imageName;
    CPanelRect rect;
    int setRects = 0;
    CDisplayView::CItemSettings* rectSettings = nullptr;
    std::string title, unit, text;
    std::string buttonTitle;
    uint32_t colour = 0;
    bool enabled = true;
    bool visible = true;
    int invalidations = 0;
    bool destroyed = false;
    std::vector<std::string> calls; // names of the calls, in order
};

class RecordingWindowFactory : public IPanelWindowFactory
{
public:
    // Installs itself as the panel window factory until destroyed.
    RecordingWindowFactory();
    ~RecordingWindowFactory() override;

    CDisplayView::ITxtWindow* MakeTextWindow(CDisplayView::IWindow* host, CDisplayView::CItem& item,
                                             bool multiline) override;
    CDisplayView::CItemButton::IButtonWindow* MakeButtonWindow(CDisplayView::IWindow* host,
                                                               CDisplayView::CItemButton& item) override;
    CDisplayView::IWindow* MakeDrawWindow(CDisplayView::IWindow* host,
                                          CDisplayView::CItemDraw& item) override;
    CDisplayView::CItemStaticImage::IImageWindow* MakeImageWindow(CDisplayView::IWindow* host,
                                                                  CDisplayView::CItem& item,
                                                                  const std::string& imageName) override;

    // Every window made so far, in order, destroyed ones included.
    const std::vector<std::shared_ptr<WindowRecord>>& Records() const { return m_records; }
    std::vector<std::shared_ptr<WindowRecord>> Live() const;
    // The live window of an item, or null.
    std::shared_ptr<WindowRecord> RecordOf(const CDisplayView::CItem* item) const;
    void Clear() { m_records.clear(); }

    // Clicks the live button of an item; paints the live drawn cell of an item
    // into an image of its rectangle's size.
    bool Click(const CDisplayView::CItem* item);
    bool Paint(const CDisplayView::CItem* item);

private:
    std::shared_ptr<WindowRecord> Add(WindowKind kind, CDisplayView::IWindow* host,
                                      CDisplayView::CItem& item);

    IPanelWindowFactory* m_previous;
    std::vector<std::shared_ptr<WindowRecord>> m_records;
};

} // namespace tessatest
