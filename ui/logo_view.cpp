#include "logo_view.h"

#include <QPainter>
#include <cstring>

namespace tolvane {

QImage logoPicture(const LogoImage& logo) {
    QImage picture(int(kLogoWidth), int(kLogoHeight), QImage::Format_Grayscale8);
    for (int row = 0; row < int(kLogoHeight); ++row)
        std::memcpy(picture.scanLine(row), logo.data() + row * kLogoWidth, kLogoWidth);
    return picture;
}

LogoView::LogoView(QWidget* parent) : QWidget(parent) {
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
}

void LogoView::setLogo(const LogoImage& logo) {
    picture_ = logoPicture(logo);
    update();
}

void LogoView::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, picture_.width() * kScale, picture_.height() * kScale), picture_);
}

}  // namespace tolvane
