// Grey pictures and the logo as one.
#include "logo/picture/grey_picture.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace tolvane {

namespace {

std::string text(PictureShape shape) { return std::to_string(shape.width) + " x " + std::to_string(shape.height); }

}  // namespace

GreyPicture::GreyPicture(PictureShape shape, Byte fill) : shape_(shape), pixels_(shape.area(), fill) {}

GreyPicture::GreyPicture(PictureShape shape, std::vector<Byte> pixels) : shape_(shape), pixels_(std::move(pixels)) {
    if (pixels_.size() != shape.area())
        throw std::invalid_argument("a " + text(shape) + " picture needs " + std::to_string(shape.area()) +
                                    " pixels, not " + std::to_string(pixels_.size()));
}

GreyPicture pictureOf(const LogoImage& logo) { return GreyPicture(kLogoShape, {logo.begin(), logo.end()}); }

LogoImage logoOf(const GreyPicture& picture) {
    if (picture.shape() != kLogoShape)
        throw std::invalid_argument("a " + text(picture.shape()) + " picture is not the " + text(kLogoShape) + " logo");
    LogoImage logo{};
    std::copy(picture.pixels().begin(), picture.pixels().end(), logo.begin());
    return logo;
}

}  // namespace tolvane
