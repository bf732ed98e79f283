#pragma once

// The look the window layouts are drawn for: the classic Windows fonts mapped
// to metric stand-ins, and frames captioned on their border line. Call once,
// after the application object exists.
void applyClassicLook();
