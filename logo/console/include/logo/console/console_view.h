// The logo as the console shows it. Discs store the logo encoded with a one-byte
// key derived from the game's serial; the console decodes every stored byte as
//     shown = rotate-left-3(stored XOR key)
// and shows the result as 64 rows of 384 (NTSC) or 71 rows of 344 followed by
// 152 bytes of padding (PAL).
#pragma once

#include "logo/picture/grey_picture.h"
#include "logo/disc/system_cnf.h"

#include <optional>
#include <string>

namespace tolvane {

inline constexpr PictureShape kPalShape{344, 71};  // then 24576 - 24424 = 152 bytes of padding

// The picture the console shows for a video mode: PAL's, else NTSC's 384 x 64.
inline constexpr PictureShape consoleShape(bool pal) { return pal ? kPalShape : kLogoShape; }

Byte decodeLogoByte(Byte stored, Byte key);
Byte encodeLogoByte(Byte shown, Byte key);

// ((N mod 32) x 8) OR ((L div 16) AND 7), N the serial's five digits, L its first
// letter: SLUS_200.01 gives 0x0D. Nothing for a text not shaped like a serial.
std::optional<Byte> keyFromSerial(const std::string& serial);

enum class KeySource { Serial, FirstByte, Given };

struct LogoKey {
    Byte key = 0;
    KeySource source = KeySource::FirstByte;
    Byte firstByte = 0;  // byte 0 of the stored logo: on a real disc the border, equal to the key
    bool firstByteAgrees() const { return firstByte == key; }
};

// The serial's key when the serial is known, else byte 0 of the stored logo.
LogoKey chooseKey(const DiscIdentity& identity, Byte firstByte);
inline LogoKey chooseKey(const DiscIdentity& identity, const LogoImage& stored) {
    return chooseKey(identity, stored[0]);
}

// "key 0x0D from SLUS_200.01", with a warning when byte 0 of the logo differs.
std::string describe(const LogoKey& key, const DiscIdentity& identity);
// The same in two parts: where the key comes from, and the warning (empty when
// byte 0 of the logo agrees).
std::string describeSource(const LogoKey& key, const DiscIdentity& identity);
std::string keyWarning(const LogoKey& key);
// For a picture stored with `key` whose first byte came out `storedFirst`: a
// warning when its top-left pixel is not black (empty when it is). That pixel
// is the border, which discs keep black, so that byte 0 of the logo is the key
// itself, and where the serial is unknown the key is taken from it.
std::string borderWarning(Byte storedFirst, Byte key);

// The picture the console shows: 384 x 64 for NTSC (and unknown), 344 x 71 for PAL.
GreyPicture decodeLogo(const LogoImage& stored, Byte key, bool pal);
// The stored bytes for a picture of either shape (at most 24576 pixels); PAL
// padding is encoded zeros.
LogoImage encodeLogo(const GreyPicture& shown, Byte key);
// The same written over a stored logo: the bytes past the picture (PAL's 152
// bytes of padding) stay as they are in `stored`.
LogoImage encodeLogo(const GreyPicture& shown, Byte key, LogoImage stored);

}  // namespace tolvane
