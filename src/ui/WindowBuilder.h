#pragma once

class ControlSurface;
class QWidget;
struct WindowLayout;

// Turns a window layout into widgets on window (twips ÷ 15 = pixels) and binds
// every widget to the control of the same name: the control's changes show
// on the widget, the user's actions reach the control. Each widget's object
// name is its control's name.
void buildWindow(QWidget& window, const WindowLayout& layout, ControlSurface& controls);
