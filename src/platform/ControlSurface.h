#pragma once

#include "Control.h"

#include <QAnyStringView>
#include <QHash>

#include <memory>
#include <vector>

// The controls of one window, by name. Asking for a name the window does not
// have is a programming error.
class ControlSurface
{
public:
    Control& add(const QString& name);
    Control& operator[](QAnyStringView name) const;
    bool contains(QAnyStringView name) const { return m_byName.contains(name.toString()); }
    const std::vector<std::unique_ptr<Control>>& controls() const { return m_controls; }

private:
    std::vector<std::unique_ptr<Control>> m_controls;
    QHash<QString, Control*> m_byName;
};
