#pragma once

#include <QString>

#include <optional>

// Every message the user sees goes through here; the window layer shows a
// modal box with one OK button, a test records the text instead.
class MessageBoxes
{
public:
    enum class Icon { None, Critical };

    static QString defaultTitle() { return QStringLiteral("Vortrax Kestrix"); }

    virtual ~MessageBoxes() = default;
    // Returns when the user has closed the box. No title means the program's title.
    virtual void show(const QString& text, Icon icon = Icon::None, const std::optional<QString>& title = std::nullopt) = 0;
};
