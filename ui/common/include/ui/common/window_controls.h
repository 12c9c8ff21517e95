// The window's controls as both windows build them: one row per control with its
// name, text, place at 96 DPI, font and tooltip, in tab order; the fonts; where the
// status area and the picture area's focus mark go; and how a picture is placed in
// the picture area.
#pragma once

#include "editor/editor.h"

#include <array>
#include <span>

namespace tolvane {

inline constexpr const char* kWindowName = "fmprinc";
inline constexpr const char* kWindowCaption = "Tolvane Editor by Darquil ";

inline constexpr int kClientWidth = 770;
inline constexpr int kClientHeight = 210;  // the fixed layout; the status area is below it
// The status area holds this many lines of its font, with a margin above and below.
inline constexpr int kStatusLines = 3;
inline constexpr int kStatusMargin = 3;

// The Windows window's control IDs, above IDOK and IDCANCEL, which IsDialogMessage
// sends for Enter and Escape.
enum ControlId : int {
    kOpenImage = 101,  // bnouvimg
    kTitle,            // lbtitre
    kPicture,          // piboot
    kPatch,            // bnpatch
    kQuit,             // bnquitter
    kOpenBitmap,       // bnouvbmp
    kSaveBitmap,       // bnsauvbmp
    kConsoleView,      // cbconsole
    kPal,              // cbpal
    kStatus,           // lbetat
};

enum class ControlKind { PushButton, Title, Picture, CheckBox, StatusArea };

// Font A (buttons), font B (title) and the system's message font.
enum class FontKind { ButtonFont, TitleFont, MessageFont };

struct FontDescription {
    const char* family;  // null: the system's message font
    double points;
    bool bold;
};
FontDescription fontDescription(FontKind kind);

struct Place {
    int left, top, width, height;  // in pixels at 96 DPI
    friend bool operator==(const Place&, const Place&) = default;
};

struct ControlRow {
    ControlId id;
    const char* name;  // the control's name, as tests and accessibility tools find it
    ControlKind kind;
    const char* text;  // UTF-8, blanks and all
    Place at;          // the status area's height is kStatusLines lines of its font, not at.height
    FontKind font;
    const char* tip;          // tooltip, or null
    bool enabled;             // when the window opens; the editor sets the buttons' after
    void (Editor::*click)();  // a push button's command, null for the others
};

// Every control, in tab order; the labels, which take no focus, where they stand.
std::span<const ControlRow> controlRows();
const ControlRow& controlRow(ControlId id);
// The push button the editor enables or disables.
ControlId controlFor(Button button);

// Where the picture area's focus mark is drawn: a bar above it and one below it,
// in the free space around it, so that it never covers a pixel of the picture.
std::array<Place, 2> focusMarkPlaces();

// A picture placed in an area: at the largest whole scale at which it fits (at
// least 1); the logo's shape (384 x 64) at the top-left corner, as the area was
// made for it, any other shape centred.
struct PicturePlace {
    int left, top, scale;
    friend bool operator==(const PicturePlace&, const PicturePlace&) = default;
};
PicturePlace placePicture(int width, int height, int areaWidth, int areaHeight);

}  // namespace tolvane
