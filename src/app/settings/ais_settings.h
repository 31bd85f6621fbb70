#pragma once
// The AIS settings dialog: the collision alarm's sound, the CPA distances
// (metres) and the CPA time, typed in minutes and kept in seconds. A number
// that is not a finite value of at least 0 is refused, so a slip never turns
// the alarm off.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"

#include <memory>

namespace Ui {
class ais_settings;
}

class ais_settings : public UIViewControllerWithDialog
{
    Q_OBJECT

public:
    explicit ais_settings(QWidget* parent = nullptr);
    ~ais_settings() override;

    void viewDidLoad();
    void onDone();
    void onCancel();

private:
    std::unique_ptr<Ui::ais_settings> m_ui;
};
