// The codecs of CHD hunks, over zlib, liblzma, libFLAC and our own Huffman decoder.
#include "logo/chd/chd_codecs.h"

#include "huffman.h"

#include <FLAC/stream_decoder.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

namespace tolvane::chd {

namespace {

constexpr Codec kZlib = codecNamed("zlib"), kLzma = codecNamed("lzma"), kHuff = codecNamed("huff"),
                kFlac = codecNamed("flac"), kCdZlib = codecNamed("cdzl"), kCdLzma = codecNamed("cdlz"),
                kCdFlac = codecNamed("cdfl");
constexpr std::size_t kSubcodeSize = kFrameSize - kCdSectorSize;
constexpr std::array<Byte, 12> kSync{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

std::string bytesText(std::size_t n) { return std::to_string(n) + " bytes"; }

// Raw deflate, no zlib header, filling out exactly.
void inflateRaw(std::span<const Byte> in, std::span<Byte> out, const char* what) {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    const std::unique_ptr<z_stream, int (*)(z_stream*)> ending(&z, inflateEnd);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    if (result == Z_STREAM_END && z.avail_out == 0) return;
    const std::string where = std::string("its ") + what;
    if (result == Z_STREAM_END)
        throw Damage(where + " inflates to " + bytesText(z.total_out) + ", fewer than the " + bytesText(out.size()) +
                     " it must hold");
    if (z.avail_out == 0) throw Damage(where + " inflates past its size of " + bytesText(out.size()));
    if (result == Z_DATA_ERROR) throw Damage(where + " is not valid deflate data (" + (z.msg ? z.msg : "") + ")");
    throw Damage(where + " ends before its deflate stream does");
}

// Raw LZMA as chdman writes it: no header, no end mark, with the properties
// its encoder used for any hunk (lc 3, lp 0, pb 2) and a dictionary at least as
// large as the hunk.
void decodeLzma(std::span<const Byte> in, std::span<Byte> out) {
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, 9)) throw std::bad_alloc();
    options.dict_size = std::max<std::uint32_t>(LZMA_DICT_SIZE_MIN, static_cast<std::uint32_t>(out.size()));
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&stream, filters) != LZMA_OK) throw std::bad_alloc();
    const std::unique_ptr<lzma_stream, void (*)(lzma_stream*)> ending(&stream, lzma_end);
    stream.next_in = in.data();
    stream.avail_in = in.size();
    stream.next_out = out.data();
    stream.avail_out = out.size();
    const lzma_ret result = lzma_code(&stream, LZMA_RUN);
    if (result != LZMA_OK && result != LZMA_STREAM_END)
        throw Damage("its LZMA data is not valid (liblzma error " + std::to_string(int{result}) + ")");
    if (stream.avail_out != 0)
        throw Damage("its LZMA data decodes to " + bytesText(stream.total_out) + ", fewer than the " +
                     bytesText(out.size()) + " it must hold");
    if (stream.avail_in != 0) throw Damage("its LZMA data goes on past its size of " + bytesText(out.size()));
}

void decodeHuffman(std::span<const Byte> in, std::span<Byte> out) {
    BitReader bits(in);
    HuffmanDecoder decoder(256, 16);
    decoder.readHuffmanTree(bits);
    for (Byte& b : out) b = static_cast<Byte>(decoder.decode(bits));
    if (bits.overran()) throw Damage("its Huffman data ends before its " + bytesText(out.size()));
}

// FLAC frames without the stream's header (chdman leaves it out): 16-bit stereo
// at 44100 Hz in blocks of blockSize samples. Gives where the frames end in `in`.
class FlacReader {
public:
    FlacReader(std::span<const Byte> in, std::span<Byte> out, std::uint32_t blockSize, bool bigEndian)
        : in_(in), out_(out), bigEndian_(bigEndian) {
        // fLaC, then the last metadata block, STREAMINFO (34 bytes): the block
        // size as least and most, frame sizes unknown, 44100 Hz, 2 channels, 16
        // bits a sample, length unknown, no MD5.
        header_ = {0x66, 0x4C, 0x61, 0x43, 0x80, 0x00, 0x00, 0x22};
        header_[8] = header_[10] = static_cast<Byte>(blockSize >> 8);
        header_[9] = header_[11] = static_cast<Byte>(blockSize);
        header_[18] = 0x0A;
        header_[19] = 0xC4;
        header_[20] = 0x42;
        header_[21] = 0xF0;
    }

