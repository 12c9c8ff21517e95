// The picture area: a child window that draws a grey picture, whole pixels
// only. The stored logo comes out at 2 x floor(DPI / 96), each pixel a square
// block; a picture of another shape at the largest whole scale that fits, and
// never above that, centred. It keeps the picture and draws it again on every
// WM_PAINT.
#pragma once

#include "logo/picture/grey_picture.h"

#include <windows.h>

namespace tolvane::win32 {

inline constexpr const wchar_t* kLogoViewClass = L"TolvaneLogoView";

bool registerLogoView(HINSTANCE instance);

void setViewPicture(HWND view, const GreyPicture& picture);
// The largest whole scale the view may draw at: 2 x floor(DPI / 96).
void setViewScale(HWND view, int scale);

}  // namespace tolvane::win32
