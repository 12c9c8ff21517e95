// Pictures of grey levels: the logo as the disc stores it, and pictures of any
// shape (the console's view, a decoded bitmap). One byte a pixel, 0 black to
// 255 white, rows top first.
#pragma once

#include "logo/base/logo_image.h"

#include <span>
#include <vector>

namespace tolvane {

struct PictureShape {
    std::size_t width = 0;
    std::size_t height = 0;
    std::size_t area() const { return width * height; }
    friend bool operator==(const PictureShape&, const PictureShape&) = default;
};

inline constexpr PictureShape kLogoShape{kLogoWidth, kLogoHeight};

// Always exactly width x height pixels: a picture of any other length cannot be made.
class GreyPicture {
public:
    explicit GreyPicture(PictureShape shape, Byte fill = 0);
    // Throws std::invalid_argument unless pixels holds exactly width x height bytes.
    GreyPicture(PictureShape shape, std::vector<Byte> pixels);

    PictureShape shape() const { return shape_; }
    std::size_t width() const { return shape_.width; }
    std::size_t height() const { return shape_.height; }
    std::span<const Byte> pixels() const { return pixels_; }
    std::span<Byte> pixels() { return pixels_; }
    std::span<const Byte> row(std::size_t y) const { return pixels().subspan(y * width(), width()); }
    std::span<Byte> row(std::size_t y) { return pixels().subspan(y * width(), width()); }

    friend bool operator==(const GreyPicture&, const GreyPicture&) = default;

private:
    PictureShape shape_;
    std::vector<Byte> pixels_;
};

// The logo as a 384 x 64 picture, and back; logoOf throws std::invalid_argument
// for a picture of another shape.
GreyPicture pictureOf(const LogoImage& logo);
LogoImage logoOf(const GreyPicture& picture);

}  // namespace tolvane
