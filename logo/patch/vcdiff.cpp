// Writing VCDIFF deltas (RFC 3284).
#include "logo/patch/vcdiff.h"

#include <algorithm>

namespace tolvane {

namespace {

constexpr Byte kHeader[] = {0xD6, 0xC3, 0xC4, 0x00, 0x00};  // "VCD" with the high bits, version 0, no options
constexpr Byte kVcdSource = 0x01;                           // Win_Indicator: the window copies from the source
constexpr Byte kNoCompression = 0x00;                       // Delta_Indicator

// The default code table's instructions used here: ADD of size 1-17 in the
// code, or of any size after code 1; COPY in address mode 0 (VCD_SELF: the
// address as it is) of size 4-18 in the code, or of any size after code 19.
constexpr Byte kAddSizeFollows = 1;
constexpr std::size_t kLongestAddInCode = 17;
constexpr Byte kCopySizeFollows = 19;
constexpr std::size_t kShortestCopyInCode = 4, kLongestCopyInCode = 18;

// An unchanged gap up to this long goes into the ADD around it: a COPY of it
// would take a code, its size and its address, and the ADD after it a code.
constexpr std::size_t kLongestAddedGap = 6;

// An integer as RFC 3284 writes it: seven bits a byte, the most significant
// first, the top bit set on every byte but the last.
void putInteger(std::vector<Byte>& out, std::uint64_t value) {
    Byte digits[10];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<Byte>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(static_cast<Byte>(digits[--count] | 0x80));
    out.push_back(digits[0]);
}

// One target window's three sections.
struct Window {
    std::vector<Byte> data, instructions, addresses;

    void add(std::span<const Byte> bytes) {
        if (bytes.size() <= kLongestAddInCode) {
            instructions.push_back(static_cast<Byte>(kAddSizeFollows + bytes.size()));
        } else {
            instructions.push_back(kAddSizeFollows);
            putInteger(instructions, bytes.size());
        }
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    // `length` bytes from `address` of the source segment.
    void copy(std::uint64_t address, std::uint64_t length) {
        if (length >= kShortestCopyInCode && length <= kLongestCopyInCode) {
            instructions.push_back(static_cast<Byte>(kCopySizeFollows + 1 + (length - kShortestCopyInCode)));
        } else {
            instructions.push_back(kCopySizeFollows);
            putInteger(instructions, length);
        }
        putInteger(addresses, address);
    }
};

}  // namespace

std::vector<Byte> encodeVcdiff(const FileChange& change) {
    const std::vector<ChangedRun> runs = changedRuns(change, kLongestAddedGap);
    std::vector<Byte> out(std::begin(kHeader), std::end(kHeader));
    auto run = runs.begin();
    for (std::uint64_t start = 0; start < change.fileSize; start += kVcdiffWindowLength) {
        const std::uint64_t length = std::min(kVcdiffWindowLength, change.fileSize - start), end = start + length;
        Window window;
        std::uint64_t at = start;  // the next byte of the target, in the file
        for (; run != runs.end() && change.offset + run->begin < end; ++run) {
            const std::uint64_t from = std::max(change.offset + run->begin, at);
            const std::uint64_t to = std::min(change.offset + run->end, end);
            if (from > at) window.copy(at - start, from - at);
            window.add(change.after.subspan(from - change.offset, to - from));
            at = to;
            if (to < change.offset + run->end) break;  // the run goes on in the next window
        }
        if (at < end) window.copy(at - start, end - at);

        std::vector<Byte> delta;
        putInteger(delta, length);
        delta.push_back(kNoCompression);
        putInteger(delta, window.data.size());
        putInteger(delta, window.instructions.size());
        putInteger(delta, window.addresses.size());
        for (const auto* section : {&window.data, &window.instructions, &window.addresses})
            delta.insert(delta.end(), section->begin(), section->end());

        out.push_back(kVcdSource);
        putInteger(out, length);  // the source segment: the same stretch of the file as it was
        putInteger(out, start);
        putInteger(out, delta.size());
        out.insert(out.end(), delta.begin(), delta.end());
    }
    return out;
}

}  // namespace tolvane
