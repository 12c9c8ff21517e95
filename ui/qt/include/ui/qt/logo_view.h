// The picture area: the logo at twice its size, each pixel a 2 x 2 block, or a
// picture of another shape at the largest whole scale that fits, centred (as the
// controls' table places pictures). It keeps the picture, so repaints after
// covering or minimising show it again. Its focus mark is drawn by the window,
// around it, so that it covers no pixel of the picture.
#pragma once

#include "logo/picture/grey_picture.h"

#include <QImage>
#include <QWidget>

namespace tolvane {

class LogoView : public QWidget {
    Q_OBJECT
public:
    explicit LogoView(QWidget* parent = nullptr);

    void setLogo(const LogoImage& logo);
    void setPicture(const GreyPicture& picture);
    // The picture as drawn, before scaling; null until the first image is opened.
    const QImage& picture() const { return picture_; }
    // Where the picture lies in the area, scaled.
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QImage picture_;
};

// A grey picture as an image: byte k at column k mod width, row k div width.
QImage greyImage(const GreyPicture& picture);

}  // namespace tolvane
