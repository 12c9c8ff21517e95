// A PPF 3.0 patcher for the tests, written from the format's layout.
#include "support/ppf_reader.h"

#include "logo/files/file_io.h"

#include <algorithm>
#include <stdexcept>

namespace tolvane::testing {

namespace {

constexpr std::size_t kHeaderLength = 60, kBlockLength = 1024;
constexpr std::uint64_t kBlockOffset = 0x9320;

void require(bool holds, const std::string& reason) {
    if (!holds) throw std::runtime_error("PPF: " + reason);
}

}  // namespace

PpfHeader applyPpf(const std::vector<Byte>& patch, const std::filesystem::path& path, bool undo) {
    require(patch.size() >= kHeaderLength && std::string(patch.begin(), patch.begin() + 5) == "PPF30",
            "no PPF30 header");
    require(patch[5] == 2, "encoding method " + std::to_string(patch[5]) + ", not 2");
    require(patch[56] == 0, "image type " + std::to_string(patch[56]) + ", not 0 (BIN)");
    require(patch[57] <= 1 && patch[58] <= 1 && patch[59] == 0, "flags other than 0 and 1");
    PpfHeader header{std::string(patch.begin() + 6, patch.begin() + 56), patch[57] == 1, patch[58] == 1};
    require(header.undoData || !undo, "no undo data to take the patch back with");

    File file = File::openForUpdate(path);
    std::size_t at = kHeaderLength;
    if (header.blockCheck) {
        require(patch.size() >= at + kBlockLength, "cut off in its check block");
        std::vector<Byte> block(kBlockLength);
        require(file.readAt(kBlockOffset, block) == kBlockLength, "the file has no block at 0x9320");
        if (!undo)
            require(std::equal(block.begin(), block.end(), patch.begin() + at), "the check block does not match");
        at += kBlockLength;
    }
    const std::size_t perByte = header.undoData ? 2 : 1;
    while (at < patch.size()) {
        require(patch.size() - at >= 9, "a record cut off in its offset or length");
        const std::uint64_t offset = readLe32(patch, at) | std::uint64_t{readLe32(patch, at + 4)} << 32;
        const std::size_t length = patch[at + 8];
        at += 9;
        require(length > 0, "a record of no bytes");
        require(patch.size() - at >= length * perByte, "a record cut off in its bytes");
        const std::span<const Byte> after(patch.data() + at, length);
        const std::span<const Byte> before(patch.data() + at + length, header.undoData ? length : 0);
        at += length * perByte;
        std::vector<Byte> there(length);
        require(file.readAt(offset, there) == length, "a record past the file's end");
        const std::span<const Byte> expected = undo ? after : before, written = undo ? before : after;
        if (header.undoData)
            require(std::equal(there.begin(), there.end(), expected.begin()),
                    "the file does not hold the bytes a record " + std::string(undo ? "wrote" : "replaces") + " at " +
                        std::to_string(offset));
        file.writeAt(offset, written);
    }
    file.close();
    return header;
}

}  // namespace tolvane::testing
