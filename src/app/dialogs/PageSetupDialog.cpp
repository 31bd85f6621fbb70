#include "app/dialogs/PageSetupDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <algorithm>
#include <utility>

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

} // namespace

CPageSetupDialog::CPageSetupDialog(const CPageSetup& start, QWidget* parent, Answer answer)
    : QDialog(parent), m_start(start), m_answer(std::move(answer))
{
    setWindowTitle("Page Setup");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    // Wide enough for the window manager to show the whole title.
    setMinimumWidth(340);
    auto* form = new QFormLayout(this);
    paper = new QComboBox(this);
    for (const char* name : {"A3", "A4", "A5", "B5", "Letter", "Legal", "Tabloid", "Executive"})
        paper->addItem(name);
    const int at = paper->findText(QString::fromStdString(start.paper));
    paper->setCurrentIndex(at >= 0 ? at : paper->findText("A4"));
    form->addRow("Paper:", paper);
    orientation = new QComboBox(this);
    orientation->addItems({"Portrait", "Landscape"});
    orientation->setCurrentIndex(start.landscape ? 1 : 0);
    form->addRow("Orientation:", orientation);
    const double values[4] = {start.left, start.right, start.top, start.bottom};
    const char* labels[4] = {"Left margin:", "Right margin:", "Top margin:", "Bottom margin:"};
    for (int i = 0; i < 4; ++i) {
        margins[i] = new QDoubleSpinBox(this);
        margins[i]->setDecimals(1);
        margins[i]->setSuffix(" mm");
        margins[i]->setRange(0, kMaxPageMargin / kPointsPerMm);
        margins[i]->setValue(values[i] / kPointsPerMm);
        form->addRow(labels[i], margins[i]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Answered(true); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { Answered(false); });
}

CPageSetupDialog::~CPageSetupDialog()
{
    // Closed by its window's button: the same as Cancel.
    if (m_answer)
        std::exchange(m_answer, nullptr)(false, m_start);
}

CPageSetup CPageSetupDialog::Value() const
{
    CPageSetup page;
    page.paper = paper->currentText().toStdString();
    page.landscape = orientation->currentIndex() == 1;
    double* fields[4] = {&page.left, &page.right, &page.top, &page.bottom};
    for (int i = 0; i < 4; ++i)
        *fields[i] = std::min(kMaxPageMargin, margins[i]->value() * kPointsPerMm);
    return page;
}

void CPageSetupDialog::Answered(bool confirmed)
{
    if (Answer answer = std::exchange(m_answer, nullptr))
        answer(confirmed, confirmed ? Value() : m_start);
    close();
}
