#pragma once

#include <QString>

#include <memory>
#include <vector>

namespace catalogue {

// One title of the area bar: an area's name. The selected title is drawn green and bold.
struct AreaBarItem
{
    QString caption;
    bool highlighted = false;
};

// The never-visible bar of area titles behind the area selectors. It decides which area
// the window opens with and which title counts as selected.
class AreaBar
{
public:
    void clear() { m_items.clear(); }
    AreaBarItem *add(const QString &caption)
    {
        m_items.push_back(std::make_unique<AreaBarItem>(AreaBarItem{caption}));
        return m_items.back().get();
    }
    const std::vector<std::unique_ptr<AreaBarItem>> &items() const { return m_items; }

private:
    std::vector<std::unique_ptr<AreaBarItem>> m_items;
};

} // namespace catalogue
