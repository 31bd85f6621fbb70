#include "app/panels/PanelAdaptors_qt.h"

#include "app/panels/data_view.h"
#include "foundation/drawing/Images.h"
#include "panels/PanelFrames.h"

#include <QColor>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace {

QWidget* HostView(CDisplayView::IWindow* host)
{
    auto* adaptor = dynamic_cast<CViewAdaptor_qt*>(host);
    return adaptor ? adaptor->View() : nullptr;
}

QString ToQString(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

void DrawField(QPainter& painter, const TextFieldAutosizing& field)
{
    if (field.Text().empty())
        return;
    const CFieldFrame f = field.ShownFrame();
    painter.setFont(CQtTextMeasurer::BoldFont(field.FontSize()));
    const int flags =
        field.IsMultiline() ? Qt::AlignCenter | Qt::TextWordWrap : Qt::AlignHCenter | Qt::AlignTop;
    painter.drawText(QRectF(f.x, f.y, f.width, f.height), flags, ToQString(field.Text()));
}

// Shows an image scaled down to fit, centred, keeping its proportions.
class ImageCellView : public FlippedView
{
public:
    ImageCellView(QWidget* parent, QImage image) : FlippedView(parent), m_image(std::move(image)) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_image.isNull())
            return;
        QSizeF size = GetImageSize(m_image);
        if (size.width() > width() || size.height() > height())
            size.scale(QSizeF(width(), height()), Qt::KeepAspectRatio);
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(
            QRectF((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height()),
            m_image);
    }

private:
    QImage m_image;
};

} // namespace

// ---- measuring ----

CQtTextMeasurer& CQtTextMeasurer::Get()
{
    static CQtTextMeasurer measurer;
    return measurer;
}

QFont CQtTextMeasurer::BoldFont(double pointSize)
{
    QFont font = QGuiApplication::font();
    font.setBold(true);
    font.setPointSizeF(pointSize > 0 ? pointSize : 1);
    return font;
}

void CQtTextMeasurer::Measure(const std::string& text, double pointSize, double& width, double& height)
{
    const QFontMetricsF metrics(BoldFont(pointSize));
    width = metrics.horizontalAdvance(ToQString(text));
    height = metrics.height();
}

// ---- the base ----

CViewAdaptor_qt::CViewAdaptor_qt(CDisplayView::IWindow* parent, bool ownsView) : m_ownsView(ownsView)
{
    m_parent = parent;
}

CViewAdaptor_qt::~CViewAdaptor_qt()
{
    ReleaseView();
}

void CViewAdaptor_qt::Invalidate()
{
    if (m_view)
        m_view->update();
}

void CViewAdaptor_qt::SetRect(int32_t x, int32_t y, int32_t width, int32_t height,
                              CDisplayView::CItemSettings*)
{
    if (!m_view)
        return;
    const CPanelRect r = ChildFrame(m_parent, x, y, width, height);
    m_view->setGeometry(r.x, r.y, r.width, r.height);
}

void CViewAdaptor_qt::Show(bool show)
{
    Invalidate();
    if (!m_parent || !m_parent->m_hideWhenEmpty || show == m_visible)
        return;
    m_visible = show;
    if (m_view)
        m_view->setVisible(show);
}

void CViewAdaptor_qt::GetSize(int32_t& width, int32_t& height)
{
    width = height = 0;
    if (m_view)
        UsableSize(*this, m_view->width(), m_view->height(), width, height);
}

void CViewAdaptor_qt::SetBackgroundImageFile(const std::string& path)
{
    if (m_owner)
        m_owner->setBackgroundImageFile(path);
}

void CViewAdaptor_qt::AddSubview(QWidget* view)
{
    if (!m_view || !view)
        return;
    view->setParent(m_view);
    view->show();
}

void CViewAdaptor_qt::ReleaseView()
{
    QPointer<QWidget> view = m_view;
    m_view = nullptr;
    if (view && m_ownsView) {
        // Out of sight now; deleted once the event that may be running in it returns.
        view->hide();
        view->deleteLater();
    }
}

// ---- text cells ----

ViewCellBackground::ViewCellBackground(QWidget* parent, const TextFieldAutosizing* title,
                                       const TextFieldAutosizing* value)
    : FlippedView(parent), m_title(title), m_value(value)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ViewCellBackground::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(255, 255, 255, 128));
    painter.setPen(Qt::black);
    if (m_title)
        DrawField(painter, *m_title);
    if (m_value)
        DrawField(painter, *m_value);
}

CTextViewAdaptor_qt::CTextViewAdaptor_qt(CDisplayView::IWindow* host, QWidget* hostView, bool multiline)
    : CViewAdaptor_qt(host), m_value(CQtTextMeasurer::Get())
{
    if (!multiline)
        m_title = std::make_unique<TextFieldAutosizing>(CQtTextMeasurer::Get());
    m_value.setMinimumSize(multiline ? 11 : 9);
    m_view = new ViewCellBackground(hostView, m_title.get(), &m_value);
    m_view->show();
}

CTextViewAdaptor_qt::~CTextViewAdaptor_qt()
{
    if (auto* face = qobject_cast<ViewCellBackground*>(m_view.data()))
        face->DetachFields();
}

void CTextViewAdaptor_qt::SetRect(int32_t x, int32_t y, int32_t width, int32_t height,
                                  CDisplayView::CItemSettings* settings)
{
    CViewAdaptor_qt::SetRect(x, y, width, height, settings);
    const CTextCellFrames frames = TextCellFrames(width, height, m_title != nullptr);
    if (m_title)
        m_title->setFrame({0, 0, double(frames.title.width), double(frames.title.height)});
    m_value.setFrame({0, double(frames.value.y), double(frames.value.width), double(frames.value.height)});
    Invalidate();
}

