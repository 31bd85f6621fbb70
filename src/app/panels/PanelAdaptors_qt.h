#pragma once
// The panel's windows as Qt widgets: one widget per cell under the host
// widget of the data view. Qt's coordinates already run top-down like the
// panel's, so frames are applied as they come. Cell widgets are deleted with
// deleteLater(), so a cell whose own click rebuilt the panel returns safely.
#include "foundation/dialogs/DialogViews.h"
#include "panels/PanelPorts.h"
#include "panels/TextFieldAutosizing.h"

#include <QFont>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <map>
#include <memory>
#include <string>

class data_view;

// The bold application font at a size, measured with QFontMetricsF.
class CQtTextMeasurer : public ITextMeasurer
{
public:
    static CQtTextMeasurer& Get();
    static QFont BoldFont(double pointSize);
    void Measure(const std::string& text, double pointSize, double& width, double& height) override;
};

// The base of every adaptor: a window over one widget.
class CViewAdaptor_qt : public virtual CDisplayView::IWindow
{
public:
    // A cell's adaptor owns its widget; the host's widget belongs to the data view.
    explicit CViewAdaptor_qt(CDisplayView::IWindow* parent = nullptr, bool ownsView = true);
    ~CViewAdaptor_qt() override;

    void Invalidate() override;
    void SetRect(int32_t x, int32_t y, int32_t width, int32_t height,
                 CDisplayView::CItemSettings* settings) override;
    void Show(bool show) override;
    void GetSize(int32_t& width, int32_t& height) override;
    void SetBackgroundImageFile(const std::string& path) override;

    // Puts `view` into this adaptor's widget.
    void AddSubview(QWidget* view);
    // Forgets the widget (deleting it later when it is the adaptor's own).
    void ReleaseView();
    void SetView(QWidget* view) { m_view = view; }
    QWidget* View() const { return m_view; }
    // The data view told about the background image (host only).
    void SetOwner(data_view* owner) { m_owner = owner; }

protected:
    QPointer<QWidget> m_view;
    bool m_ownsView;
    data_view* m_owner = nullptr; // the data view holds its host adaptor
};

// The face of a text cell: white at half opacity, the title line above the value.
class ViewCellBackground : public FlippedView
{
    Q_OBJECT

public:
    ViewCellBackground(QWidget* parent, const TextFieldAutosizing* title, const TextFieldAutosizing* value);
    // The fields went with their adaptor; the widget waits for deletion.
    void DetachFields() { m_title = m_value = nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const TextFieldAutosizing* m_title;
    const TextFieldAutosizing* m_value;
};

class CTextViewAdaptor_qt : public CViewAdaptor_qt, public CDisplayView::ITxtWindow
{
public:
    CTextViewAdaptor_qt(CDisplayView::IWindow* host, QWidget* hostView, bool multiline);
    ~CTextViewAdaptor_qt() override;
    void SetRect(int32_t x, int32_t y, int32_t width, int32_t height,
                 CDisplayView::CItemSettings* settings) override;
    void SetLabel(const std::string& title, const std::string& unit) override;
    void SetText(const std::string& text) override;

    const TextFieldAutosizing* TitleField() const { return m_title.get(); }
    const TextFieldAutosizing& ValueField() const { return m_value; }

private:
    std::unique_ptr<TextFieldAutosizing> m_title; // none in a multi-line cell
    TextFieldAutosizing m_value;
};

// Calls the item's Pressed when its button is clicked.
class button_target_obj : public QObject
{
    Q_OBJECT

public:
    explicit button_target_obj(CDisplayView::CItemButton& item) : m_item(item) {}
    void onClick() { m_item.Pressed(); }

private:
    CDisplayView::CItemButton& m_item;
};

class CButtonViewAdaptor_qt : public CViewAdaptor_qt, public CDisplayView::CItemButton::IButtonWindow
{
public:
    CButtonViewAdaptor_qt(CDisplayView::IWindow* host, QWidget* hostView, CDisplayView::CItemButton& item);
    ~CButtonViewAdaptor_qt() override;
    void SetRect(int32_t x, int32_t y, int32_t width, int32_t height,
                 CDisplayView::CItemSettings* settings) override;
    void SetTitle(const std::string& text) override;
    // Tints the face (the logging button shows red or green).
    void SetColour(uint32_t colour) override;
    void SetImage(const QImage& image) override;
    void SetEnabled(bool enabled) override;

    QPushButton* Button() const { return qobject_cast<QPushButton*>(m_view.data()); }

private:
    QPointer<button_target_obj> m_target; // a child of the button
};

// A drawn cell's widget: calls the item's Draw on every repaint.
class CDrawAdaptor_qt;
class draw_view_obj : public FlippedView
{
    Q_OBJECT

public:
    draw_view_obj(QWidget* parent, CDrawAdaptor_qt& adaptor) : FlippedView(parent), m_adaptor(&adaptor) {}
    void DetachAdaptor() { m_adaptor = nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CDrawAdaptor_qt* m_adaptor;
};

class CDrawAdaptor_qt : public CViewAdaptor_qt
{
public:
    CDrawAdaptor_qt(CDisplayView::IWindow* host, QWidget* hostView, CDisplayView::CItemDraw& item);
    ~CDrawAdaptor_qt() override;
    CDisplayView::CItemDraw& Item() const { return m_item; }

private:
    CDisplayView::CItemDraw& m_item;
};

// An image by name: "<name>-Linux", else "<name>"; nothing drawn without one.
class CItemStaticImage_qt : public CViewAdaptor_qt, public CDisplayView::CItemStaticImage::IImageWindow
{
public:
    CItemStaticImage_qt(CDisplayView::IWindow* host, QWidget* hostView, const std::string& imageName);
    static QImage LoadPanelImage(const std::string& name);
};

// Makes the widgets above, as children of the host's widget. A host that is
// not a Qt adaptor with a widget gives no window.
class CQtPanelWindowFactory : public IPanelWindowFactory
{
public:
    CDisplayView::ITxtWindow* MakeTextWindow(CDisplayView::IWindow* host, CDisplayView::CItem& item,
                                             bool multiline) override;
    CDisplayView::CItemButton::IButtonWindow* MakeButtonWindow(CDisplayView::IWindow* host,
                                                               CDisplayView::CItemButton& item) override;
    CDisplayView::IWindow* MakeDrawWindow(CDisplayView::IWindow* host,
                                          CDisplayView::CItemDraw& item) override;
    CDisplayView::CItemStaticImage::IImageWindow* MakeImageWindow(CDisplayView::IWindow* host,
                                                                  CDisplayView::CItem& item,
                                                                  const std::string& imageName) override;
};
