// libspng's functions as this program calls them. On Linux the library is
// loaded when the first PNG is read or written, not at every start: loading it,
// with the zlib and libm it brings, takes longer than everything an import of a
// BMP computes. Where it is linked in (the Windows build), they are its own.
#pragma once

#include <spng.h>

namespace tolvane {

struct SpngCalls {
    decltype(&spng_ctx_new) ctxNew;
    decltype(&spng_ctx_new2) ctxNew2;
    decltype(&spng_ctx_free) ctxFree;
    decltype(&spng_set_option) setOption;
    decltype(&spng_set_ihdr) setIhdr;
    decltype(&spng_encode_image) encodeImage;
    decltype(&spng_get_png_buffer) getPngBuffer;
    decltype(&spng_set_image_limits) setImageLimits;
    decltype(&spng_set_chunk_limits) setChunkLimits;
    decltype(&spng_set_crc_action) setCrcAction;
    decltype(&spng_set_png_buffer) setPngBuffer;
    decltype(&spng_get_ihdr) getIhdr;
    decltype(&spng_decoded_image_size) decodedImageSize;
    decltype(&spng_decode_image) decodeImage;
    decltype(&spng_get_plte) getPlte;
    decltype(&spng_strerror) strerror;
};

// Fails, saying why, when the library cannot be loaded.
const SpngCalls& spng();

}  // namespace tolvane
