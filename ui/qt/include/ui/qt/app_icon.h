// The program's icon, drawn for Qt: the letters PS2 in blue on black.
#pragma once

#include <QIcon>
#include <QImage>

namespace tolvane {

// The letters PS2 in blue on black, 18 x 16 pixels.
QImage appIconImage();
// That picture, and the same enlarged two and four times for dense screens.
QIcon appIcon();

}  // namespace tolvane
