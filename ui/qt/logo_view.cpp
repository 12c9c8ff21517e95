#include "logo_view.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

namespace tolvane {

QImage greyImage(const GreyPicture& picture) {
    QImage image(int(picture.width()), int(picture.height()), QImage::Format_Grayscale8);
    for (std::size_t y = 0; y < picture.height(); ++y)
        std::memcpy(image.scanLine(int(y)), picture.row(y).data(), picture.width());
    return image;
}

LogoView::LogoView(QWidget* parent) : QWidget(parent) {
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
}

void LogoView::setLogo(const LogoImage& logo) { setPicture(pictureOf(logo)); }

void LogoView::setPicture(const GreyPicture& picture) {
    picture_ = greyImage(picture);
    update();
}

QRect LogoView::pictureRect() const {
    if (picture_.isNull()) return {};
    // The stored logo, 384 x 64, comes out at exactly twice its size at the origin.
    const int scale = std::max(1, std::min(width() / picture_.width(), height() / picture_.height()));
    const QSize size = picture_.size() * scale;
    return {QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size};
}

void LogoView::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(pictureRect(), picture_);
}

}  // namespace tolvane
