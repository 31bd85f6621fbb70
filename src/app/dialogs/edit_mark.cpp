#include "app/dialogs/edit_mark.h"

#include "foundation/settings/PersistantData.h"
#include "geodesy/Units.h"
#include "overlays/model/MarkIcons.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayNames.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/ui/ActionMenus.h"
#include "ui_edit_mark.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>

namespace {

std::string Trimmed(const QString& text)
{
    return text.trimmed().toStdString();
}

QIcon SymbolIcon(const std::string& name, const GraphicsColor& colour)
{
    const QImage& image = GetMarkIcon(name, colour).image;
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

} // namespace

// -- edit_mark_specific --

edit_mark_specific::edit_mark_specific(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::edit_mark>())
{
    m_ui->setupUi(this);
    connect(m_ui->color, &ColorWell::colorPicked, this, [this] { didSelectColor(); });
    connect(m_ui->symbol_popup, &QComboBox::currentIndexChanged, this, [this] { didSelectIcon(); });
    connect(m_ui->alarm, &QCheckBox::toggled, this, [this] { onCheckedAlarm(); });
}

edit_mark_specific::~edit_mark_specific() = default;

void edit_mark_specific::init_with_mark(const COverlayMark& mark, edit_mark* hwnd)
{
    (void)hwnd;
    m_routePoint = mark.IsRoutePoint();
    m_shownPosition.clear();
    if (mark.HasPosition())
        CDefaultUnits::Get().FormatPosition(m_shownPosition, mark.GetLatitude(), mark.GetLongitude());
    m_ui->position->setText(QString::fromStdString(m_shownPosition));
    m_shownPosition = Trimmed(m_ui->position->text());
    m_ui->link->setText(QString::fromStdString(mark.GetLink()));
    const GraphicsColor opaque = mark.GetColour().SetAlpha(1.0);
    m_ui->color->setColor(opaque.ToQColor());

    QSignalBlocker block(m_ui->symbol_popup);
    m_ui->symbol_popup->clear();
    const std::string symbol = NormaliseIconName(mark.GetIcon());
    for (const std::string& name : GetMarkIconNames()) {
        if (NormaliseIconName(name) == symbol)
            m_shownSymbol = m_ui->symbol_popup->count();
        m_ui->symbol_popup->addItem(SymbolIcon(name, opaque), QString::fromStdString(name));
    }
    if (m_shownSymbol < 0) {
        // A symbol from a file or another device stays what it is unless
        // the user picks another.
        m_shownSymbol = m_ui->symbol_popup->count();
        m_ui->symbol_popup->addItem(SymbolIcon(symbol, opaque), QString::fromStdString(mark.GetIcon()));
    }
    m_ui->symbol_popup->setCurrentIndex(m_shownSymbol);
    didSelectIcon();

    m_shownAlarm = mark.GetOuterRadius() > 0;
    m_shownAnchor = NEditDialogs::RadiusText(mark.GetInnerRadius());
    m_shownProximity = NEditDialogs::RadiusText(mark.GetOuterRadius());
    m_ui->anchor->setText(QString::fromStdString(m_shownAnchor));
    m_ui->proximity->setText(QString::fromStdString(m_shownProximity));
    m_ui->alarm->setChecked(m_shownAlarm);
    onCheckedAlarm();
}

std::string edit_mark_specific::SelectedSymbol() const
{
    return m_ui->symbol_popup->currentText().toStdString();
}

void edit_mark_specific::setupIsDefault()
{
    const CMarkManager::Persistant& settings = CMarkManager::Settings();
    const std::string& wanted = m_routePoint ? settings.defaultWpIcon : settings.defaultMarkIcon;
    m_ui->is_default->setChecked(NormaliseIconName(SelectedSymbol()) == NormaliseIconName(wanted));
}

void edit_mark_specific::didSelectIcon()
{
    const GraphicsColor colour = GraphicsColor::FromQColor(m_ui->color->color());
    const QImage& image = GetMarkIcon(NormaliseIconName(SelectedSymbol()), colour).image;
    m_ui->icon_preview->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
    setupIsDefault();
}

void edit_mark_specific::didSelectColor()
{
    m_colorPicked = true;
    didSelectIcon();
}

void edit_mark_specific::onCheckedAlarm()
{
    const bool on = m_ui->alarm->isChecked();
    for (QWidget* item : {static_cast<QWidget*>(m_ui->anchor), static_cast<QWidget*>(m_ui->proximity),
                          static_cast<QWidget*>(m_ui->alarm_lab1), static_cast<QWidget*>(m_ui->alarm_lab2),
                          static_cast<QWidget*>(m_ui->alarm_lab3), static_cast<QWidget*>(m_ui->alarm_lab4)})
        item->setVisible(on);
}

bool edit_mark_specific::ReadRadii(float& inner, float& outer) const
{
    inner = outer = 0;
    if (!m_ui->alarm->isChecked())
        return true;
    float anchor = 0, proximity = 0;
    if (!NEditDialogs::ReadRadius(m_ui->anchor->text().toStdString(), anchor) ||
        !NEditDialogs::ReadRadius(m_ui->proximity->text().toStdString(), proximity))
        return false;
    inner = anchor;
    // An anchor alarm alone still gets an outer ring, 2 km beyond it.
    outer = anchor != 0 && proximity == 0 ? anchor + 2000.0f : proximity;
    return true;
}

bool edit_mark_specific::validate(std::string& message) const
{
    const std::string position = Trimmed(m_ui->position->text());
    double latitude = 0, longitude = 0;
    if (position != m_shownPosition && !CDefaultUnits::Get().ParsePosition(position, latitude, longitude)) {
        message = "The position \"" + position + "\" could not be read in the position format " +
                  CDefaultUnits::Get().PositionFormat().Name() + ".";
        return false;
    }
    float inner = 0, outer = 0;
    if (!ReadRadii(inner, outer)) {
        message = "The alarm radii must be numbers of metres, 0 or more.";
        return false;
    }
    return true;
}

bool edit_mark_specific::onDone(COverlayMark& mark)
{
    bool changed = false;
    const std::string position = Trimmed(m_ui->position->text());
    double latitude = 0, longitude = 0;
    if (position != m_shownPosition && CDefaultUnits::Get().ParsePosition(position, latitude, longitude) &&
        (latitude != mark.GetLatitude() || longitude != mark.GetLongitude())) {
        mark.SetPosition(latitude, longitude);
        changed = true;
    }
    const std::string link = m_ui->link->text().toStdString();
    if (link != mark.GetLink()) {
        mark.SetLink(link);
        changed = true;
    }
    GraphicsColor colour = mark.GetColour();
    if (m_colorPicked)
        colour = GraphicsColor::FromQColor(m_ui->color->color());
    std::string symbol = mark.GetIcon();
    if (m_ui->symbol_popup->currentIndex() != m_shownSymbol)
        symbol = SelectedSymbol();
    if (!(colour == mark.GetColour()) || NormaliseIconName(symbol) != mark.GetIcon()) {
        // Drops the cached image too, so that it is drawn anew.
        mark.SetIconAndColour(symbol, colour);
        changed = true;
    }
    if (m_ui->is_default->isChecked()) {
        CMarkManager::Persistant& settings = CMarkManager::Settings();
        (m_routePoint ? settings.defaultWpIcon : settings.defaultMarkIcon) = SelectedSymbol();
        (m_routePoint ? settings.defaultWpColor : settings.defaultMarkColor) = mark.GetColour();
        settings.SetModified();
        PersistantData::SaveAll();
    }
    const bool radiiEdited = m_ui->alarm->isChecked() != m_shownAlarm ||
                             Trimmed(m_ui->anchor->text()) != m_shownAnchor ||
                             Trimmed(m_ui->proximity->text()) != m_shownProximity;
    float inner = 0, outer = 0;
    if (radiiEdited && ReadRadii(inner, outer) &&
        (inner != mark.GetInnerRadius() || outer != mark.GetOuterRadius())) {
        mark.SetRadii(inner, outer);
        changed = true;
    }
    return changed;
}

// -- edit_mark --

edit_mark::edit_mark(COverlayMark& mark)
    : edit_syncable(mark.IsRoutePoint() ? "Edit Waypoint" : "Edit Mark"), m_serial(mark.GetSerial()),
      m_held(FindMarkBySerial(mark.GetSerial()) == &mark ? nullptr : &mark), m_pane(new edit_mark_specific())
{
    m_pane->init_with_mark(mark, this);
    setUp(m_pane, m_held == nullptr);
}

COverlayMark* edit_mark::Mark() const
{
    return m_held ? m_held : FindMarkBySerial(m_serial);
}

CSyncable* edit_mark::Object() const
{
    return Mark();
}

bool edit_mark::ValidatePane(std::string& message)
{
    return m_pane->validate(message);
}

bool edit_mark::WritePane(CSyncable& object)
{
    return m_pane->onDone(static_cast<COverlayMark&>(object));
}

void edit_mark::Publish(CSyncable& object)
{
    auto& mark = static_cast<COverlayMark&>(object);
    if (m_held)
        return; // the caller's copy: nothing shows it
    mark.SetState(COverlayObject::kChanged);
    if (COverlayRoute* route = mark.GetRoute()) {
        route->Touch();
        route->NotifyChanged(COverlayObject::kChanged);
    }
}

void edit_mark::DeleteObject(CSyncable& object)
{
    CMarkManager::Get().DeleteMark(static_cast<COverlayMark*>(&object));
}

void show_edit_mark(COverlayMark* mark, UIViewControllerWithDialog* parent)
{
    if (!mark || mark->IsDeleted())
        return;
    auto* dialog = new edit_mark(*mark);
    dialog->showInParent(parent);
}
