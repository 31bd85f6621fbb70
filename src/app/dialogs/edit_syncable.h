#pragma once
// The edit dialogs of the stored overlay objects (marks, routes, tracks). The
// base edits what every syncable object has (name, comment, category, the
// visible, synchronise and locked flags; shows created and modified) and
// carries the buttons Done, Delete, View, Share and Cancel; a subclass per
// kind places its pane in `specific_frame`.
//
// A dialog holds its object's serial number and looks the object up at every
// use: when the object is deleted elsewhere (synchronisation, an import, a
// trivial track dropped when recording stops) the dialog closes with -1 and
// writes nothing. An object in no manager (the drop-mark button's template)
// belongs to the caller until the dialog ends and is held directly.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/events/Listener.h"
#include "mapview/overlay/OverlayObject.h"

#include <QColor>
#include <QColorDialog>
#include <QPointer>
#include <QToolButton>
#include <memory>
#include <string>

class CSyncable;

namespace Ui {
class edit_syncable;
}

// A colour swatch button: a click opens the colour panel, and a colour
// chosen there is shown and reported (colorPicked).
class ColorWell : public QToolButton
{
    Q_OBJECT

public:
    explicit ColorWell(QWidget* parent = nullptr);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    // The open colour panel, or null.
    QColorDialog* panel() const { return m_panel; }

signals:
    void colorPicked(const QColor& color);

private:
    void openPanel();

    QColor m_color = Qt::black;
    QPointer<QColorDialog> m_panel;
};

// The dialogs' decisions, free of widgets.
namespace NEditDialogs {

// The line width popup: items 0..3 stand for 1, 2, 4 and 10 points.
int WidthItem(double width);
float WidthOfItem(int item); // clamped to 0..3
// The transparency popup: item 0 for alpha 0.9 or more, 1 for 0.6, 2 for 0.3, else 3.
int TransparencyItem(double alpha);
double AlphaOfItem(int item); // max(0.125, 1 - 0.25 x item)
// The relative date and the 12-hour clock time; "No date" for 0.
std::string DateText(double seconds_since_1970);
// A radius in metres as shown, and read back: a finite number of 0 or more
// (blanks around it allowed); false for anything else.
std::string RadiusText(float metres);
bool ReadRadius(const std::string& text, float& metres);

} // namespace NEditDialogs

class edit_syncable : public UIViewControllerWithDialog, public Listener<COverlayObject>
{
    Q_OBJECT

public:
    ~edit_syncable() override;

    // The object's fields into the widgets.
    void viewDidLoad();
    // Writes the widgets back into `object`, each only when it differs; true
    // when anything did.
    bool writeBase(CSyncable& object);
    // Checks the pane, writes base and pane, and when anything changed marks
    // the object modified and publishes the change. False when nothing could
    // be written: the object is gone (the dialog then closed with -1) or an
    // entry was refused (a message says which; the dialog stays open).
    bool saveChanges();
    void onDone();
    void onDelete();
    void onView();
    void onShare();
    void onCancel();

    // The live object, or null when it is gone.
    virtual CSyncable* Object() const = 0;
    bool changed() const { return m_changed; }
    QWidget* specific_frame() const;

protected:
    explicit edit_syncable(const std::string& title);
    // Places the pane and reads the object (the constructor's last step).
    void setUp(QWidget* pane, bool managed);

    // A message and false for an entry that cannot be stored.
    virtual bool ValidatePane(std::string& message) { return message.empty(); }
    // Writes the pane into the object; true when anything changed.
    virtual bool WritePane(CSyncable& object) = 0;
    // Tells the chart and the lists about the change.
    virtual void Publish(CSyncable& object) = 0;
    virtual void DeleteObject(CSyncable& object) = 0;
    // The title of messages and panels: "Mark", "Route", "Track".
    virtual std::string Kind() const = 0;

    void Notify(const COverlayObject& event) override;

private:
    class CTimer : public CHeartbeat::Counter
    {
    public:
        explicit CTimer(edit_syncable& dialog)
            : CHeartbeat::Counter(CHeartbeat::kTicksPerSecond), m_dialog(dialog)
        {
        }
        void OnTick() override { m_dialog.CloseIfGone(); }

    private:
        edit_syncable& m_dialog;
    };

    // Closes with -1 when the object went away.
    void CloseIfGone();

    std::unique_ptr<Ui::edit_syncable> m_ui;
    std::unique_ptr<CTimer> m_timer;
    bool m_changed = false;
    bool m_checkQueued = false;
};

// Where an edit dialog opened from `parent` is shown: over `parent` when it is
// a dialog, else over `fallback` (the main window's dialog host; null: a
// window of its own); over the dialog already open there, if any.
UIViewControllerWithDialog* EditDialogParent(QWidget* parent, UIViewControllerWithDialog* fallback);
