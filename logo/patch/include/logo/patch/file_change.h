// A change of some bytes of a file that keeps its length, as patch files carry it.
#pragma once

#include "logo/base/bytes.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tolvane {

struct FileChange {
    std::uint64_t fileSize = 0;    // before and after: the change keeps the file's length
    std::uint64_t offset = 0;      // of the first byte of `before` in the file
    std::span<const Byte> before;  // the bytes as the file holds them
    std::span<const Byte> after;   // what they become; as many
};

// Bytes [begin, end) of a change, counted from its offset.
struct ChangedRun {
    std::size_t begin, end;
    friend bool operator==(const ChangedRun&, const ChangedRun&) = default;
};

// Where before and after differ, in order: each run starts and ends with a
// changed byte, and two runs stand more than `longestGap` unchanged bytes apart
// (a shorter gap costs a patch file less carried along than told apart). Throws
// std::invalid_argument for a change whose spans differ in length or reach past
// the file's end.
std::vector<ChangedRun> changedRuns(const FileChange& change, std::size_t longestGap);

}  // namespace tolvane
