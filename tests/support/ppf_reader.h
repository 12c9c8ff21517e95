// The tests' own PPF 3.0 patcher: applies a patch to a file in place, or takes
// it back with the patch's undo data, checking what a careful patcher checks.
#pragma once

#include "logo/base/bytes.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tolvane::testing {

struct PpfHeader {
    std::string description;  // the 50 bytes, blanks and all
    bool blockCheck = false;
    bool undoData = false;
};

// Reads the header, then (applying) compares the check block with the file's
// 1024 bytes at 0x9320 and writes each record's new bytes where the file holds
// its old ones, or (undoing) the old bytes where it holds the new. Throws
// std::runtime_error with the reason for a patch laid out otherwise, a block or
// bytes that do not match, or a record past the file's end; the file is then as
// far as the records before.
PpfHeader applyPpf(const std::vector<Byte>& patch, const std::filesystem::path& file, bool undo = false);

}  // namespace tolvane::testing
