// What the history's commands share inside the history: the folder's names and
// the records of one disc (record_folder.cpp), the settling of what an
// interrupted command left (settling.cpp), and the choice of the patch a restore
// takes back (choosing.cpp).
#pragma once

#include "history/patch_history.h"
#include "history/patch_record.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tolvane::history {

// One record of a disc as its name tells; its contents are read when needed.
struct Kept {
    std::filesystem::path file;
    RecordName name;
    bool legacy = false;                // an older backup (its contents read with the folder)
    std::optional<PatchRecord> record;  // read and whole
    std::string damage;                 // why it could not be read
    bool read = false;
    bool runningElsewhere = false;  // pending, and the command that keeps it still runs
    bool gone = false;              // dropped: its patch never wrote
};

// What the names in the history's folder tell.
struct Listing {
    std::vector<Kept> ofDisc;  // the disc's records, and the older backups of the image's path
    std::size_t all = 0;       // records and older backups of every disc
    std::int64_t newest = 0;   // when the newest of them all was made (0: none)
};

// The folder's names, and of the disc (when given) its records. Older backups of
// `imagePath` (canonical; none when empty) are read and count as the disc's.
Listing listFolder(const std::filesystem::path& folder, std::optional<std::uint64_t> disc,
                   const std::string& imagePath = {}, const std::vector<Byte>& fingerprint = {});
// Makes room for one more record where kMaxRecords are kept: records already
// taken back go first, then the oldest, down to kMaxRecords - 11.
void trim(const std::filesystem::path& folder);

// The record's contents, read once; false when it is damaged.
bool readKept(Kept& kept);
// The image file the record was made on, as far as it is known (read first).
ImageFile madeOnOf(const Kept& kept);

// Writes a new record, flushed with its name in the folder before it returns,
// in the state given; gives its name.
RecordName writeRecord(const std::filesystem::path& folder, RecordState state, std::int64_t time,
                       std::span<const Byte> fingerprint, const ImageFile& madeOn, std::span<const Byte> before,
                       std::span<const Byte> written, std::span<const Byte> trace = {});

// The image file a command works on, as records name it.
struct ThisImage {
    DiscImage& image;
    ImageFile file;
};
ThisImage thisImage(DiscImage& image);

// Whether the record is of a patch of this disc and prefix layout.
bool fits(const PatchRecord& record, const DiscImage& image);

enum class Holds { Written, Before, Part, Other };
// Whether the image holds what a record's patch wrote, what it replaced, or some
// of each (a write that stopped part way).
Holds whatImageHolds(std::span<const Byte> held, const PatchRecord& record);

// Whether settling may change the records (restore) or only looks (list).
enum class Settling { Change, Look };

struct Unfinished {
    Kept* takeBack = nullptr;  // to be taken back first: a patch or a restore of this file stopped part way
    bool partWay = false;      // the image holds part of what it wrote
    Kept* finished = nullptr;  // a restore of this file that had written everything
};
// Settles the records that commands on this image file left unfinished, by the
// bytes it holds (see the table in settling.cpp).
Unfinished settle(const std::filesystem::path& folder, std::vector<Kept>& records, const ThisImage& here,
                  Settling mode);

// Where settling leaves nothing and no record is of a patch that wrote what the
// image holds: the newest record of which it holds part (a copy of a file
// whose patch or restore stopped part way), to be taken back.
Kept* partlyHeld(std::vector<Kept>& records, const ThisImage& here);

// Adds the event to the record, on the disk before it returns.
void addEvent(Kept& kept, RecordEvent::Kind kind, const ImageFile& file);

// The patch restore takes back from `held`: the newest of those made on this
// file, else the newest of the others where they all put back the same bytes;
// else nothing, and `undecided` lists them, newest first. `taken` are records
// already taken back in this walk; damaged records that might have been it are
// added to `damaged`.
struct Choice {
    Kept* step = nullptr;
    std::vector<Kept*> undecided;
};
Choice choose(std::vector<Kept>& records, const ThisImage& here, std::span<const Byte> held,
              const std::vector<const Kept*>& taken, std::vector<HistoryStep>& damaged);
// The record of that name (a record's file name), if restore could take it
// back from what the image holds; fails otherwise.
Kept& named(std::vector<Kept>& records, const ThisImage& here, const std::string& name);
// The patches restore would take back one by one from `held` on, each with the
// records it has taken back before it, and the damaged records on the way.
std::vector<HistoryStep> walk(std::vector<Kept>& records, const ThisImage& here, std::span<const Byte> held,
                              std::vector<const Kept*> taken);

HistoryStep shown(const Kept& kept, bool interrupted = false);

}  // namespace tolvane::history
