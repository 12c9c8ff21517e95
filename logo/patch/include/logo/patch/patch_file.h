// Patch files by kind: which kind a name asks for, and the file of that kind.
#pragma once

#include "logo/patch/file_change.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

enum class PatchFileKind { Vcdiff, Ppf };

// By the name's extension, in any letter case: .xdelta or .vcdiff, .ppf; none
// for any other.
std::optional<PatchFileKind> patchFileKindFor(const std::filesystem::path& file);

// The kinds and their extensions, for messages: ".xdelta or .vcdiff (VCDIFF) or .ppf (PPF 3.0)".
std::string patchFileKinds();
// "VCDIFF delta", "PPF 3.0 patch".
std::string describe(PatchFileKind kind);

// The patch file of that kind (see encodeVcdiff, encodePpf; a VCDIFF delta has
// no description and needs no check block).
std::vector<Byte> encodePatchFile(PatchFileKind kind, const FileChange& change, std::string_view description,
                                  std::span<const Byte> checkBlock);

}  // namespace tolvane
