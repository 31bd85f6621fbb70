#include "app/settings/ais_settings.h"

#include "ais/AISTargetManager.h"
#include "app/settings/SettingsText.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/settings/PersistantData.h"
#include "ui_ais_settings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

ais_settings::ais_settings(QWidget* parent)
    : UIViewControllerWithDialog(parent), m_ui(std::make_unique<Ui::ais_settings>())
{
    m_ui->setupUi(this);
    connect(m_ui->done, &QPushButton::clicked, this, &ais_settings::onDone);
    connect(m_ui->cancel, &QPushButton::clicked, this, &ais_settings::onCancel);
    viewDidLoad();
}

ais_settings::~ais_settings() = default;

void ais_settings::viewDidLoad()
{
    using NSettingsText::FormatNumber;
    const CAISTargetManager::Settings& settings = CAISTargetManager::GetSettings();
    m_ui->collision_alarm->setChecked(settings.alarmBeep);
    m_ui->cpa_distance->setText(QString::fromStdString(FormatNumber(settings.alarmDistance)));
    m_ui->class_B_distance->setText(QString::fromStdString(FormatNumber(settings.cpaClassBDistance)));
    m_ui->cpa_time->setText(QString::fromStdString(FormatNumber(settings.alarmTime / 60.0)));
}

void ais_settings::onDone()
{
    if (isDialogEnded())
        return;
    struct Field
    {
        QLineEdit* edit;
        const char* name;
        double value;
    };
    Field fields[] = {{m_ui->cpa_distance, "CPA distance", 0},
                      {m_ui->class_B_distance, "Class B CPA distance", 0},
                      {m_ui->cpa_time, "CPA time", 0}};
    for (Field& field : fields)
        if (!NSettingsText::ParseNonNegative(field.edit->text().toStdString(), field.value)) {
            ShowOKMessage(this, std::string(field.name) + " must be a number of at least 0.", "AIS Settings");
            field.edit->setFocus();
            return;
        }
    CAISTargetManager::Settings& settings = CAISTargetManager::GetSettings();
    settings.alarmBeep = m_ui->collision_alarm->isChecked();
    settings.alarmDistance = float(fields[0].value);
    settings.cpaClassBDistance = float(fields[1].value);
    settings.alarmTime = float(fields[2].value * 60.0);
    CAISTargetManager::GetPersistant().SetModified();
    PersistantData::SaveAll();
    destroyDialog(0);
}

void ais_settings::onCancel()
{
    if (!isDialogEnded())
        destroyDialog(-1);
}
