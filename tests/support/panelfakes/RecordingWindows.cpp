#include "panelfakes/RecordingWindows.h"

#include <QImage>
#include <QPainter>
#include <algorithm>

namespace tessatest {

namespace {

class RecordingWindow : public virtual CDisplayView::IWindow
{
public:
    explicit RecordingWindow(std::shared_ptr<WindowRecord> record) : m_record(std::move(record))
    {
        m_parent = m_record->host;
    }
    void Invalidate() override
    {
        ++m_record->invalidations;
        m_record->calls.push_back("Invalidate");
    }
    void SetRect(int32_t x, int32_t y, int32_t width, int32_t height,
                 CDisplayView::CItemSettings* settings) override
    {
        m_record->rect = {x, y, width, height};
        m_record->rectSettings = settings;
        ++m_record->setRects;
        m_record->calls.push_back("SetRect");
    }
    void Show(bool show) override
    {
        m_record->visible = show;
        m_record->calls.push_back("Show");
    }
    void GetSize(int32_t& width, int32_t& height) override
    {
        width = m_record->rect.width;
        height = m_record->rect.height;
    }
    void Destroy() override
    {
        m_record->destroyed = true;
        m_record->item = nullptr;
        m_record->calls.push_back("Destroy");
        delete this;
    }

protected:
    std::shared_ptr<WindowRecord> m_record;
};

class RecordingTextWindow : public RecordingWindow, public CDisplayView::ITxtWindow
{
public:
    using RecordingWindow::RecordingWindow;
    void SetLabel(const std::string& title, const std::string& unit) override
    {
        m_record->title = title;
        m_record->unit = unit;
        m_record->calls.push_back("SetLabel");
    }
    void SetText(const std::string& text) override
    {
        Show(!text.empty());
        m_record->text = text;
        m_record->calls.push_back("SetText");
    }
};

class RecordingButtonWindow : public RecordingWindow, public CDisplayView::CItemButton::IButtonWindow
{
public:
    using RecordingWindow::RecordingWindow;
    void SetTitle(const std::string& text) override
    {
        m_record->buttonTitle = text;
        m_record->calls.push_back("SetTitle");
    }
    void SetColour(uint32_t colour) override
    {
        m_record->colour = colour;
        m_record->calls.push_back("SetColour");
    }
    void SetImage(const QImage&) override { m_record->calls.push_back("SetImage"); }
    void SetEnabled(bool enabled) override
    {
        m_record->enabled = enabled;
        m_record->calls.push_back("SetEnabled");
    }
};

class RecordingImageWindow : public RecordingWindow, public CDisplayView::CItemStaticImage::IImageWindow
{
public:
    using RecordingWindow::RecordingWindow;
};

} // namespace

RecordingWindowFactory::RecordingWindowFactory()
    : m_previous(IsPortInstalled<IPanelWindowFactory>() ? &Port<IPanelWindowFactory>() : nullptr)
{
    InstallPort<IPanelWindowFactory>(this);
}

RecordingWindowFactory::~RecordingWindowFactory()
{
    InstallPort<IPanelWindowFactory>(m_previous);
}

std::shared_ptr<WindowRecord> RecordingWindowFactory::Add(WindowKind kind, CDisplayView::IWindow* host,
                                                          CDisplayView::CItem& item)
{
    auto record = std::make_shared<WindowRecord>();
    record->kind = kind;
    record->host = host;
    record->item = &item;
    m_records.push_back(record);
    return record;
}

CDisplayView::ITxtWindow* RecordingWindowFactory::MakeTextWindow(CDisplayView::IWindow* host,
                                                                 CDisplayView::CItem& item, bool multiline)
{
    return new RecordingTextWindow(Add(multiline ? WindowKind::MultilineText : WindowKind::Text, host, item));
}

CDisplayView::CItemButton::IButtonWindow*
RecordingWindowFactory::MakeButtonWindow(CDisplayView::IWindow* host, CDisplayView::CItemButton& item)
{
    return new RecordingButtonWindow(Add(WindowKind::Button, host, item));
}

CDisplayView::IWindow* RecordingWindowFactory::MakeDrawWindow(CDisplayView::IWindow* host,
                                                              CDisplayView::CItemDraw& item)
{
    return new RecordingWindow(Add(WindowKind::Draw, host, item));
}

CDisplayView::CItemStaticImage::IImageWindow*
RecordingWindowFactory::MakeImageWindow(CDisplayView::IWindow* host, CDisplayView::CItem& item,
                                        const std::string& imageName)
{
    auto record = Add(WindowKind::Image, host, item);
    record->imageName = imageName;
    return new RecordingImageWindow(record);
}

std::vector<std::shared_ptr<WindowRecord>> RecordingWindowFactory::Live() const
{
    std::vector<std::shared_ptr<WindowRecord>> live;
    for (auto& r : m_records)
        if (!r->destroyed)
            live.push_back(r);
    return live;
}

std::shared_ptr<WindowRecord> RecordingWindowFactory::RecordOf(const CDisplayView::CItem* item) const
{
    for (auto& r : m_records)
        if (!r->destroyed && r->item == item)
            return r;
    return nullptr;
}

bool RecordingWindowFactory::Click(const CDisplayView::CItem* item)
{
    auto record = RecordOf(item);
    if (!record || record->kind != WindowKind::Button)
        return false;
    static_cast<CDisplayView::CItemButton*>(record->item)->Pressed();
    return true;
}

bool RecordingWindowFactory::Paint(const CDisplayView::CItem* item)
{
    auto record = RecordOf(item);
    if (!record || record->kind != WindowKind::Draw)
        return false;
    QImage image(std::max(record->rect.width, 1), std::max(record->rect.height, 1), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    static_cast<CDisplayView::CItemDraw*>(record->item)
        ->Draw(painter, record->rect.width, record->rect.height);
    return true;
}

} // namespace tessatest
