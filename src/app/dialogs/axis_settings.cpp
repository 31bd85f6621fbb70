#include "app/dialogs/axis_settings.h"

#include "foundation/NumberText.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/settings/PersistantData.h"
#include "geodesy/LocalPlane.h"
#include "geodesy/Units.h"
#include "instruments/data/DataSpeedDirection.h"
#include "instruments/data/DataStartTimer.h"
#include "instruments/data/DataTrueWind.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "ui_dlg_Axis.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

namespace NAxisSettings {

namespace {

constexpr float kMinSpeed = 1.0f; // knots: slower, course and wind direction are noise

} // namespace

bool AxisFromText(const std::string& text, float current, float& axis)
{
    std::string t = text;
    t.erase(0, t.find_first_not_of(" \t"));
    t.erase(t.find_last_not_of(" \t") + 1);
    if (t.empty()) {
        axis = current;
        return true;
    }
    double value = 0;
    if (!ParseDouble(t, value))
        return false;
    const CUnits& units = CDefaultUnits::Get();
    // Typed in the mode the user reads; kept true.
    if (units.m_bearings == CUnits::kBearingsMagnetic && std::isfinite(units.m_variation))
        value += units.m_variation;
    axis = float(NormalizeDegrees360(value));
    return true;
}

CLiveBearings ReadLiveBearings()
{
    CLiveBearings live;
    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    if (own.m_sog > kMinSpeed && !IsUnknownAngle(own.m_cog))
        live.cog = own.m_cog;
    if (!IsUnknownAngle(own.GetHeading()))
        live.heading = own.GetHeading();
    const CDataTrueWind::Filter& wind = CDataTrueWind::Global().m_current;
    if (wind.speed > kMinSpeed && !IsUnknownAngle(wind.direction))
        live.wind = wind.direction;
    return live;
}

float GotoBearing()
{
    const CDataGotoMark& target = CMarkManager::Get().GetGoto();
    const float x = target.toTargetX, y = target.toTargetY;
    if (!target.target || !(x * x + y * y > 0.9f))
        return 999;
    return VectorToCourse(y, x);
}

} // namespace NAxisSettings

axis_settings::axis_settings(QWidget* parent)
    : UIViewControllerWithDialog(parent), m_ui(std::make_unique<Ui::axis_settings>())
{
    m_ui->setupUi(this);
    connect(m_ui->done, &QPushButton::clicked, this, &axis_settings::onDone);
    connect(m_ui->HeadingButton, &QPushButton::clicked, this, &axis_settings::onHeading);
    connect(m_ui->WindButton, &QPushButton::clicked, this, &axis_settings::onWind);
    connect(m_ui->COGButton, &QPushButton::clicked, this, &axis_settings::onCOG);
    connect(m_ui->GotoButton, &QPushButton::clicked, this, &axis_settings::onGoto);
    connect(m_ui->cancel, &QPushButton::clicked, this, &axis_settings::onCancel);
    viewDidLoad();
}

axis_settings::~axis_settings() = default;

namespace {

// Shows a live bearing and offers its button, or neither.
void ShowBearing(float bearing, QLabel* label, QPushButton* button)
{
    const bool known = !IsUnknownAngle(bearing);
    std::string text;
    if (known)
        CDefaultUnits::Get().FormatBearing(bearing, text);
    label->setText(QString::fromStdString(text));
    button->setEnabled(known);
}

} // namespace

void axis_settings::viewDidLoad()
{
    const CUnits& units = CDefaultUnits::Get();
    std::string axis;
    units.FormatBearingValue(CDataStartLine::Global().m_axis, axis);
    m_ui->axis->setText(QString::fromStdString(axis));
    m_ui->axis_units->setText(QString::fromUtf8(units.BearingSuffix()));
    m_goto = NAxisSettings::GotoBearing();
    ShowBearing(m_goto, m_ui->Goto, m_ui->GotoButton);
    onOneSecTimer();
    m_timer = std::make_unique<CTimer>(*this);
}

void axis_settings::onOneSecTimer()
{
    const NAxisSettings::CLiveBearings live = NAxisSettings::ReadLiveBearings();
    m_cog = live.cog;
    ShowBearing(m_cog, m_ui->COG, m_ui->COGButton);
    m_heading = live.heading;
    ShowBearing(m_heading, m_ui->Heading, m_ui->HeadingButton);
    m_wind = live.wind;
    ShowBearing(m_wind, m_ui->Wind, m_ui->WindButton);
}

void axis_settings::onDone()
{
    if (isDialogEnded())
        return;
    CDataStartLine& line = CDataStartLine::Global();
    float axis = line.m_axis;
    if (!NAxisSettings::AxisFromText(m_ui->axis->text().toStdString(), line.m_axis, axis)) {
        ShowOKMessage(this, "The axis must be a bearing in degrees, such as 090.", "Course Axis");
        return;
    }
    line.m_axis = axis;
    dispatch_and_destroy();
}

void axis_settings::UseBearing(float bearing)
{
    // A button is only enabled with a known bearing; a late click after the
    // value went away keeps the axis.
    if (isDialogEnded() || IsUnknownAngle(bearing))
        return;
    CDataStartLine::Global().m_axis = float(NormalizeDegrees360(bearing));
    dispatch_and_destroy();
}

void axis_settings::onHeading()
{
    UseBearing(m_heading);
}

void axis_settings::onWind()
{
    UseBearing(m_wind);
}

void axis_settings::onCOG()
{
    UseBearing(m_cog);
}

void axis_settings::onGoto()
{
    UseBearing(m_goto);
}

void axis_settings::dispatch_and_destroy()
{
    FireEvent<CDataStartLine>(CDataStartLine::Global());
    CDataStartLine::Settings().SetModified();
    PersistantData::SaveAll();
    End(0);
}

void axis_settings::onCancel()
{
    if (!isDialogEnded())
        End(-1);
}

void axis_settings::End(int32_t code)
{
    // Nothing may reach the dialog once it has ended.
    m_timer.reset();
    destroyDialog(code);
}

void show_axis_settings(UIViewControllerWithDialog* parent)
{
    auto* dialog = new axis_settings();
    dialog->showInParent(parent);
}
