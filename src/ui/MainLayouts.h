#pragma once

#include "WindowLayout.h"

// The scanner's two windows: the main window and the splash.
const WindowLayout& mainWindowLayout();
const WindowLayout& splashLayout();
