#pragma once

#include "MessageBoxes.h"

// Modal message boxes with one OK button over the active window.
class QtMessageBoxes final : public MessageBoxes
{
public:
    void show(const QString& text, Icon icon, const std::optional<QString>& title) override;
};
