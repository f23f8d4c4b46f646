#include "app/win32/center_window.h"

namespace tarnwad::win32 {

Point CenteredPosition(const RECT& centre, const RECT& area, int32_t width, int32_t height) {
    // C++ division truncates toward zero, on negative coordinates too (a
    // monitor left of or above the primary one).
    Point at;
    at.x = (centre.left + centre.right) / 2 - width / 2;
    at.y = (centre.top + centre.bottom) / 2 - height / 2;
    if (at.x < area.left) {
        at.x = area.left;
    } else if (at.x + width > area.right) {
        at.x = area.right - width;
    }
    if (at.y < area.top) {
        at.y = area.top;
    } else if (at.y + height > area.bottom) {
        at.y = area.bottom - height;
    }
    return at;
}

void CenterWindow(HWND window) {
    LONG style = GetWindowLongA(window, GWL_STYLE);
    bool child = (style & WS_CHILD) != 0;
    HWND centreOn = child ? GetParent(window) : GetWindow(window, GW_OWNER);

    RECT windowRect;
    GetWindowRect(window, &windowRect);
    int32_t width = windowRect.right - windowRect.left;
    int32_t height = windowRect.bottom - windowRect.top;

    RECT area;
    RECT centre;
    if (!child) {
        if (centreOn != nullptr) {
            LONG ownerStyle = GetWindowLongA(centreOn, GWL_STYLE);
            if ((ownerStyle & WS_VISIBLE) == 0 || (ownerStyle & WS_MINIMIZE) != 0) {
                centreOn = nullptr;
            }
        }
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        if (centreOn != nullptr) {
            GetWindowRect(centreOn, &centre);
        } else {
            centre = area;
        }
    } else {
        HWND parent = GetParent(window);
        GetClientRect(parent, &area);
        GetClientRect(centreOn, &centre);
        MapWindowPoints(centreOn, parent, reinterpret_cast<POINT*>(&centre), 2);
    }

    Point at = CenteredPosition(centre, area, width, height);
    SetWindowPos(window, nullptr, at.x, at.y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace tarnwad::win32
