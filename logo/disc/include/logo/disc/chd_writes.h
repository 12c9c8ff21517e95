// A CHD file opened through the file layer; writing a CHD patch
// (logo/chd/chd_patch.h) to it, and taking it back.
#pragma once

#include "logo/chd/chd_image.h"
#include "logo/chd/chd_patch.h"
#include "logo/files/file_io.h"

#include <optional>

namespace tolvane {

// The CHD in the open file, its CD sectors' sync and ECC rebuilt where chdman
// left them out, as chdman does when it reads them.
ChdImage openChdFile(File& file, const std::filesystem::path& path);

// Appends the new hunks and map and flushes them, then writes the header in one
// write and flushes it. A failure before the header's write cuts the file back
// to its old length (it was the old CHD whole all along); the failure says so.
// The file must be as the patch was worked out of (under the writer's lock).
void writeChdPatch(File& file, const ChdPatch& patch);

// Whether the file is exactly as the patch left it (its header, its length and
// the bytes appended), or as a restore stopped after writing the old header
// left it.
bool holdsChdPatch(File& file, const ChdPatchTrace& trace);

// Takes the patch back: writes the old header and flushes, then cuts the file to
// its old length and flushes, giving the file as it was before, byte for byte.
// Refused (Problem::Changed), writing nothing, when the file is not exactly as
// the patch left it.
void undoChdPatch(File& file, const std::filesystem::path& path, const ChdPatchTrace& trace);

// The trace as bytes, for a record of the patch to keep, and back; nothing when
// the bytes are no trace.
std::vector<Byte> encodeChdTrace(const ChdPatchTrace& trace);
std::optional<ChdPatchTrace> decodeChdTrace(std::span<const Byte> bytes);

}  // namespace tolvane
