#include "app/dialogs/edit_route.h"

#include "geodesy/Units.h"
#include "overlays/model/LineStyle.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/ui/ActionMenus.h"
#include "ui_edit_route.h"

#include <QComboBox>

// -- CLineStyleRows --

void CLineStyleRows::Attach(ColorWell* color, QComboBox* width, QComboBox* style, QComboBox* transparency)
{
    m_color = color;
    m_width = width;
    m_style = style;
    m_transparency = transparency;
    QObject::connect(color, &ColorWell::colorPicked, color, [this] { didSelectColor(); });
}

void CLineStyleRows::Load(const CLineStyle& line)
{
    m_color->setColor(line.colour.SetAlpha(1.0).ToQColor());
    m_widthItem = NEditDialogs::WidthItem(line.width);
    m_width->setCurrentIndex(m_widthItem);
    m_styleItem = line.pattern < uint32_t(m_style->count()) ? int(line.pattern) : -1;
    m_style->setCurrentIndex(m_styleItem);
    double r = 0, g = 0, b = 0, a = 1;
    line.colour.GetComponents(r, g, b, a);
    m_transparency->setCurrentIndex(NEditDialogs::TransparencyItem(a));
}

bool CLineStyleRows::Write(CLineStyle& line) const
{
    bool changed = false;
    if (m_colorPicked) {
        const QColor picked = m_color->color();
        const GraphicsColor colour(picked.redF(), picked.greenF(), picked.blueF(),
                                   NEditDialogs::AlphaOfItem(m_transparency->currentIndex()));
        changed |= SetValueIfChanged(line.colour, colour);
    }
    if (m_style->currentIndex() >= 0 && m_style->currentIndex() != m_styleItem)
        changed |= SetValueIfChanged(line.pattern, uint32_t(m_style->currentIndex()));
    if (m_width->currentIndex() >= 0 && m_width->currentIndex() != m_widthItem)
        changed |= SetFloatIfChanged(line.width, NEditDialogs::WidthOfItem(m_width->currentIndex()));
    return changed;
}

// -- edit_route_specific --

edit_route_specific::edit_route_specific(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::edit_route>())
{
    m_ui->setupUi(this);
    m_rows.Attach(m_ui->color, m_ui->width, m_ui->style, m_ui->transparency);
}

edit_route_specific::~edit_route_specific() = default;

void edit_route_specific::init_with_route(const COverlayRoute& route)
{
    std::string distance;
    CDefaultUnits::Get().FormatDistance(float(route.TotalDistance()), distance);
    m_ui->distance->setText(QString::fromStdString(distance));
    m_rows.Load(route.GetLineStyle());
}

bool edit_route_specific::onDone(COverlayRoute& route)
{
    return m_rows.Write(route.GetLineStyle());
}

// -- edit_route --

edit_route::edit_route(COverlayRoute& route)
    : edit_syncable("Edit Route"), m_serial(route.GetSerial()), m_pane(new edit_route_specific())
{
    m_pane->init_with_route(route);
    setUp(m_pane, true);
}

CSyncable* edit_route::Object() const
{
    return FindRouteBySerial(m_serial);
}

bool edit_route::WritePane(CSyncable& object)
{
    return m_pane->onDone(static_cast<COverlayRoute&>(object));
}

void edit_route::Publish(CSyncable& object)
{
    static_cast<COverlayRoute&>(object).NotifyChanged(COverlayObject::kUpdated);
}

void edit_route::DeleteObject(CSyncable& object)
{
    CMarkManager::Get().DeleteRoute(static_cast<COverlayRoute*>(&object));
}

void show_edit_route(COverlayRoute* route, UIViewControllerWithDialog* parent)
{
    if (!route || route->IsDeleted())
        return;
    auto* dialog = new edit_route(*route);
    dialog->showInParent(parent);
}
