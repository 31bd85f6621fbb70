#include "app/dialogs/edit_syncable.h"

#include "app/dialogs/ExportFolder.h"
#include "foundation/dialogs/FilePanel.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/util/ChangeSetters.h"
#include "foundation/util/TimeText.h"
#include "geodesy/Polygon.h"
#include "geodesy/Units.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/Syncable.h"
#include "ui_edit_syncable.h"

#include <QColorDialog>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdlib>

// -- ColorWell --

ColorWell::ColorWell(QWidget* parent) : QToolButton(parent)
{
    setIconSize(QSize(36, 14));
    setColor(m_color);
    connect(this, &QToolButton::clicked, this, &ColorWell::openPanel);
}

void ColorWell::setColor(const QColor& color)
{
    m_color = color;
    QPixmap swatch(iconSize());
    swatch.fill(color);
    setIcon(QIcon(swatch));
}

void ColorWell::openPanel()
{
    if (m_panel) {
        m_panel->raise();
        return;
    }
    auto* panel = new QColorDialog(m_color, this);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QColorDialog::colorSelected, this, [this](const QColor& color) {
        setColor(color);
        emit colorPicked(color);
    });
    m_panel = panel;
    panel->open();
}

// -- the decisions --

namespace NEditDialogs {

namespace {
constexpr float kWidths[4] = {1.0f, 2.0f, 4.0f, 10.0f};
}

int WidthItem(double width)
{
    if (width < 1.5)
        return 0;
    if (width < 3.0)
        return 1;
    return width < 7.0 ? 2 : 3;
}

float WidthOfItem(int item)
{
    return kWidths[std::clamp(item, 0, 3)];
}

int TransparencyItem(double alpha)
{
    if (alpha >= 0.9)
        return 0;
    if (alpha >= 0.6)
        return 1;
    return alpha >= 0.3 ? 2 : 3;
}

double AlphaOfItem(int item)
{
    return std::max(0.125, 1.0 - 0.25 * std::clamp(item, 0, 3));
}

std::string DateText(double seconds_since_1970)
{
    const std::string date = FormatRelativeDate(seconds_since_1970);
    if (seconds_since_1970 == 0 || !std::isfinite(seconds_since_1970) || std::fabs(seconds_since_1970) > 1e15)
        return date;
    std::string clock;
    CUnits::FormatClockTime12(time_t(seconds_since_1970), clock);
    return date + " " + clock;
}

std::string RadiusText(float metres)
{
    return QString::number(double(metres), 'g', 9).toStdString();
}

bool ReadRadius(const std::string& text, float& metres)
{
    const QString trimmed = QString::fromStdString(text).trimmed();
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > 1e9)
        return false;
    metres = float(value);
    return true;
}

} // namespace NEditDialogs

// -- edit_syncable --

edit_syncable::edit_syncable(const std::string& title) : m_ui(std::make_unique<Ui::edit_syncable>())
{
    m_ui->setupUi(this);
    setWindowTitle(QString::fromStdString(title));
    connect(m_ui->done, &QPushButton::clicked, this, &edit_syncable::onDone);
    connect(m_ui->cancel, &QPushButton::clicked, this, &edit_syncable::onCancel);
    connect(m_ui->delete_object, &QPushButton::clicked, this, &edit_syncable::onDelete);
    connect(m_ui->view, &QPushButton::clicked, this, &edit_syncable::onView);
    connect(m_ui->share, &QPushButton::clicked, this, &edit_syncable::onShare);
}

edit_syncable::~edit_syncable() = default;

QWidget* edit_syncable::specific_frame() const
{
    return m_ui->specific_frame;
}

void edit_syncable::setUp(QWidget* pane, bool managed)
{
    // The frame's layout keeps the pane fitted to it.
    auto* layout = new QVBoxLayout(m_ui->specific_frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pane);
    // A copy in no manager cannot be deleted, shown on the chart or shared.
    m_ui->delete_object->setEnabled(managed);
    m_ui->view->setEnabled(managed);
    m_ui->share->setEnabled(managed);
    viewDidLoad();
    m_timer = std::make_unique<CTimer>(*this);
}

void edit_syncable::viewDidLoad()
{
    const CSyncable* object = Object();
    if (!object)
        return;
    m_ui->edit_name->setText(QString::fromStdString(object->GetName()));
    m_ui->edit_comment->setPlainText(QString::fromStdString(object->GetDescription()));
    m_ui->edit_category->setText(QString::fromStdString(object->GetCategory()));
    m_ui->check_visible->setChecked(object->GetVisibleFlag());
    m_ui->check_syncable->setChecked(!object->IsDoNotSync());
    m_ui->check_locked->setChecked(object->IsLocked());
    m_ui->modified->setText(QString::fromStdString(NEditDialogs::DateText(object->GetModified())));
    m_ui->created->setText(QString::fromStdString(NEditDialogs::DateText(object->GetCreated())));
}

