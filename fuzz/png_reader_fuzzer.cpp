// Any bytes into the PNG reader: a picture or a Failure, nothing else.
#include "logo/base/failure.h"
#include "logo/picture/png_exchange.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        tolvane::decodePng({data, size}, "\"fuzz.png\"", tolvane::kLogoShape);
    } catch (const tolvane::Failure&) {
    }
    return 0;
}
