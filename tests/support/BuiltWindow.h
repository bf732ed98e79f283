#pragma once

#include "ClassicLook.h"
#include "ControlSurface.h"
#include "FormWindow.h"
#include "WindowLayout.h"

#include <memory>

// A window as the program builds it, with its controls in their initial state.
struct BuiltWindow {
    explicit BuiltWindow(const WindowLayout& layout)
    {
        populate(controls, layout);
        window = std::make_unique<FormWindow>(layout, controls);
    }

    template <typename W = QWidget>
    W* widget(const QString& name) const
    {
        return window->findChild<W*>(name);
    }

    ControlSurface controls;
    std::unique_ptr<FormWindow> window;
};
