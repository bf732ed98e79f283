#pragma once

#include <QWidget>

class ControlSurface;
struct WindowLayout;

// A top-level window built from a layout. Closing it from its frame is
// reported, so the program decides what that ends.
class FormWindow : public QWidget
{
    Q_OBJECT

public:
    FormWindow(const WindowLayout& layout, ControlSurface& controls, QWidget* parent = nullptr);
    void centreOnScreen();

signals:
    void closedFromFrame();

protected:
    void closeEvent(QCloseEvent* event) override;
};
