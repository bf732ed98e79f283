#pragma once

#include "WindowLayout.h"

// The receiver window, Frm_Client.
const WindowLayout& receiverWindowLayout();
