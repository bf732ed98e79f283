#pragma once

#include <QObject>
#include <QRect>
#include <QStringList>

// One control of a window as the handlers see it: caption or text, geometry in
// twips, visibility, enabled state, a value (check state, option selection,
// progress) and list entries. Every setter notifies synchronously, inside the
// caller, and only on a real change; the window layer mirrors the signals onto
// widgets and reports user actions back through the same setters.
class Control : public QObject
{
    Q_OBJECT

public:
    explicit Control(const QString& name, QObject* parent = nullptr);

    QString name() const { return objectName(); }

    QString text() const { return m_text; }
    void setText(const QString& text);

    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    QRect geometry() const { return m_geometry; }
    void setGeometry(const QRect& twips);
    int height() const { return m_geometry.height(); }
    void setHeight(int twips);

    double value() const { return m_value; }
    void setValue(double value);
    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }
    void setRange(double minimum, double maximum);

    QStringList items() const { return m_items; }
    void setItems(const QStringList& items);
    // Selects an entry: its text becomes the control's text, then the control
    // reports a click, as a user's pick does.
    void select(const QString& item);

    // The user's click; ignored while the control is hidden or disabled.
    void click();

signals:
    void textChanged();
    void visibleChanged(bool visible);
    void enabledChanged(bool enabled);
    void geometryChanged(const QRect& twips);
    void valueChanged(double value);
    void rangeChanged(double minimum, double maximum);
    void itemsChanged(const QStringList& items);
    void clicked();

private:
    QString m_text;
    QRect m_geometry;
    QStringList m_items;
    double m_value = 0;
    double m_minimum = 0;
    double m_maximum = 100;
    bool m_visible = true;
    bool m_enabled = true;
};
