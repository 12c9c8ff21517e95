// The picture area: a child window that draws a grey picture, whole pixels
// only, placed as the controls' table places pictures: the logo at the largest
// whole scale at which it fits the area at the monitor's DPI (2 at 96 DPI, 3 at
// 144, 4 at 192), each pixel a square block, at the top-left corner; a picture
// of another shape at the largest whole scale that fits, centred. It keeps the
// picture and draws it again on every WM_PAINT. When it gains or loses the focus
// it tells its parent, which draws its focus mark around it.
#pragma once

#include "logo/picture/grey_picture.h"

#include <windows.h>

namespace tolvane::win32 {

inline constexpr const wchar_t* kLogoViewClass = L"TolvaneLogoView";
// Sent to the parent when the view gains or loses the focus; wParam: whether it has it.
inline constexpr UINT kViewFocusChanged = WM_APP + 1;

bool registerLogoView(HINSTANCE instance);

void setViewPicture(HWND view, const GreyPicture& picture);

}  // namespace tolvane::win32