void CTextViewAdaptor_qt::SetLabel(const std::string& title, const std::string& unit)
{
    if (!m_title)
        return;
    m_title->setStringValue(unit.empty() ? title : title + " / " + unit);
    Invalidate();
}

void CTextViewAdaptor_qt::SetText(const std::string& text)
{
    Show(!text.empty());
    if (text == m_value.Text())
        return;
    m_value.setStringValue(text);
    Invalidate();
}

// ---- buttons ----

CButtonViewAdaptor_qt::CButtonViewAdaptor_qt(CDisplayView::IWindow* host, QWidget* hostView,
                                             CDisplayView::CItemButton& item)
    : CViewAdaptor_qt(host)
{
    auto* button = new QPushButton(hostView);
    button->setGeometry(hostView->rect());
    // The target goes with the button, which is deleted once its click returns.
    m_target = new button_target_obj(item);
    m_target->setParent(button);
    QObject::connect(button, &QPushButton::clicked, m_target, &button_target_obj::onClick);
    m_view = button;
    button->show();
}

CButtonViewAdaptor_qt::~CButtonViewAdaptor_qt()
{
    // The item goes with this adaptor: the button, until it is deleted, calls nobody.
    if (QPushButton* button = Button(); button && m_target)
        QObject::disconnect(button, nullptr, m_target, nullptr);
}

void CButtonViewAdaptor_qt::SetRect(int32_t x, int32_t y, int32_t width, int32_t height,
                                    CDisplayView::CItemSettings*)
{
    if (!m_view)
        return;
    const CPanelRect r = ButtonFrame(m_parent, x, y, width, height);
    m_view->setGeometry(r.x, r.y, std::max(r.width, 0), std::max(r.height, 0));
}

void CButtonViewAdaptor_qt::SetTitle(const std::string& text)
{
    if (QPushButton* button = Button())
        button->setText(ToQString(text));
}

void CButtonViewAdaptor_qt::SetColour(uint32_t colour)
{
    QPushButton* button = Button();
    if (!button)
        return;
    const QColor face(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, face);
    palette.setColor(QPalette::ButtonText, face.lightnessF() < 0.5 ? Qt::white : Qt::black);
    button->setPalette(palette);
    button->setAutoFillBackground(true);
    button->update();
}

void CButtonViewAdaptor_qt::SetImage(const QImage& image)
{
    // Qt images already run top-down: shown as they are, at their own size.
    QPushButton* button = Button();
    if (!button)
        return;
    const QPixmap pixmap = QPixmap::fromImage(image);
    button->setIcon(QIcon(pixmap));
    button->setIconSize(pixmap.deviceIndependentSize().toSize());
}

void CButtonViewAdaptor_qt::SetEnabled(bool enabled)
{
    if (m_view)
        m_view->setEnabled(enabled);
}

// ---- drawn cells ----

void draw_view_obj::paintEvent(QPaintEvent*)
{
    if (!m_adaptor)
        return;
    int32_t width = 0, height = 0;
    m_adaptor->GetSize(width, height);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    m_adaptor->Item().Draw(painter, width, height);
}

CDrawAdaptor_qt::CDrawAdaptor_qt(CDisplayView::IWindow* host, QWidget* hostView,
                                 CDisplayView::CItemDraw& item)
    : CViewAdaptor_qt(host), m_item(item)
{
    m_view = new draw_view_obj(hostView, *this);
    m_view->show();
}

CDrawAdaptor_qt::~CDrawAdaptor_qt()
{
    if (auto* view = qobject_cast<draw_view_obj*>(m_view.data()))
        view->DetachAdaptor();
}

// ---- images ----

QImage CItemStaticImage_qt::LoadPanelImage(const std::string& name)
{
    QImage image = LoadImageForScreen(name + "-Linux");
    return image.isNull() ? LoadImageForScreen(name) : image;
}

CItemStaticImage_qt::CItemStaticImage_qt(CDisplayView::IWindow* host, QWidget* hostView,
                                         const std::string& imageName)
    : CViewAdaptor_qt(host)
{
    m_view = new ImageCellView(hostView, LoadPanelImage(imageName));
    m_view->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_view->show();
}

// ---- the factory ----

CDisplayView::ITxtWindow* CQtPanelWindowFactory::MakeTextWindow(CDisplayView::IWindow* host,
                                                                CDisplayView::CItem&, bool multiline)
{
    QWidget* view = HostView(host);
    return view ? new CTextViewAdaptor_qt(host, view, multiline) : nullptr;
}

CDisplayView::CItemButton::IButtonWindow*
CQtPanelWindowFactory::MakeButtonWindow(CDisplayView::IWindow* host, CDisplayView::CItemButton& item)
{
    QWidget* view = HostView(host);
    return view ? new CButtonViewAdaptor_qt(host, view, item) : nullptr;
}

CDisplayView::IWindow* CQtPanelWindowFactory::MakeDrawWindow(CDisplayView::IWindow* host,
                                                             CDisplayView::CItemDraw& item)
{
    QWidget* view = HostView(host);
    return view ? new CDrawAdaptor_qt(host, view, item) : nullptr;
}

CDisplayView::CItemStaticImage::IImageWindow*
CQtPanelWindowFactory::MakeImageWindow(CDisplayView::IWindow* host, CDisplayView::CItem&,
                                       const std::string& imageName)
{
    QWidget* view = HostView(host);
    return view ? new CItemStaticImage_qt(host, view, imageName) : nullptr;
}
