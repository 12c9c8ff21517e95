// Writing PPF 3.0 patches.
#include "logo/patch/ppf.h"

#include <algorithm>
#include <stdexcept>

namespace tolvane {

namespace {

constexpr std::string_view kMagic = "PPF30";
constexpr Byte kEncodingMethod = 2;  // PPF 3.0
constexpr std::size_t kDescriptionLength = 50;
constexpr Byte kImageTypeBin = 0;
constexpr std::size_t kLongestRecord = 255;
// A record takes an 8-byte offset and a length byte; an unchanged gap up to
// this long costs less carried in the record around it, twice (new and old).
constexpr std::size_t kLongestCarriedGap = 4;

void putLe64(std::vector<Byte>& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<Byte>(value >> (8 * i)));
}

}  // namespace

std::vector<Byte> encodePpf(const FileChange& change, std::string_view description, std::span<const Byte> checkBlock) {
    if (!checkBlock.empty() && checkBlock.size() != kPpfCheckBlockLength)
        throw std::invalid_argument("a PPF check block is 1024 bytes");
    const std::vector<ChangedRun> runs = changedRuns(change, kLongestCarriedGap);
    std::vector<Byte> out;
    for (char c : kMagic) out.push_back(static_cast<Byte>(c));
    out.push_back(kEncodingMethod);
    for (std::size_t i = 0; i < kDescriptionLength; ++i)
        out.push_back(static_cast<Byte>(i < description.size() ? description[i] : ' '));
    out.push_back(kImageTypeBin);
    out.push_back(checkBlock.empty() ? 0 : 1);
    out.push_back(1);  // undo data: each record carries the bytes it replaces
    out.push_back(0);
    out.insert(out.end(), checkBlock.begin(), checkBlock.end());
    for (const ChangedRun& run : runs) {
        for (std::size_t at = run.begin; at < run.end; at += kLongestRecord) {
            const std::size_t length = std::min(kLongestRecord, run.end - at);
            putLe64(out, change.offset + at);
            out.push_back(static_cast<Byte>(length));
            out.insert(out.end(), change.after.begin() + at, change.after.begin() + at + length);
            out.insert(out.end(), change.before.begin() + at, change.before.begin() + at + length);
        }
    }
    return out;
}

}  // namespace tolvane
