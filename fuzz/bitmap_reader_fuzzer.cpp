// Any bytes into the bitmap reader: a logo or a Failure, nothing else.
#include "logo/picture/bitmap_exchange.h"
#include "logo/base/failure.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        tolvane::decodeBitmap({data, size}, "\"fuzz.bmp\"", tolvane::kLogoShape);
    } catch (const tolvane::Failure&) {
    }
    return 0;
}
