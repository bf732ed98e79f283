#include "WindowLayout.h"

#include "ControlSurface.h"

void populate(ControlSurface& surface, const WindowLayout& layout)
{
    for (const ControlSpec& spec : layout.controls) {
        Control& control = surface.add(spec.name);
        control.setText(spec.caption);
        control.setGeometry(QRect(spec.left, spec.top, spec.width, spec.height));
        control.setVisible(spec.shown);
        control.setItems(layout.listEntries.value(spec.name));
        if (const auto range = layout.ranges.constFind(spec.name); range != layout.ranges.cend()) {
            control.setRange(range->first, range->second);
            control.setValue(range->first);
        }
    }
}
