#pragma once
// Stands in for the menu pop-up while it lives: every tree that would show is
// handed to the test's function instead. The pop-up installed before comes
// back when it goes.
#include "foundation/menus/MenuPorts.h"
#include "foundation/menus/MenuTree.h"

#include <QPoint>
#include <functional>
#include <memory>

namespace tessatest {

class CMenuPopupDouble : public IMenuPopup
{
public:
    using Show = std::function<void(std::unique_ptr<CMenuTree> tree, QWidget* view, const QPoint* point)>;
    explicit CMenuPopupDouble(Show show)
        : m_show(std::move(show)), m_previous(IsPortInstalled<IMenuPopup>() ? &Port<IMenuPopup>() : nullptr)
    {
        InstallPort<IMenuPopup>(this);
    }
    ~CMenuPopupDouble() override { InstallPort<IMenuPopup>(m_previous); }
    CMenuPopupDouble(const CMenuPopupDouble&) = delete;
    CMenuPopupDouble& operator=(const CMenuPopupDouble&) = delete;

    void ShowMenu(std::unique_ptr<CMenuTree> tree, QWidget* view, const QPoint* point) override
    {
        if (m_show)
            m_show(std::move(tree), view, point);
    }

private:
    Show m_show;
    IMenuPopup* m_previous;
};

} // namespace tessatest
