// The key and the console's picture of the logo.
#include "logo/console/console_view.h"

#include <algorithm>
#include <cstdio>

namespace tolvane {

namespace {

Byte rotateLeft(Byte value, int bits) { return static_cast<Byte>((value << bits) | (value >> (8 - bits))); }

std::string hex(Byte value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

}  // namespace

Byte decodeLogoByte(Byte stored, Byte key) { return rotateLeft(static_cast<Byte>(stored ^ key), 3); }

Byte encodeLogoByte(Byte shown, Byte key) { return static_cast<Byte>(rotateLeft(shown, 5) ^ key); }

std::optional<Byte> keyFromSerial(const std::string& serial) {
    if (!isSerial(serial)) return std::nullopt;
    unsigned number = 0;  // the five digits of SLUS_200.01
    for (std::size_t i : {5, 6, 7, 9, 10}) number = number * 10 + static_cast<unsigned>(serial[i] - '0');
    const unsigned letter = static_cast<unsigned char>(serial[0]);
    return static_cast<Byte>(((number % 32) * 8) | ((letter / 16) & 7));
}

LogoKey chooseKey(const DiscIdentity& identity, Byte firstByte) {
    LogoKey key;
    key.firstByte = firstByte;
    if (const auto fromSerial = keyFromSerial(identity.serial)) {
        key.key = *fromSerial;
        key.source = KeySource::Serial;
    } else {
        key.key = firstByte;
        key.source = KeySource::FirstByte;
    }
    return key;
}

std::string describeSource(const LogoKey& key, const DiscIdentity& identity) {
    std::string text = "key " + hex(key.key);
    switch (key.source) {
        case KeySource::Serial: text += " from " + identity.serial; break;
        case KeySource::FirstByte: text += " from byte 0 of the logo (serial unknown)"; break;
        case KeySource::Given: text += " as given"; break;
    }
    return text;
}

std::string keyWarning(const LogoKey& key) {
    if (key.firstByteAgrees()) return "";
    return "byte 0 of the logo is " + hex(key.firstByte) + ", so the stored logo may not be encoded with this key";
}

std::string borderWarning(Byte storedFirst, Byte key) {
    if (storedFirst == key) return "";
    return "the picture's top-left pixel is grey " + std::to_string(decodeLogoByte(storedFirst, key)) +
           ", not black as a disc's border is, so byte 0 of the logo becomes " + hex(storedFirst) + ", not the key " +
           hex(key) + " (from which the key is read when the serial is unknown)";
}

std::string describe(const LogoKey& key, const DiscIdentity& identity) {
    const std::string warning = keyWarning(key);
    return describeSource(key, identity) + (warning.empty() ? "" : "; " + warning);
}

GreyPicture decodeLogo(const LogoImage& stored, Byte key, bool pal) {
    GreyPicture picture(consoleShape(pal));
    std::transform(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(picture.pixels().size()),
                   picture.pixels().begin(), [key](Byte b) { return decodeLogoByte(b, key); });
    return picture;
}

LogoImage encodeLogo(const GreyPicture& shown, Byte key) {
    LogoImage black{};
    black.fill(encodeLogoByte(0, key));
    return encodeLogo(shown, key, black);
}

LogoImage encodeLogo(const GreyPicture& shown, Byte key, LogoImage stored) {
    const auto pixels = shown.pixels().first(std::min(shown.pixels().size(), stored.size()));
    std::transform(pixels.begin(), pixels.end(), stored.begin(), [key](Byte b) { return encodeLogoByte(b, key); });
    return stored;
}

}  // namespace tolvane
