#include "WindowLayout.h"

#include "ControlSurface.h"

const ControlSpec* WindowLayout::find(const QString& name) const
{
    for (const ControlSpec& spec : controls) {
        if (spec.name == name)
            return &spec;
    }
    return nullptr;
}

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
