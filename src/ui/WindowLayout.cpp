#include "WindowLayout.h"

#include "ControlSurface.h"

void populate(ControlSurface& surface, const WindowLayout& layout)
{
    for (const ControlSpec& row : layout.controls) {
        Control& control = surface.add(row.name);
        control.setText(row.caption);
        control.setGeometry(QRect(row.left, row.top, row.width, row.height));
        control.setVisible(row.shown);
        control.setItems(layout.listEntries.value(row.name));
        if (const auto range = layout.ranges.constFind(row.name); range != layout.ranges.cend()) {
            control.setRange(range->first, range->second);
            control.setValue(range->first);
        }
    }
}
