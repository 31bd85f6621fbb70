#include "app/settings/preferences.h"

#include "foundation/events/Listener.h"
#include "foundation/settings/PersistantData.h"
#include "geodesy/Units.h"
#include "mapview/view/RasterleafView.h"
#include "ui_preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

namespace {

// The unit system the distance unit belongs to: metres go with metric, feet
// and yards with statute.
int UnitSystemOf(const CUnits& units)
{
    switch (units.m_distanceUnit) {
    case CUnits::kNauticalMiles:
        return CUnits::kNautical;
    case CUnits::kKilometres:
    case CUnits::kMetres:
        return CUnits::kMetric;
    default:
        return CUnits::kStatute;
    }
}

} // namespace

preferences::preferences(QWidget* parent)
    : UIViewControllerWithDialog(parent), m_ui(std::make_unique<Ui::preferences>())
{
    m_ui->setupUi(this);
    connect(m_ui->done, &QPushButton::clicked, this, &preferences::onDone);
    connect(m_ui->cancel, &QPushButton::clicked, this, &preferences::onCancel);
    viewDidLoad();
}

preferences::~preferences() = default;

void preferences::viewDidLoad()
{
    const CUnits& units = CDefaultUnits::Get();
    for (const char* name : kUnitSystems)
        m_ui->popup_units->addItem(name);
    m_ui->popup_units->setCurrentIndex(UnitSystemOf(units));
    for (const char* name : kBearingModes)
        m_ui->popup_bearings->addItem(name);
    m_ui->popup_bearings->setCurrentIndex(units.m_bearings == CUnits::kBearingsMagnetic ? 1 : 0);
    const std::string& current = units.PositionFormat().Name();
    for (auto* format = CUnits::PositionFormatType::First(); format; format = format->Next()) {
        m_ui->popup_position_format->addItem(QString::fromStdString(format->Name()));
        if (format->Name() == current)
            m_ui->popup_position_format->setCurrentIndex(m_ui->popup_position_format->count() - 1);
    }
    const CRasterleafView::Settings& view = CRasterleafView::GetSettings();
    m_ui->check_change_scale->setChecked(view.changeScaleByZooming);
    m_ui->check_use_magic_mouse->setChecked(view.useMagicMouse);
}

void preferences::onDone()
{
    if (isDialogEnded())
        return;
    CRasterleafView::Settings& view = CRasterleafView::GetSettings();
    view.changeScaleByZooming = m_ui->check_change_scale->isChecked();
    view.useMagicMouse = m_ui->check_use_magic_mouse->isChecked();

    CDefaultUnits& units = CDefaultUnits::Get();
    units.m_bearings =
        m_ui->popup_bearings->currentIndex() == 1 ? CUnits::kBearingsMagnetic : CUnits::kBearingsTrue;
    // The variation is computed again at the next fix; recomputing here would
    // tell the listeners a second time.
    units.m_variationLatitude = 999;
    units.m_variationLongitude = 999;
    if (m_ui->popup_units->currentIndex() >= 0)
        units.SetUnitSystem(uint32_t(m_ui->popup_units->currentIndex()));
    const std::string chosen = m_ui->popup_position_format->currentText().toStdString();
    for (auto* format = CUnits::PositionFormatType::First(); format; format = format->Next())
        if (format->Name() == chosen) {
            units.SetPositionFormat(*format);
            break;
        }

    view.SetModified();
    PersistantData::SaveAll();
    CDefaultUnits::Settings().SetModified();
    PersistantData::SaveAll();
    FireEvent<CUnits>(units);
    destroyDialog(0);
}

void preferences::onCancel()
{
    if (!isDialogEnded())
        destroyDialog(-1);
}
