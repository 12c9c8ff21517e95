// Makes the README's screenshot: a sample disc image with a drawn logo, opened
// in the real window on the offscreen platform, and the window grabbed.
#include "logo/disc_image_layout.h"
#include "logo/file_io.h"
#include "ui/qt/main_window.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>

#include <cstring>
#include <iostream>

namespace {

tolvane::LogoImage sampleLogo() {
    QImage picture(int(tolvane::kLogoWidth), int(tolvane::kLogoHeight), QImage::Format_Grayscale8);
    QPainter painter(&picture);
    QLinearGradient shade(0, 0, 0, 64);
    shade.setColorAt(0, QColor(20, 20, 20));
    shade.setColorAt(1, QColor(90, 90, 90));
    painter.fillRect(picture.rect(), shade);
    painter.setPen(QColor(200, 200, 200));
    painter.drawRect(picture.rect().adjusted(2, 2, -3, -3));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(34);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("TOLVANE"));
    painter.end();

    tolvane::LogoImage logo{};
    for (int row = 0; row < picture.height(); ++row)
        std::memcpy(logo.data() + row * tolvane::kLogoWidth, picture.constScanLine(row), tolvane::kLogoWidth);
    return logo;
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: tolvane-screenshot OUTPUT.png\n";
        return 2;
    }
    QTemporaryDir folder;
    const auto image = std::filesystem::path(folder.path().toStdString()) / "sample.bin";
    tolvane::ImagePrefix prefix;
    tolvane::insertLogo(sampleLogo(), prefix);
    std::vector<tolvane::Byte> bytes(prefix.bytes().begin(), prefix.bytes().end());
    bytes.resize(bytes.size() + 100 * 2352);
    tolvane::replaceFile(image, bytes);

    tolvane::MainWindow window;
    window.show();
    if (!window.editor().openImage(image)) return 1;
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
