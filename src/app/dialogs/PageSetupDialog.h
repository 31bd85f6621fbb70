#pragma once
// Page Setup where Qt's own dialog cannot serve (it needs a native printer,
// and with only printing to a file there is none): paper, orientation and the
// four margins, in millimetres. It is not modal; the answer comes once, when
// it closes.
#include "foundation/print/PageSetup.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

class CPageSetupDialog : public QDialog
{
    Q_OBJECT

public:
    using Answer = std::function<void(bool confirmed, const CPageSetup& page)>;
    CPageSetupDialog(const CPageSetup& start, QWidget* parent, Answer answer);
    ~CPageSetupDialog() override;

    // What the fields say now.
    CPageSetup Value() const;

    QComboBox* paper = nullptr;
    QComboBox* orientation = nullptr;
    // Left, right, top, bottom.
    QDoubleSpinBox* margins[4] = {};
    // Says what the paper allows while the margins leave nothing to print;
    // OK waits until they do.
    QLabel* limit = nullptr;
    QPushButton* ok = nullptr;

private:
    void Answered(bool confirmed);
    void CheckMargins();

    CPageSetup m_start;
    Answer m_answer;
};
