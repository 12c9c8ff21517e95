// Patch files by the kind their names ask for.
#include "logo/patch/patch_file.h"

#include "logo/patch/ppf.h"
#include "logo/patch/vcdiff.h"

#include <algorithm>
#include <cctype>

namespace tolvane {

std::optional<PatchFileKind> patchFileKindFor(const std::filesystem::path& file) {
    const std::u8string name = file.extension().u8string();  // any name, on every system
    std::string extension(name.begin(), name.end());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c < 0x80 ? std::tolower(c) : c); });
    if (extension == ".xdelta" || extension == ".vcdiff") return PatchFileKind::Vcdiff;
    if (extension == ".ppf") return PatchFileKind::Ppf;
    return std::nullopt;
}

std::string patchFileKinds() { return ".xdelta or .vcdiff (VCDIFF) or .ppf (PPF 3.0)"; }

std::string describe(PatchFileKind kind) { return kind == PatchFileKind::Vcdiff ? "VCDIFF delta" : "PPF 3.0 patch"; }

std::vector<Byte> encodePatchFile(PatchFileKind kind, const FileChange& change, std::string_view description,
                                  std::span<const Byte> checkBlock) {
    return kind == PatchFileKind::Vcdiff ? encodeVcdiff(change) : encodePpf(change, description, checkBlock);
}

}  // namespace tolvane
