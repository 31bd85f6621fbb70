#pragma once
// Searching the place names of the charted area: a search field over a list
// of the matching places, filled as the list scrolls. Choosing a place turns
// GPS lock off and centres the map there.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "mapview/places/GeoNameDatabase.h"
#include "mapview/view/PlaceListModel.h"

#include <memory>
#include <string>

class CRasterleafView;
class QLineEdit;
class QListView;

class find_place : public UIViewControllerWithDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxTextLength = 49;

    // Takes over an open database; the view must outlive the dialog.
    find_place(CRasterleafView& view, std::unique_ptr<CGeoNameDatabase> database, QWidget* parent = nullptr);
    ~find_place() override;

    // The field's text as it is searched: Latin-1, at most 49 characters,
    // letters in capitals.
    static std::string SearchTextFrom(const QString& typed);
    // The last text searched, kept for the life of the application.
    static std::string& RememberedText();

    void onTextChanged(const QString& typed);
    void onChosen(int row);
    void onCancel();

    QLineEdit* SearchField() const { return m_field; }
    QListView* ResultList() const { return m_list; }
    CPlaceListModel* Model() const { return m_model; }

private:
    CRasterleafView& m_view;
    std::unique_ptr<CGeoNameDatabase> m_database;
    CPlaceListModel* m_model = nullptr;
    QLineEdit* m_field = nullptr;
    QListView* m_list = nullptr;
};

// The find-place command: finds (or downloads) the open chart's index, falls
// back to the last index that opened, and shows the dialog as a child of
// `host` (in a window of its own without one); with no index at all it says so.
void OpenFindPlace(UIViewControllerWithDialog* host, CRasterleafView& view);