bool edit_syncable::writeBase(CSyncable& object)
{
    bool changed = false;
    if (object.GetVisibleFlag() != m_ui->check_visible->isChecked()) {
        object.SetVisible(m_ui->check_visible->isChecked());
        changed = true;
    }
    if (object.IsDoNotSync() != !m_ui->check_syncable->isChecked()) {
        object.SetDoNotSync(!m_ui->check_syncable->isChecked());
        changed = true;
    }
    if (object.IsLocked() != m_ui->check_locked->isChecked()) {
        object.SetLocked(m_ui->check_locked->isChecked());
        changed = true;
    }
    std::string text = object.GetName();
    if (SetStringIfChanged(text, m_ui->edit_name->text().toStdString())) {
        object.SetName(text);
        changed = true;
    }
    text = object.GetDescription();
    if (SetStringIfChanged(text, m_ui->edit_comment->toPlainText().toStdString())) {
        object.SetDescription(text);
        changed = true;
    }
    text = object.GetCategory();
    if (SetStringIfChanged(text, m_ui->edit_category->text().toStdString())) {
        object.SetCategory(text);
        changed = true;
    }
    return changed;
}

bool edit_syncable::saveChanges()
{
    if (isDialogEnded())
        return false;
    CSyncable* object = Object();
    if (!object) {
        destroyDialog(-1);
        return false;
    }
    std::string message;
    if (!ValidatePane(message)) {
        ShowOKMessage(this, message, Kind());
        return false;
    }
    m_changed |= writeBase(*object);
    m_changed |= WritePane(*object);
    if (m_changed) {
        object->Touch();
        Publish(*object);
    }
    return true;
}

void edit_syncable::onDone()
{
    if (saveChanges())
        destroyDialog(0);
}

void edit_syncable::onDelete()
{
    if (isDialogEnded())
        return;
    if (CSyncable* object = Object()) {
        DeleteObject(*object);
        destroyDialog(0);
    } else {
        destroyDialog(-1);
    }
}

void edit_syncable::onView()
{
    if (!saveChanges())
        return;
    CBoundingBox box;
    const CSyncable* object = Object();
    const bool placed = object && object->ExtendBounds(box) && !box.IsEmpty();
    destroyDialog(0);
    if (placed)
        CRasterleafView::ShowArea(box.minX, box.maxX, box.minY, box.maxY);
}

void edit_syncable::onShare()
{
    if (!saveChanges())
        return;
    const CSyncable* object = Object();
    if (!object)
        return;
    const uint64_t serial = object->GetSerial();
    std::string name = object->GetName().empty() ? Kind() : object->GetName();
    std::replace(name.begin(), name.end(), '/', '_');
    QPointer<edit_syncable> self(this);
    const std::string title = "Share " + Kind();
    const std::string proposed = ProposedExportPath(name + ".gpx");
    ExportFileAs(this, title, proposed, [self, serial, title](const std::string& path) {
        // The panel may outlive the dialog; the object is looked up again.
        CSyncable* shared = self && !self->isDialogEnded() ? self->Object() : nullptr;
        if (!shared || shared->GetSerial() != serial) {
            ShowOKMessage(nullptr, "The object was deleted before it could be shared.", title);
            return false;
        }
        if (SaveAsGPXFile(*shared, path)) {
            RememberExportFolder(path);
            return true;
        }
        ShowOKMessage(self, "The file could not be written: " + path, title);
        return false;
    });
}

void edit_syncable::onCancel()
{
    destroyDialog(-1);
}

void edit_syncable::Notify(const COverlayObject& event)
{
    // Deletions are checked once the delivery is over, never inside it.
    if (event.GetState() != COverlayObject::kDeleted || m_checkQueued || isDialogEnded())
        return;
    m_checkQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_checkQueued = false;
        CloseIfGone();
    });
}

void edit_syncable::CloseIfGone()
{
    // The timer goes with the dialog; an ended dialog's ticks do nothing.
    if (!isDialogEnded() && !Object())
        destroyDialog(-1);
}

UIViewControllerWithDialog* EditDialogParent(QWidget* parent, UIViewControllerWithDialog* fallback)
{
    auto* dialog = qobject_cast<UIViewControllerWithDialog*>(parent);
    if (!dialog || dialog->isDialogEnded())
        dialog = fallback;
    while (dialog && dialog->child_dialog() && !dialog->child_dialog()->isDialogEnded())
        dialog = dialog->child_dialog();
    return dialog;
}
