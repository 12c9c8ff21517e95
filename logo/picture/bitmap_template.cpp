// Finding and checking the bitmap header template.
#include "logo/picture/bitmap_template.h"

#include "logo/base/failure.h"
#include "logo/files/file_io.h"

#include <string>

namespace tolvane {

std::vector<std::filesystem::path> templateFolders() {
    std::vector<std::filesystem::path> folders{std::filesystem::path()};  // the bare name
    if (auto program = programFolder(); !program.empty()) folders.push_back(std::move(program));
#ifdef TOLVANE_INSTALLED_DATA
    folders.emplace_back(TOLVANE_INSTALLED_DATA);
#endif
    return folders;
}

void checkHeaderTemplate(std::span<const Byte> header, const std::filesystem::path& file) {
    const auto refuse = [&](const std::string& what) {
        throw Failure("The bitmap header template " + quoted(file) + " would not give the logo back: " + what +
                          "; remove it, or put back the one the program comes with",
                      Problem::Damaged);
    };
    const auto number = [&](std::size_t at, std::uint32_t expected, const std::string& what) {
        const std::uint32_t found = readLe32(header, at);
        if (found != expected) refuse(what + " is " + std::to_string(found) + ", not " + std::to_string(expected));
    };
    if (header.size() < kBitmapHeaderLength)
        refuse("it has " + std::to_string(header.size()) + " bytes, a bitmap header needs " +
               std::to_string(kBitmapHeaderLength));
    if (header[0] != 'B' || header[1] != 'M') refuse("it does not start with \"BM\"");
    number(10, kBitmapHeaderLength, "the offset of its pixel data");
    number(14, kInfoHeaderSize, "the size of its information header");
    number(18, kLogoWidth, "its width");
    // A negative height is a picture stored top row first: the logo would read upside down.
    number(22, kLogoHeight, "its height");
    if (readLe16(header, 26) != 1 || readLe16(header, 28) != 8)
        refuse("it is not of one plane of 8 bits per pixel (" + std::to_string(readLe16(header, 28)) + " bits)");
    number(30, 0, "its compression");
    for (std::size_t n = 0; n < 256; ++n) {
        const std::size_t at = kFileHeaderSize + kInfoHeaderSize + 4 * n;
        if (header[at] != n || header[at + 1] != n || header[at + 2] != n)
            refuse("palette entry " + std::to_string(n) + " is not grey level " + std::to_string(n));
    }
}

BitmapHeader loadHeaderTemplate(const std::vector<std::filesystem::path>& folders) {
    for (const auto& folder : folders) {
        const auto file = folder / kHeaderTemplateName;
        std::error_code missing;
        if (!std::filesystem::exists(file, missing)) continue;
        BitmapHeader header{};
        File opened = File::openForReading(file);
        const std::size_t got = opened.readAt(0, header);
        opened.close();
        checkHeaderTemplate(std::span<const Byte>(header).first(got), file);
        return header;
    }
    return builtInBitmapHeader();
}

}  // namespace tolvane
