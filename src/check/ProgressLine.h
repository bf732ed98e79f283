#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstddef>

// A line on stderr that says how far a check has come, for a person watching
// a terminal; nothing when stderr is not one.
class ProgressLine
{
public:
    explicit ProgressLine(const QString& tool);

    // From the second descriptor on, ten times a second at most.
    void update(std::size_t done);
    // Takes the line away, so that a message can be written in its place.
    void clear();

private:
    QString m_tool;
    bool m_terminal;
    bool m_shown = false;
    QElapsedTimer m_sinceShown;
};
