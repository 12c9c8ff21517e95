// The picture area: the logo at twice its size, each pixel a 2 x 2 block. It
// keeps the picture, so repaints after covering or minimising show it again.
#pragma once

#include "logo/image_layout.h"

#include <QImage>
#include <QWidget>

namespace tolvane {

class LogoView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kScale = 2;

    explicit LogoView(QWidget* parent = nullptr);

    void setLogo(const LogoImage& logo);
    // The logo as drawn, 384 x 64 grey; null until the first image is opened.
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

// The logo as a 384 x 64 grey picture: byte k at column k mod 384, row k div 384.
QImage logoPicture(const LogoImage& logo);

}  // namespace tolvane
