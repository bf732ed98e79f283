#include "Control.h"

Control::Control(const QString& name, QObject* parent)
    : QObject(parent)
{
    setObjectName(name);
}

void Control::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    emit textChanged();
}

void Control::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    emit visibleChanged(visible);
}

void Control::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    emit enabledChanged(enabled);
}

void Control::setGeometry(const QRect& twips)
{
    if (twips == m_geometry)
        return;
    m_geometry = twips;
    emit geometryChanged(twips);
}

void Control::setHeight(int twips)
{
    QRect geometry = m_geometry;
    geometry.setHeight(twips);
    setGeometry(geometry);
}

void Control::setValue(double value)
{
    if (value == m_value)
        return;
    m_value = value;
    emit valueChanged(value);
}

void Control::setRange(double minimum, double maximum)
{
    if (minimum == m_minimum && maximum == m_maximum)
        return;
    m_minimum = minimum;
    m_maximum = maximum;
    emit rangeChanged(minimum, maximum);
}

void Control::setItems(const QStringList& items)
{
    if (items == m_items)
        return;
    m_items = items;
    emit itemsChanged(items);
}

void Control::select(const QString& item)
{
    setText(item);
    emit clicked();
}

void Control::click()
{
    if (m_visible && m_enabled)
        emit clicked();
}
