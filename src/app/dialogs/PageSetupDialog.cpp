#include "app/dialogs/PageSetupDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <utility>

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
// Far beyond any paper: the field takes every digit typed, and the limit
// below says what the paper allows.
constexpr double kFieldMaxMm = 99999.9;

QString Millimetres(double points)
{
    return QString::number(points / kPointsPerMm, 'f', 1) + " mm";
}

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
        margins[i]->setRange(0, kFieldMaxMm);
        margins[i]->setValue(values[i] / kPointsPerMm);
        form->addRow(labels[i], margins[i]);
    }
    limit = new QLabel(this);
    limit->setObjectName("marginLimit");
    limit->setStyleSheet("QLabel { color: #b00000; }");
    limit->hide();
    form->addRow(limit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Answered(true); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { Answered(false); });
    connect(paper, &QComboBox::currentIndexChanged, this, &CPageSetupDialog::CheckMargins);
    connect(orientation, &QComboBox::currentIndexChanged, this, &CPageSetupDialog::CheckMargins);
    for (QDoubleSpinBox* field : margins)
        connect(field, &QDoubleSpinBox::valueChanged, this, &CPageSetupDialog::CheckMargins);
    CheckMargins();
}

void CPageSetupDialog::CheckMargins()
{
    const CPageSetup page = Value();
    const bool fits = PageMarginsFit(page);
    ok->setEnabled(fits);
    limit->setVisible(!fits);
    if (fits)
        return;
    double width = 0, height = 0;
    PageSizePoints(page, width, height);
    limit->setText(QString("The margins leave nothing to print on %1 %2:\n"
                           "the left and right margins together must be less than %3,\n"
                           "and the top and bottom margins less than %4.")
                       .arg(QString::fromStdString(page.paper), page.landscape ? "landscape" : "portrait",
                            Millimetres(width), Millimetres(height)));
    // The window grows to show the whole text.
    adjustSize();
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
        *fields[i] = margins[i]->value() * kPointsPerMm;
    return page;
}

void CPageSetupDialog::Answered(bool confirmed)
{
    if (confirmed && !PageMarginsFit(Value()))
        return;
    if (Answer answer = std::exchange(m_answer, nullptr))
        answer(confirmed, confirmed ? Value() : m_start);
    close();
}
