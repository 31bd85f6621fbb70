#pragma once
// The mark edit dialog and its pane: position, web link, colour and symbol
// (and whether they become the defaults of new marks), and the anchor and
// proximity alarm radii.
//
// The position and the radii are written only when their text differs from
// what the dialog showed, so Done without edits leaves the mark and its
// modification time alone; entries that cannot be read are refused with a
// message and the dialog stays open.
#include "app/dialogs/edit_syncable.h"

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

class COverlayMark;
class edit_mark;

namespace Ui {
class edit_mark;
}

class edit_mark_specific : public QWidget
{
    Q_OBJECT

public:
    explicit edit_mark_specific(QWidget* parent = nullptr);
    ~edit_mark_specific() override;
    void init_with_mark(const COverlayMark& mark, edit_mark* hwnd);

    // A message and false for a position or radius that cannot be stored.
    bool validate(std::string& message) const;
    // True when anything changed (call validate first).
    bool onDone(COverlayMark& mark);

    // is_default follows whether the selected symbol is the default of the
    // mark's kind.
    void setupIsDefault();
    // The preview in the well's colour; then setupIsDefault.
    void didSelectIcon();
    void didSelectColor();
    void onCheckedAlarm();
    bool colorPicked() const { return m_colorPicked; }

private:
    // The symbol the popup stands on.
    std::string SelectedSymbol() const;
    // The radii the fields ask for (false: unreadable).
    bool ReadRadii(float& inner, float& outer) const;

    std::unique_ptr<Ui::edit_mark> m_ui;
    bool m_routePoint = false;
    bool m_colorPicked = false;
    std::string m_shownPosition;
    std::string m_shownAnchor;
    std::string m_shownProximity;
    bool m_shownAlarm = false;
    int m_shownSymbol = -1;
};

class edit_mark : public edit_syncable
{
    Q_OBJECT

public:
    // initWithMark: a mark in no manager is held directly for the dialog's life.
    explicit edit_mark(COverlayMark& mark);
    CSyncable* Object() const override;
    edit_mark_specific* pane() const { return m_pane; }

protected:
    bool ValidatePane(std::string& message) override;
    bool WritePane(CSyncable& object) override;
    void Publish(CSyncable& object) override;
    void DeleteObject(CSyncable& object) override;
    std::string Kind() const override { return "Mark"; }

private:
    COverlayMark* Mark() const;

    uint64_t m_serial;
    COverlayMark* m_held; // null for a mark of the mark manager
    edit_mark_specific* m_pane;
};

void show_edit_mark(COverlayMark* mark, UIViewControllerWithDialog* parent);
