#pragma once

#include "catalogue/AreaBar.h"

class QComboBox;
class QWidget;

namespace latency {
class LineTableModel;
}

namespace catalogue {

// The user's choice of area and line: fills the area and line selectors and the line
// table from the current server list, restores the choice remembered at the last close,
// and reloads the catalogue on request.
class AreaSelection
{
public:
    struct Controls
    {
        QWidget *window;
        QComboBox *AreaTxt2;  // the visible area selector
        QComboBox *AreaTxt;   // the working area selector
        QComboBox *IPAddrTxt; // the line selector
        QComboBox *com_game;  // acceleration modes, emptied on every load
        latency::LineTableModel *lines;
    };

    explicit AreaSelection(const Controls &controls);

    void LoadAreaSelectors();
    void AreaItemClick(AreaBarItem *item);
    void AreaTxt2Change();
    void AreaTxtChange();
    void N14Click();

    const AreaBar &areaBar() const { return m_bar; }
    // The title the window clicks when it is first shown; none without any area.
    AreaBarItem *startItem() const { return _zz; }
    AreaBarItem *selectedItem() const { return _XZ; }

private:
    void fillLineSelector(const QString &area);
    void fillTable(const QString &area);
    void unhighlightSelected();

    Controls m_controls;
    AreaBar m_bar;
    AreaBarItem *_zz = nullptr;
    AreaBarItem *_XZ = nullptr;
};

} // namespace catalogue
