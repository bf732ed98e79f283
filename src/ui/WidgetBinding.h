#pragma once

#include "WindowLayout.h"

class Control;
class QWidget;

// Creates the widget for one control under parent and keeps the two in step.
// Null for components that have no face (timer, socket, data control).
QWidget* createBoundWidget(const ControlSpec& row, Control& control, QWidget* parent);
