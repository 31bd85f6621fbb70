#pragma once
// The route edit dialog and its pane (length, colour, transparency, line
// width and style); the appearance rows are shared with the track pane.
#include "app/dialogs/edit_syncable.h"

#include <QWidget>
#include <cstdint>
#include <memory>

class CLineStyle;
class COverlayRoute;
class QComboBox;

namespace Ui {
class edit_route;
}

// The colour well and the width, style and transparency popups of a line.
// The colour (with the transparency) is written only when a colour was picked
// in the well during this dialog; width and style only when their item was
// changed, so a width between the table's entries survives Done.
class CLineStyleRows
{
public:
    void Attach(ColorWell* color, QComboBox* width, QComboBox* style, QComboBox* transparency);
    void Load(const CLineStyle& line);
    // True when anything changed.
    bool Write(CLineStyle& line) const;
    void didSelectColor() { m_colorPicked = true; }
    bool colorPicked() const { return m_colorPicked; }

private:
    ColorWell* m_color = nullptr;
    QComboBox* m_width = nullptr;
    QComboBox* m_style = nullptr;
    QComboBox* m_transparency = nullptr;
    int m_widthItem = -1;
    int m_styleItem = -1;
    bool m_colorPicked = false;
};

class edit_route_specific : public QWidget
{
    Q_OBJECT

public:
    explicit edit_route_specific(QWidget* parent = nullptr);
    ~edit_route_specific() override;
    void init_with_route(const COverlayRoute& route);
    // True when anything changed.
    bool onDone(COverlayRoute& route);
    CLineStyleRows& rows() { return m_rows; }

private:
    std::unique_ptr<Ui::edit_route> m_ui;
    CLineStyleRows m_rows;
};

class edit_route : public edit_syncable
{
    Q_OBJECT

public:
    // initWithRoute:
    explicit edit_route(COverlayRoute& route);
    CSyncable* Object() const override;
    edit_route_specific* pane() const { return m_pane; }

protected:
    bool WritePane(CSyncable& object) override;
    void Publish(CSyncable& object) override;
    void DeleteObject(CSyncable& object) override;
    std::string Kind() const override { return "Route"; }

private:
    uint64_t m_serial;
    edit_route_specific* m_pane;
};

void show_edit_route(COverlayRoute* route, UIViewControllerWithDialog* parent);
