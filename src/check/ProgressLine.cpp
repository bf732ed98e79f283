#include "ProgressLine.h"

#include <cstdio>

#include <unistd.h>

ProgressLine::ProgressLine(const QString& tool)
    : m_tool(tool)
    , m_terminal(::isatty(STDERR_FILENO))
{
    m_sinceShown.start();
}

void ProgressLine::update(std::size_t done)
{
    if (!m_terminal || done < 2 || m_sinceShown.elapsed() < 100)
        return;
    m_sinceShown.restart();
    m_shown = true;
    std::fputs(QStringLiteral("\r%1: %2 descriptors checked").arg(m_tool).arg(done).toLocal8Bit().constData(), stderr);
}

void ProgressLine::clear()
{
    if (m_shown)
        std::fputs("\r\033[K", stderr);
    m_shown = false;
}
