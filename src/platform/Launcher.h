#pragma once

#include <QString>

// Opens a document or a web address with the desktop's default application,
// without waiting for it.
class Launcher
{
public:
    virtual ~Launcher() = default;
    virtual bool open(const QString& documentOrAddress) = 0;
};
