#pragma once
// The preferences dialog: the unit system, the position format, true or
// magnetic bearings, and two chart-view checks. Done stores them all and
// tells the units' listeners once.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"

#include <memory>

namespace Ui {
class preferences;
}

class preferences : public UIViewControllerWithDialog
{
    Q_OBJECT

public:
    // The unit-system items, in the order the popup shows them (the index is the system).
    static constexpr const char* kUnitSystems[] = {"Statute", "Nautical", "Metric"};
    static constexpr const char* kBearingModes[] = {"True", "Magnetic"};

    explicit preferences(QWidget* parent = nullptr);
    ~preferences() override;

    void viewDidLoad();
    void onDone();
    void onCancel();

private:
    std::unique_ptr<Ui::preferences> m_ui;
};
