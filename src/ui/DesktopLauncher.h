#pragma once

#include "Launcher.h"

#include <memory>

class QPlainTextEdit;

// Opens documents and addresses with the desktop's default applications.
// Where no application opens a local file (no desktop opener installed),
// the file's text is shown in a plain read-only window of its own.
class DesktopLauncher final : public Launcher
{
public:
    DesktopLauncher();
    ~DesktopLauncher() override;

    bool open(const QString& documentOrAddress) override;

    // The text window, once a file has been shown in it.
    QPlainTextEdit* textWindow() const { return m_textWindow.get(); }

private:
    bool showText(const QString& path);

    std::unique_ptr<QPlainTextEdit> m_textWindow;
};