    std::size_t decode() {
        const std::unique_ptr<FLAC__StreamDecoder, void (*)(FLAC__StreamDecoder*)> decoder(FLAC__stream_decoder_new(),
                                                                                           FLAC__stream_decoder_delete);
        if (!decoder) throw std::bad_alloc();
        if (FLAC__stream_decoder_init_stream(decoder.get(), &FlacReader::read, nullptr, &FlacReader::tell, nullptr,
                                             nullptr, &FlacReader::write, nullptr, &FlacReader::error,
                                             this) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
            throw std::bad_alloc();
        FLAC__stream_decoder_process_until_end_of_metadata(decoder.get());
        // Each call decodes a frame of at least one sample, or reports the end.
        for (std::size_t calls = 0; written_ < out_.size() && !damaged_ && calls <= out_.size(); ++calls) {
            if (!FLAC__stream_decoder_process_single(decoder.get())) damaged_ = true;
            if (FLAC__stream_decoder_get_state(decoder.get()) == FLAC__STREAM_DECODER_END_OF_STREAM) break;
        }
        if (damaged_) throw Damage("its FLAC data is not valid");
        if (excess_) throw Damage("its FLAC data decodes past its size of " + bytesText(out_.size()));
        if (written_ < out_.size())
            throw Damage("its FLAC data decodes to " + bytesText(written_) + ", fewer than the " +
                         bytesText(out_.size()) + " it must hold");
        FLAC__uint64 position = 0;
        if (!FLAC__stream_decoder_get_decode_position(decoder.get(), &position) || position < header_.size())
            throw Damage("its FLAC data is not valid");
        return static_cast<std::size_t>(position - header_.size());
    }

private:
    static FLAC__StreamDecoderReadStatus read(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                              void* self) {
        auto& r = *static_cast<FlacReader*>(self);
        std::size_t done = 0;
        while (done < *bytes && r.position_ < r.header_.size() + r.in_.size()) {
            buffer[done++] =
                r.position_ < r.header_.size() ? r.header_[r.position_] : r.in_[r.position_ - r.header_.size()];
            ++r.position_;
        }
        *bytes = done;
        return done == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    }
    static FLAC__StreamDecoderTellStatus tell(const FLAC__StreamDecoder*, FLAC__uint64* at, void* self) {
        *at = static_cast<FlacReader*>(self)->position_;
        return FLAC__STREAM_DECODER_TELL_STATUS_OK;
    }
    static FLAC__StreamDecoderWriteStatus write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                const FLAC__int32* const channels[], void* self) {
        auto& r = *static_cast<FlacReader*>(self);
        if (frame->header.channels != 2 || frame->header.bits_per_sample != 16) {
            r.damaged_ = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        for (unsigned sample = 0; sample < frame->header.blocksize; ++sample)
            for (unsigned channel = 0; channel < 2; ++channel) {
                if (r.written_ + 2 > r.out_.size()) {
                    r.excess_ = true;
                    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
                }
                const auto value = static_cast<std::uint16_t>(channels[channel][sample]);
                r.out_[r.written_ + (r.bigEndian_ ? 1 : 0)] = static_cast<Byte>(value);
                r.out_[r.written_ + (r.bigEndian_ ? 0 : 1)] = static_cast<Byte>(value >> 8);
                r.written_ += 2;
            }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    static void error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* self) {
        static_cast<FlacReader*>(self)->damaged_ = true;
    }

    std::array<Byte, 42> header_{};
    std::span<const Byte> in_;
    std::span<Byte> out_;
    bool bigEndian_;
    std::size_t position_ = 0;
    std::size_t written_ = 0;
    bool damaged_ = false;
    bool excess_ = false;
};

// The `flac` codec: a byte for the samples' order ('L' or 'B'), then frames of
// blocks of a quarter of the hunk's bytes, halved down to at most 2048 samples.
void decodeFlac(std::span<const Byte> in, std::span<Byte> out) {
    if (in.empty() || (in[0] != 'L' && in[0] != 'B')) throw Damage("its FLAC data names no byte order");
    std::uint32_t block = static_cast<std::uint32_t>(out.size() / 4);
    while (block > 2048) block /= 2;
    FlacReader(in.subspan(1), out, block, in[0] == 'B').decode();
}

// The CD codecs: the sectors of a hunk's frames one after another, compressed
// with the base codec, then their subcode with deflate (cdzl and cdlz: after a
// bit for each frame whose sync and ECC were left out, and the base's length).
void decodeCd(Codec codec, std::span<const Byte> in, std::span<Byte> out, const SectorRebuild& rebuild) {
    if (out.size() % kFrameSize != 0) throw Damage("its hunks are not whole CD frames");
    const std::size_t frames = out.size() / kFrameSize;
    std::vector<Byte> buffer(out.size());
    const auto sectors = std::span<Byte>(buffer).first(frames * kCdSectorSize);
    const auto subcode = std::span<Byte>(buffer).subspan(frames * kCdSectorSize);
    std::span<const Byte> leftOut;
    if (codec == kCdFlac) {
        std::uint32_t block = static_cast<std::uint32_t>(sectors.size() / 4);
        while (block > kCdSectorSize) block /= 2;
        const std::size_t used = FlacReader(in, sectors, block, true).decode();
        inflateRaw(in.subspan(used), subcode, "subcode");
    } else {
        const std::size_t lengthBytes = out.size() < 65536 ? 2 : 3, flagBytes = (frames + 7) / 8;
        if (in.size() < flagBytes + lengthBytes) throw Damage("it is too short for its CD header");
        leftOut = in.first(flagBytes);
        std::size_t baseLength = 0;
        for (std::size_t i = 0; i < lengthBytes; ++i) baseLength = baseLength << 8 | in[flagBytes + i];
        const auto rest = in.subspan(flagBytes + lengthBytes);
        if (baseLength > rest.size()) throw Damage("its CD header gives its sectors more bytes than it holds");
        if (codec == kCdLzma)
            decodeLzma(rest.first(baseLength), sectors);
        else
            inflateRaw(rest.first(baseLength), sectors, "sectors' data");
        inflateRaw(rest.subspan(baseLength), subcode, "subcode");
    }
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const auto sector = out.subspan(frame * kFrameSize).first<kCdSectorSize>();
        std::copy_n(sectors.begin() + static_cast<std::ptrdiff_t>(frame * kCdSectorSize), kCdSectorSize,
                    sector.begin());
        std::copy_n(subcode.begin() + static_cast<std::ptrdiff_t>(frame * kSubcodeSize), kSubcodeSize,
                    out.begin() + static_cast<std::ptrdiff_t>(frame * kFrameSize + kCdSectorSize));
        if (!leftOut.empty() && (leftOut[frame / 8] >> (frame % 8) & 1)) {
            std::copy(kSync.begin(), kSync.end(), sector.begin());
            rebuild(sector);
        }
    }
}

}  // namespace

std::string codecName(Codec codec) {
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>(codec >> shift);
        if (c < 0x21 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(codec));
            return hex;
        }
        name += c;
    }
    return name;
}

bool readsCodec(Codec codec) {
    return codec == kZlib || codec == kLzma || codec == kHuff || codec == kFlac || codec == kCdZlib ||
           codec == kCdLzma || codec == kCdFlac;
}

void decompress(Codec codec, std::span<const Byte> in, std::span<Byte> out, const SectorRebuild& rebuild) {
    if (codec == kZlib) return inflateRaw(in, out, "deflate data");
    if (codec == kLzma) return decodeLzma(in, out);
    if (codec == kHuff) return decodeHuffman(in, out);
    if (codec == kFlac) return decodeFlac(in, out);
    if (codec == kCdZlib || codec == kCdLzma || codec == kCdFlac) return decodeCd(codec, in, out, rebuild);
    throw Damage("it is compressed with " + codecName(codec) + ", a codec this program does not read");
}

}  // namespace tolvane::chd
