#include "app/lists/OverlayNode.h"

std::unique_ptr<OverlayNode> OverlayNode::initWithCategory(const std::string& title)
{
    auto node = std::make_unique<OverlayNode>();
    node->m_title = title;
    node->m_titleCached = true;
    return node;
}

std::unique_ptr<OverlayNode> OverlayNode::initWithOverlay(COverlayListDelegate* delegate,
                                                          const COverlayListRowKey& key)
{
    auto node = std::make_unique<OverlayNode>();
    node->m_delegate = delegate;
    node->m_key = key;
    return node;
}

void OverlayNode::setupChildrenWithDelegate(COverlayListDelegate* delegate)
{
    m_delegate = delegate;
    releaseChildren();
    if (!delegate)
        return;
    std::vector<COverlayListRowKey> keys;
    delegate->FillList(keys);
    m_children.reserve(keys.size());
    for (const COverlayListRowKey& key : keys) {
        m_children.push_back(initWithOverlay(delegate, key));
        m_children.back()->m_parent = this;
        m_children.back()->m_index = int(m_children.size() - 1);
    }
}

OverlayNode* OverlayNode::childAtIndex(int index) const
{
    if (index < 0 || size_t(index) >= m_children.size())
        return nullptr;
    return m_children[size_t(index)].get();
}

int OverlayNode::numberOfChildren() const
{
    return isCategory() ? int(m_children.size()) : -1;
}

std::string OverlayNode::stringValue()
{
    if (isCategory())
        return m_title.empty() ? "???" : m_title;
    COverlayListRow row;
    if (!m_delegate || !m_delegate->RowText(*m_key, row))
        return "";
    if (!m_titleCached) {
        m_title = row.text;
        m_titleCached = true;
    }
    return m_title;
}

std::string OverlayNode::detailStringValue() const
{
    COverlayListRow row;
    if (isCategory() || !m_delegate || !m_delegate->RowText(*m_key, row))
        return "";
    return row.detail;
}

void OverlayNode::onDoubleClick(QWidget* parent) const
{
    if (!isCategory() && m_delegate)
        m_delegate->Activate(*m_key, parent);
}

void OverlayNode::onRightClick(QWidget* parent) const
{
    if (!m_delegate)
        return;
    if (isCategory())
        m_delegate->ShowListMenu(parent);
    else
        m_delegate->ShowRowMenu(parent, *m_key);
}
