// CenterWindow: where a dialog is placed when it opens.
#pragma once

#include <cstdint>

#include "vfs/host/windows_api.h"

namespace tarnwad::win32 {

struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

// The top-left corner for a window of `width` x `height` centred on `centre`
// and then pushed back inside `area` over the edge it crossed: first the
// left (top) edge, otherwise the right (bottom) one. A window larger than
// `area` therefore ends at one of its edges. All rectangles in one coordinate
// system, which may reach into negative coordinates.
Point CenteredPosition(const RECT& centre, const RECT& area, int32_t width, int32_t height);

// Moves `window` (a dialog, before or after it is shown) to the middle of
// what it belongs to, without changing its size, Z order or activation:
// - a popup is centred over its owner when the owner is visible and not
//   minimized, otherwise on the desktop's work area, and kept inside the
//   work area;
// - a child window is centred in its parent's client area and kept inside it.
void CenterWindow(HWND window);

}  // namespace tarnwad::win32
