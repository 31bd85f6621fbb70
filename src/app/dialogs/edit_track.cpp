#include "app/dialogs/edit_track.h"

#include "geodesy/Units.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "overlays/ui/ActionMenus.h"
#include "ui_edit_track.h"

// -- edit_track_specific --

edit_track_specific::edit_track_specific(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::edit_track>())
{
    m_ui->setupUi(this);
    m_rows.Attach(m_ui->color, m_ui->width, m_ui->style, m_ui->transparency);
}

edit_track_specific::~edit_track_specific() = default;

void edit_track_specific::init_with_track(COverlayTrack& track)
{
    const CUnits& units = CDefaultUnits::Get();
    track.EnsureStatistics();
    const double distance = track.CachedDistance(); // metres
    const double maxSpeed = track.CachedMaxSpeed(); // metres per second
    // The recorded track's moving time runs on to the latest fix.
    const double moving = track.MovingTime();
    std::string text;
    units.FormatDistance(float(distance), text);
    m_ui->distance->setText(QString::fromStdString(text));
    CUnits::FormatDuration(track.ElapsedTime(), text);
    m_ui->elapsed->setText(QString::fromStdString(text));
    CUnits::FormatDuration(moving, text);
    m_ui->moving->setText(QString::fromStdString(text));
    text.clear();
    if (moving > 0)
        units.FormatSpeed(float(distance / moving / COverlayTrack::kKnotsToMetresPerSecond), text);
    m_ui->average_speed->setText(QString::fromStdString(text));
    units.FormatSpeed(float(maxSpeed / COverlayTrack::kKnotsToMetresPerSecond), text);
    m_ui->max_speed->setText(QString::fromStdString(text));
    m_rows.Load(track.GetLineStyle());
}

bool edit_track_specific::onDone(COverlayTrack& track)
{
    return m_rows.Write(track.GetLineStyle());
}

// -- edit_track --

edit_track::edit_track(COverlayTrack& track)
    : edit_syncable("Edit Track"), m_serial(track.GetSerial()), m_pane(new edit_track_specific())
{
    m_pane->init_with_track(track);
    setUp(m_pane, true);
}

CSyncable* edit_track::Object() const
{
    return FindTrackBySerial(m_serial);
}

bool edit_track::WritePane(CSyncable& object)
{
    return m_pane->onDone(static_cast<COverlayTrack&>(object));
}

void edit_track::Publish(CSyncable& object)
{
    static_cast<COverlayTrack&>(object).NotifySections(COverlayObject::kUpdated);
}

void edit_track::DeleteObject(CSyncable& object)
{
    CTrackManager::Get().DeleteTrack(static_cast<COverlayTrack*>(&object));
}

void show_edit_track(COverlayTrack* track, UIViewControllerWithDialog* parent)
{
    if (!track || track->IsDeleted())
        return;
    auto* dialog = new edit_track(*track);
    dialog->showInParent(parent);
}
