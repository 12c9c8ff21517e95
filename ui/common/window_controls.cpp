// The window's controls, in tab order, for both windows.
#include "ui/common/window_controls.h"

#include "logo/picture/grey_picture.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace tolvane {

namespace {

using enum ControlKind;
using enum FontKind;

// clang-format off
constexpr ControlRow kControls[] = {
    {kOpenImage, "bnouvimg", PushButton, "Open Cdrwin Bin ", {0, 184, 121, 25}, ButtonFont, nullptr, true,
     &Editor::bnouvimg_Click},
    {kTitle, "lbtitre", Title, "Tolvane Editor 0.2.2 beta", {184, 8, 369, 25}, TitleFont, nullptr, true, nullptr},
    {kPicture, "piboot", Picture, "", {0, 48, 769, 129}, MessageFont, nullptr, true, nullptr},
    {kPatch, "bnpatch", PushButton, " Patch ", {480, 184, 121, 25}, ButtonFont, nullptr, true,
     &Editor::bnpatch_Click},
    {kQuit, "bnquitter", PushButton, "  Quit ", {688, 184, 81, 25}, ButtonFont, nullptr, true,
     &Editor::bnquitter_Click},
    {kOpenBitmap, "bnouvbmp", PushButton, "  Open Bitmap   ", {344, 184, 129, 25}, ButtonFont, nullptr, true,
     &Editor::bnouvbmp_Click},
    {kSaveBitmap, "bnsauvbmp", PushButton, "  Save Bitmap   ", {128, 184, 129, 25}, ButtonFont, nullptr, true,
     &Editor::bnsauvbmp_Click},
    // The view's settings sit in the free space beside the title; nothing of the
    // fixed layout moves for them.
    {kConsoleView, "cbconsole", CheckBox, "Console view", {566, 10, 112, 22}, MessageFont,
     "Show and exchange the logo as the console shows it, decoded with the disc's key", true, nullptr},
    {kPal, "cbpal", CheckBox, "PAL", {684, 10, 80, 22}, MessageFont,
     "The console's PAL picture, 344 x 71, instead of NTSC's 384 x 64", false, nullptr},
    {kStatus, "lbetat", StatusArea, "", {4, kClientHeight + kStatusMargin, kClientWidth - 8, 0}, MessageFont,
     nullptr, true, nullptr},
};
// clang-format on

constexpr int kFocusMarkGap = 1;
constexpr int kFocusMarkThickness = 2;

}  // namespace

FontDescription fontDescription(FontKind kind) {
    switch (kind) {
        case ButtonFont: return {"MS Sans Serif", 9.75, false};
        case TitleFont: return {"MS Sans Serif", 18, true};
        case MessageFont: return {nullptr, 0, false};
    }
    return {nullptr, 0, false};
}

std::span<const ControlRow> controlRows() { return kControls; }

const ControlRow& controlRow(ControlId id) {
    for (const ControlRow& row : kControls)
        if (row.id == id) return row;
    throw std::logic_error("no control has the ID " + std::to_string(int(id)));
}

ControlId controlFor(Button button) {
    switch (button) {
        case Button::bnsauvbmp: return kSaveBitmap;
        case Button::bnouvbmp: return kOpenBitmap;
        case Button::bnpatch: return kPatch;
    }
    return kPatch;
}

std::array<Place, 2> focusMarkPlaces() {
    const Place picture = controlRow(kPicture).at;
    return {{{picture.left, picture.top - kFocusMarkGap - kFocusMarkThickness, picture.width, kFocusMarkThickness},
             {picture.left, picture.top + picture.height + kFocusMarkGap, picture.width, kFocusMarkThickness}}};
}

PicturePlace placePicture(int width, int height, int areaWidth, int areaHeight) {
    if (width <= 0 || height <= 0) return {0, 0, 1};
    const int scale = std::max(1, std::min(areaWidth / width, areaHeight / height));
    if (width == int(kLogoWidth) && height == int(kLogoHeight)) return {0, 0, scale};
    return {(areaWidth - width * scale) / 2, (areaHeight - height * scale) / 2, scale};
}

}  // namespace tolvane
