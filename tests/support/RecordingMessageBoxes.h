#pragma once

#include "MessageBoxes.h"

#include <QList>

#include <functional>

// Stands in for the modal message box: records what was shown and answers OK.
// onShow runs while the "box" is up, to look at the window at that moment.
class RecordingMessageBoxes final : public MessageBoxes
{
public:
    struct Shown {
        QString text;
        Icon icon;
        std::optional<QString> title;
    };

    void show(const QString& text, Icon icon, const std::optional<QString>& title) override
    {
        shown.append({text, icon, title});
        if (onShow)
            onShow(shown.last());
    }

    QStringList texts() const
    {
        QStringList result;
        for (const Shown& box : shown)
            result << box.text;
        return result;
    }

    QList<Shown> shown;
    std::function<void(const Shown&)> onShow;
};
