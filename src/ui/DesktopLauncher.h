#pragma once

#include "Launcher.h"

// Opens documents and addresses with the desktop's default applications.
class DesktopLauncher final : public Launcher
{
public:
    bool open(const QString& documentOrAddress) override;
};
