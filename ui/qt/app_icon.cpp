// The program's icon, drawn for Qt.
#include "ui/qt/app_icon.h"

#include "ui/common/app_icon_letters.h"

namespace tolvane {

QImage appIconImage() {
    QImage image(kIconWidth, kIconHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    const QRgb blue = qRgb(kIconBlue[0], kIconBlue[1], kIconBlue[2]);
    for (int letter = 0; letter < 3; ++letter)
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 5; ++x)
                if (kIconLetters[letter][y][x] == '#')
                    image.setPixel(kIconLetterLeft + letter * 6 + x, kIconLetterTop + y, blue);
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
