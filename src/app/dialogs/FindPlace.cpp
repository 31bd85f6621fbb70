#include "app/dialogs/FindPlace.h"

#include "foundation/dialogs/MessageBox.h"
#include "mapview/view/RasterleafView.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

find_place::find_place(CRasterleafView& view, std::unique_ptr<CGeoNameDatabase> database, QWidget* parent)
    : UIViewControllerWithDialog(parent), m_view(view), m_database(std::move(database))
{
    if (!m_database)
        m_database = std::make_unique<CGeoNameDatabase>();
    setWindowTitle(tr("Find Place"));
    m_model = new CPlaceListModel(*m_database, this);
    m_field = new QLineEdit(this);
    m_field->setObjectName("search");
    m_field->setMaxLength(kMaxTextLength);
    m_field->setClearButtonEnabled(true);
    m_list = new QListView(this);
    m_list->setObjectName("find_place_cell_id");
    m_list->setUniformItemSizes(true);
    m_list->setModel(m_model);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_field);
    layout->addWidget(m_list);
    layout->addLayout(buttons);

    // The remembered text comes back, and its search starts at once.
    m_field->setText(QString::fromLatin1(RememberedText().c_str()));
    m_model->Search(RememberedText());

    connect(m_field, &QLineEdit::textChanged, this, &find_place::onTextChanged);
    connect(m_list, &QListView::activated, this, [this](const QModelIndex& index) { onChosen(index.row()); });
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) { onChosen(index.row()); });
    connect(cancel, &QPushButton::clicked, this, &find_place::onCancel);
}

find_place::~find_place()
{
    // The list and its model read the database: they go before it does.
    delete m_list;
    delete m_model;
}

std::string& find_place::RememberedText()
{
    static std::string text;
    return text;
}

std::string find_place::SearchTextFrom(const QString& typed)
{
    // Upper-cased byte by byte in Latin-1, as the index folds its names:
    // Unicode upper-casing would turn some letters into two or into letters
    // Latin-1 does not hold.
    std::string text = typed.left(kMaxTextLength).toLatin1().toStdString();
    for (char& c : text) {
        const auto b = uint8_t(c);
        if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7))
            c = char(b - 32);
    }
    return text;
}

void find_place::onTextChanged(const QString& typed)
{
    const std::string text = SearchTextFrom(typed);
    if (text == RememberedText())
        return;
    RememberedText() = text;
    m_model->Search(text);
}

void find_place::onChosen(int row)
{
    if (isDialogEnded())
        return;
    CGeoNameRecord record;
    if (!m_database->GetRecord(m_model->RecordAt(row), record) ||
        !CGeoNameDatabase::IsPlaceable(record.latitude, record.longitude))
        return;
    m_view.SetGPSLock(false);
    m_view.CentreOn(record.latitude, record.longitude, true);
    destroyDialog(0);
}

void find_place::onCancel()
{
    if (!isDialogEnded())
        destroyDialog(-1);
}

void OpenFindPlace(UIViewControllerWithDialog* host, CRasterleafView& view)
{
    QWidget* parent = host ? host->top_level_view() : nullptr;
    view.GetPlacenameIndex(parent, [guard = QPointer<UIViewControllerWithDialog>(host),
                                    had_host = host != nullptr, &view](const std::string& path) {
        // A download ends later: the view or the host may have gone meanwhile.
        if (CRasterleafView::Global() != &view || (had_host && !guard))
            return;
        UIViewControllerWithDialog* host = guard;
        QWidget* parent = host ? host->top_level_view() : nullptr;
        auto database = std::make_unique<CGeoNameDatabase>();
        std::string opened = path;
        if (path.empty() || !database->Open(path)) {
            opened = view.LastPlaceIndexPath();
            if (opened.empty() || !database->Open(opened)) {
                ShowOKMessage(parent, "There is no index file associated with the current map", "Find Place");
                return;
            }
        }
        view.SetLastPlaceIndexPath(opened);
        auto* dialog = new find_place(view, std::move(database));
        dialog->showInParent(host);
    });
}
