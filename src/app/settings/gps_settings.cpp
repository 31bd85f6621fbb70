#include "app/settings/gps_settings.h"

#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/DialogPorts.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/DataConnection.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/connections/NMEASimulation.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "mapview/ownship/OverlayMovingTarget.h"
#include "ui_gps_settings.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <filesystem>

namespace {

// The own ship's settings object (saved as "COverlayGPSPosition").
void MarkOwnShipSettingsModified()
{
    for (PersistantData* data = PersistantData::First(); data; data = data->Next())
        if (data->GetName() == "COverlayGPSPosition")
            data->SetModified();
}

} // namespace

gps_settings::gps_settings(QWidget* parent)
    : UIViewControllerWithDialog(parent), m_ui(std::make_unique<Ui::gps_settings>())
{
    m_ui->setupUi(this);
    connect(m_ui->done, &QPushButton::clicked, this, &gps_settings::onDone);
    connect(m_ui->cancel, &QPushButton::clicked, this, &gps_settings::onCancel);
    connect(m_ui->color_square, &QPushButton::clicked, this, &gps_settings::onColorSquare);
    // Only the user's choices act, never the filling of the popups.
    connect(m_ui->connection_popup, &QComboBox::activated, this,
            [this](int index) { onSelectedConnectionType(m_ui->connection_popup->itemText(index)); });
    connect(m_ui->vector_popup, &QComboBox::activated, this, &gps_settings::onSelectedVectorTime);
    viewDidLoad();
}

gps_settings::~gps_settings()
{
    Detach();
}

int gps_settings::VectorTagFor(bool showVector, float minutes)
{
    if (!showVector)
        return 0;
    for (int tag : {60, 30, 20, 10, 5, 1})
        if (minutes >= tag - 0.01f)
            return tag;
    return 0;
}

std::string gps_settings::StatusText(const CDataConnection* connection, bool settingUp, bool delivers)
{
    if (!connection || connection->m_typeId == kConnectionNone || settingUp)
        return "Not connected";
    // The connection states only its failures: a working one says so here.
    if (!connection->m_statusText.empty())
        return connection->m_statusText;
    return delivers ? "Receiving position fixes" : "Connected, waiting for a position fix";
}

void gps_settings::Notify(const CDataGPSPosition& fix)
{
    // Only the connection in use is read, so the fix is its own.
    if (fix.m_fixStatus != CDataGPSPosition::kNoFix)
        m_fixFrom = GetGPSConnection();
}

bool gps_settings::Delivers(const CDataConnection* connection) const
{
    return connection && connection == m_fixFrom &&
           COverlayGPSPosition::Global().m_fixStatus != CDataGPSPosition::kNoFix;
}

void gps_settings::ShowStatus(const CDataConnection* connection)
{
    if (connection != m_seen) {
        m_seen = connection;
        m_fixFrom = nullptr;
    }
    std::string text = StatusText(connection, m_settingUp, Delivers(connection));
    // The simulation's file is named where it is chosen.
    if (connection && !m_settingUp && connection->m_simulated &&
        !CNMEASimulation::Settings().filename.empty())
        text += " (" + std::filesystem::path(CNMEASimulation::Settings().filename).filename().string() + ")";
    m_ui->status_label->setText(QString::fromStdString(text));
}

void gps_settings::viewDidLoad()
{
    CDataConnection* connection = GetGPSConnection();
    // A fix the own ship holds now came from the connection in use.
    m_seen = connection;
    if (COverlayGPSPosition::Global().m_fixStatus != CDataGPSPosition::kNoFix)
        m_fixFrom = connection;
    ShowStatus(connection);
    const int32_t current =
        connection ? connection->m_typeId : CDataConnection::Settings().gps_connection_type;
    for (CConnectionType* type = CConnectionType::First(); type; type = type->m_next) {
        m_ui->connection_popup->addItem(QString::fromUtf8(type->m_name));
        if (type->m_id == current)
            m_ui->connection_popup->setCurrentIndex(m_ui->connection_popup->count() - 1);
    }
    const CMovingTargetSettings& settings = CMovingTargetSettings::Global();
    for (int tag : kVectorTags)
        m_ui->vector_popup->addItem(tag == 0   ? QString("Off")
                                    : tag == 1 ? QString("1 minute")
                                               : QString("%1 minutes").arg(tag),
                                    tag);
    m_ui->vector_popup->setCurrentIndex(
        m_ui->vector_popup->findData(VectorTagFor(settings.showVector, settings.vectorScale)));
    double alpha = 1;
    settings.ownColour.GetComponents(m_colour[0], m_colour[1], m_colour[2], alpha);
    ShowColour();
    m_timer = std::make_unique<CTimer>(*this);
}

