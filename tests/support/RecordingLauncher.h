#pragma once

#include "Launcher.h"

#include <QStringList>

// Stands in for the desktop launcher: records what it was asked to open.
class RecordingLauncher final : public Launcher
{
public:
    bool open(const QString& documentOrAddress) override
    {
        opened << documentOrAddress;
        return succeeds;
    }

    QStringList opened;
    bool succeeds = true;
};
