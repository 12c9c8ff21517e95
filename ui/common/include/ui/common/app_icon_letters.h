// The application's icon: the letters PS2 in blue on black. Each window draws it
// from these letters; tools/make-icon.py reads this file too (the quoted rows and
// kIconBlue) to write the Windows icon resource, so keep their form.
#pragma once

namespace tolvane {

inline constexpr int kIconWidth = 18;
inline constexpr int kIconHeight = 16;
// Where the first letter's top-left pixel lies in the 18 x 16 icon; letters are
// 5 x 7 pixels, one pixel apart.
inline constexpr int kIconLetterLeft = 1;
inline constexpr int kIconLetterTop = 4;

inline constexpr const char* kIconLetters[3][7] = {
    {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."},
    {".####", "#....", "#....", ".###.", "....#", "....#", "####."},
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},
};

inline constexpr unsigned char kIconBlue[3] = {0x20, 0x60, 0xFF};

}  // namespace tolvane
