#pragma once
// The track edit dialog and its pane: length, elapsed and moving time,
// average and top speed, and the line's appearance.
#include "app/dialogs/edit_route.h"

class COverlayTrack;

namespace Ui {
class edit_track;
}

class edit_track_specific : public QWidget
{
    Q_OBJECT

public:
    explicit edit_track_specific(QWidget* parent = nullptr);
    ~edit_track_specific() override;
    void init_with_track(COverlayTrack& track);
    // True when anything changed.
    bool onDone(COverlayTrack& track);
    CLineStyleRows& rows() { return m_rows; }

private:
    std::unique_ptr<Ui::edit_track> m_ui;
    CLineStyleRows m_rows;
};

class edit_track : public edit_syncable
{
    Q_OBJECT

public:
    // initWithTrack:
    explicit edit_track(COverlayTrack& track);
    CSyncable* Object() const override;
    edit_track_specific* pane() const { return m_pane; }

protected:
    bool WritePane(CSyncable& object) override;
    void Publish(CSyncable& object) override;
    void DeleteObject(CSyncable& object) override;
    std::string Kind() const override { return "Track"; }

private:
    uint64_t m_serial;
    edit_track_specific* m_pane;
};

void show_edit_track(COverlayTrack* track, UIViewControllerWithDialog* parent);
