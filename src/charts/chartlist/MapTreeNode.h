#pragma once
// A tree of labelled nodes built from "A|B|C" paths, each leaf holding one
// item: the chart list window shows charts grouped this way. Children are kept
// sorted by label.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Storing the chosen types visits at most this many children of one node;
// the chart list has always stopped there, and the choices it stores follow.
inline constexpr size_t kMaxTypeChildrenVisited = 51;

template <class T> class CMapTreeNode
{
public:
    explicit CMapTreeNode(std::string label = {}, CMapTreeNode* parent = nullptr)
        : m_label(std::move(label)), m_parent(parent)
    {
    }
    CMapTreeNode(const CMapTreeNode&) = delete;
    CMapTreeNode& operator=(const CMapTreeNode&) = delete;

    // Adds `item` at the node path (parts separated by '|'; empty parts are
    // dropped) and returns its leaf.
    CMapTreeNode* Add(const std::string& path, std::shared_ptr<T> item)
    {
        std::vector<std::string> parts;
        size_t start = 0;
        while (start <= path.size()) {
            size_t bar = path.find('|', start);
            if (bar == std::string::npos)
                bar = path.size();
            if (bar > start)
                parts.push_back(path.substr(start, bar - start));
            start = bar + 1;
        }
        if (parts.empty())
            parts.emplace_back();
        CMapTreeNode* node = this;
        for (size_t i = 0; i + 1 < parts.size(); ++i)
            node = node->Group(parts[i]);
        // Every item gets a leaf of its own, even beside one of the same name.
        CMapTreeNode* leaf = node->Insert(parts.back());
        leaf->m_item = std::move(item);
        return leaf;
    }

    const std::string& Label() const { return m_label; }
    CMapTreeNode* Parent() const { return m_parent; }
    const std::shared_ptr<T>& Item() const { return m_item; }
    const std::vector<std::unique_ptr<CMapTreeNode>>& Children() const { return m_children; }
    CMapTreeNode* Find(const std::string& label) const
    {
        for (const auto& c : m_children)
            if (c->m_label == label)
                return c.get();
        return nullptr;
    }

    bool checked = true;
    bool expanded = false;

    // Whether this node and all its ancestors are checked.
    bool IsCheckedUpwards() const
    {
        for (const CMapTreeNode* n = this; n; n = n->m_parent)
            if (!n->checked)
                return false;
        return true;
    }

    // Expands this node and every ancestor, so that it shows.
    void ExpandWithAncestors()
    {
        for (CMapTreeNode* n = this; n; n = n->m_parent)
            n->expanded = true;
    }

    // Expands the leaf whose item satisfies `match` and its ancestors; true
    // when one was found.
    template <class Match> bool ExpandWhere(Match&& match)
    {
        if (m_item && match(*m_item)) {
            ExpandWithAncestors();
            return true;
        }
        for (auto& c : m_children)
            if (c->ExpandWhere(match))
                return true;
        return false;
    }

    // Expands the leaf of the item with that path and its ancestors.
    bool ExpandPathTo(const std::string& path)
    {
        return ExpandWhere([&path](const T& item) { return item.path == path; });
    }

    // The map type this node stands for (a leaf's, or a type group's); false
    // when it stands for none. Defined for each kind of tree.
    bool StandsForType(std::string& type) const;
    // Shows the type of every node that stands for one, checked with its
    // ancestors, and hides it otherwise (ChartList.h).
    void StoreSelectedTypes();

    // Visits every node, depth first, this one included.
    template <class Visit> void ForEach(Visit&& visit)
    {
        visit(*this);
        for (auto& c : m_children)
            c->ForEach(visit);
    }

private:
    // The group child of that label (a node without an item), made when missing.
    CMapTreeNode* Group(const std::string& label)
    {
        for (auto& c : m_children)
            if (c->m_label == label && !c->m_item)
                return c.get();
        return Insert(label);
    }
    CMapTreeNode* Insert(const std::string& label)
    {
        auto it = std::upper_bound(
            m_children.begin(), m_children.end(), label,
            [](const std::string& l, const std::unique_ptr<CMapTreeNode>& c) { return l < c->m_label; });
        return m_children.insert(it, std::make_unique<CMapTreeNode>(label, this))->get();
    }

    std::string m_label;
    CMapTreeNode* m_parent;
    std::shared_ptr<T> m_item;
    std::vector<std::unique_ptr<CMapTreeNode>> m_children;
};
