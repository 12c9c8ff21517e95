// Drawing the logo in the Qt window.
#include "ui/qt/logo_view.h"

#include "ui/common/window_controls.h"

#include <QPainter>

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
    const PicturePlace place = placePicture(picture_.width(), picture_.height(), width(), height());
    return {QPoint(place.left, place.top), picture_.size() * place.scale};
}

void LogoView::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(pictureRect(), picture_);
}

void LogoView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    if (parentWidget()) parentWidget()->update();
}

void LogoView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    if (parentWidget()) parentWidget()->update();
}

}  // namespace tolvane
