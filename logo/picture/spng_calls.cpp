// Finding libspng's functions.
#include "spng_calls.h"

#include "logo/base/failure.h"

#ifdef TOLVANE_SPNG_SONAME
#include <dlfcn.h>

#include <string>
#endif

namespace tolvane {

#ifdef TOLVANE_SPNG_SONAME

namespace {

SpngCalls load() {
    void* library = ::dlopen(TOLVANE_SPNG_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!library) throw Failure(std::string("cannot load the PNG library: ") + ::dlerror(), Problem::NotSupported);
    const auto find = [&](auto& into, const char* name) {
        void* found = ::dlsym(library, name);
        if (!found) throw Failure(std::string("cannot load the PNG library: ") + ::dlerror(), Problem::NotSupported);
        into = reinterpret_cast<std::remove_reference_t<decltype(into)>>(found);
    };
    SpngCalls calls{};
    find(calls.ctxNew, "spng_ctx_new");
    find(calls.ctxNew2, "spng_ctx_new2");
    find(calls.ctxFree, "spng_ctx_free");
    find(calls.setOption, "spng_set_option");
    find(calls.setIhdr, "spng_set_ihdr");
    find(calls.encodeImage, "spng_encode_image");
    find(calls.getPngBuffer, "spng_get_png_buffer");
    find(calls.setImageLimits, "spng_set_image_limits");
    find(calls.setChunkLimits, "spng_set_chunk_limits");
    find(calls.setCrcAction, "spng_set_crc_action");
    find(calls.setPngBuffer, "spng_set_png_buffer");
    find(calls.getIhdr, "spng_get_ihdr");
    find(calls.decodedImageSize, "spng_decoded_image_size");
    find(calls.decodeImage, "spng_decode_image");
    find(calls.getPlte, "spng_get_plte");
    find(calls.strerror, "spng_strerror");
    return calls;  // the library stays loaded for the rest of the run
}

}  // namespace

const SpngCalls& spng() {
    static const SpngCalls calls = load();
    return calls;
}

#else

const SpngCalls& spng() {
    static const SpngCalls calls{
        spng_ctx_new,        spng_ctx_new2,       spng_ctx_free,           spng_set_option,       spng_set_ihdr,
        spng_encode_image,   spng_get_png_buffer, spng_set_image_limits,   spng_set_chunk_limits, spng_set_crc_action,
        spng_set_png_buffer, spng_get_ihdr,       spng_decoded_image_size, spng_decode_image,     spng_get_plte,
        spng_strerror};
    return calls;
}

#endif

}  // namespace tolvane