void gps_settings::ShowColour()
{
    const QColor colour = QColor::fromRgbF(float(m_colour[0]), float(m_colour[1]), float(m_colour[2]));
    m_ui->color_square->setStyleSheet(
        QString("QPushButton { background: %1; border: 1px solid gray; min-width: 48px; min-height: 18px; }")
            .arg(colour.name()));
}

void gps_settings::onSelectedConnectionType(const QString& title)
{
    if (isDialogEnded())
        return;
    const std::string name = title.toStdString();
    for (CConnectionType* type = CConnectionType::First(); type; type = type->m_next)
        if (name == type->m_name) {
            SetConnectionDialogParent(this);
            // Until the set-up ends (the connection is open, or the old one
            // is back) no connection is in use; the fixes still held are
            // the old one's.
            m_settingUp = true;
            m_fixFrom = nullptr;
            QPointer<gps_settings> self(this);
            CCallback storage;
            PushProgressCallback(storage, CCallback([self](int32_t code) {
                                     if (self) {
                                         self->m_settingUp = false;
                                         self->ShowStatus(GetGPSConnection());
                                     }
                                     return code;
                                 }));
            on_select_connection_type(*type);
            ShowStatus(GetGPSConnection());
            RunDialogCallbacksUntil(storage);
            return;
        }
}

void gps_settings::onSelectedVectorTime(int index)
{
    if (isDialogEnded() || index < 0)
        return;
    m_vectorTag = m_ui->vector_popup->itemData(index).toInt();
}

void gps_settings::onColorSquare()
{
    if (isDialogEnded())
        return;
    CColourPanelRequest request;
    request.parent = this;
    request.title = "Own Ship Colour";
    request.red = m_colour[0];
    request.green = m_colour[1];
    request.blue = m_colour[2];
    // The panel may answer after the dialog is gone.
    QPointer<gps_settings> self(this);
    DialogPresenter().ShowColourPanel(request, [self](bool chosen, double red, double green, double blue) {
        if (chosen && self && !self->isDialogEnded())
            self->didSelectColor(red, green, blue);
    });
}

void gps_settings::didSelectColor(double red, double green, double blue)
{
    m_colour[0] = red;
    m_colour[1] = green;
    m_colour[2] = blue;
    m_colourPicked = true;
    ShowColour();
}

void gps_settings::onOneSecTimer()
{
    CDataConnection* connection = GetGPSConnection();
    ShowStatus(connection);
    if (!connection)
        return;
    // A set-up that was cancelled leaves another type than the one chosen.
    const CConnectionType* type = CConnectionType::Find(connection->m_typeId);
    const int index = type ? m_ui->connection_popup->findText(QString::fromUtf8(type->m_name)) : -1;
    if (index >= 0 && index != m_ui->connection_popup->currentIndex())
        m_ui->connection_popup->setCurrentIndex(index);
}

void gps_settings::onDone()
{
    if (isDialogEnded())
        return;
    // Cancel leaves the vector as it was: the choice is applied here.
    if (m_vectorTag >= 0) {
        CMovingTargetSettings& settings = CMovingTargetSettings::Global();
        settings.showVector = m_vectorTag != 0;
        if (m_vectorTag != 0)
            settings.vectorScale = float(m_vectorTag);
    }
    if (m_colourPicked) {
        CMovingTargetSettings::Global().ownColour = GraphicsColor(m_colour[0], m_colour[1], m_colour[2], 1.0);
        COverlayGPSPosition::Global().LoadIcons();
    }
    MarkOwnShipSettingsModified();
    PersistantData::SaveAll();
    End(0);
}

void gps_settings::onCancel()
{
    if (!isDialogEnded())
        End(-1);
}

void gps_settings::Detach()
{
    m_timer.reset();
    if (GetConnectionDialogParent() == this)
        SetConnectionDialogParent(nullptr);
}

void gps_settings::End(int32_t code)
{
    Detach();
    destroyDialog(code);
}
