#include "app_icon.h"

namespace tolvane {

namespace {

// 5 x 7 pixel letters, drawn for this icon.
constexpr const char* kLetters[3][7] = {
    {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."},
    {".####", "#....", "#....", ".###.", "....#", "....#", "####."},
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},
};

constexpr QRgb kBlue = qRgb(0x20, 0x60, 0xFF);

}  // namespace

QImage appIconImage() {
    QImage image(18, 16, QImage::Format_RGB32);
    image.fill(Qt::black);
    for (int letter = 0; letter < 3; ++letter)
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 5; ++x)
                if (kLetters[letter][y][x] == '#') image.setPixel(1 + letter * 6 + x, 4 + y, kBlue);
    return image;
}

QIcon appIcon() {
    const QImage small = appIconImage();
    QIcon icon;
    for (int scale : {1, 2, 4})
        icon.addPixmap(
            QPixmap::fromImage(small.scaled(small.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    return icon;
}

}  // namespace tolvane
