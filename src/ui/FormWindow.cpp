#include "FormWindow.h"

#include "WindowBuilder.h"
#include "WindowLayout.h"

#include <QCloseEvent>
#include <QScreen>

FormWindow::FormWindow(const WindowLayout& layout, ControlSurface& controls, QWidget* parent)
    : QWidget(parent)
{
    Qt::WindowFlags flags = Qt::Window;
    if (!layout.framed)
        flags |= Qt::FramelessWindowHint;
    else if (!layout.resizable)
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
            | Qt::MSWindowsFixedSizeDialogHint;
    setWindowFlags(flags);
    buildWindow(*this, layout, controls);
}

void FormWindow::centreOnScreen()
{
    const QRect available = screen()->availableGeometry();
    move(available.center() - QPoint(width() / 2, height() / 2));
}

void FormWindow::closeEvent(QCloseEvent* event)
{
    emit closedFromFrame();
    QWidget::closeEvent(event);
}
