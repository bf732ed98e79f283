#include "ControlSurface.h"

#include <stdexcept>

Control& ControlSurface::add(const QString& name)
{
    if (m_byName.contains(name))
        throw std::logic_error("duplicate control " + name.toStdString());
    m_controls.push_back(std::make_unique<Control>(name));
    Control* control = m_controls.back().get();
    m_byName.insert(name, control);
    return *control;
}

Control& ControlSurface::operator[](QAnyStringView name) const
{
    Control* control = m_byName.value(name.toString());
    if (!control)
        throw std::logic_error("no control " + name.toString().toStdString());
    return *control;
}
