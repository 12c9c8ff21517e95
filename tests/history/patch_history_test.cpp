#include "history/patch_history.h"

#include "logo/disc/disc_image_layout.h"
#include "logo/base/failure.h"
#include "logo/base/time_text.h"
#include "logo/files/file_io.h"
#include "history/patch_record.h"
#include "logo/disc/sector_checks.h"
#include "support/disc_builder.h"
#include "support/file_faults.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <tuple>

namespace tolvane {
namespace {

using testing::failureOf;
using testing::makeImage;
using testing::patternLogo;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

class PatchHistoryTest : public ::testing::Test {
protected:
    PatchHistoryTest() { writeFile(image, original); }

    // Puts a logo of the seed's pattern into the image, as the editor does.
    void patch(const std::filesystem::path& path, unsigned seed) {
        ImagePrefix next = testing::readPrefix(path);
        insertLogo(patternLogo(seed), next);
        DiscImage image = DiscImage::open(path, ImageAccess::Update);
        history.patch(image, next);
    }
    std::vector<std::string> recordNames() {
        std::vector<std::string> names;
        for (const auto& name : namesIn(dir / "history")) names.push_back(pathText(name));
        return names;
    }
    // The history emptied, the image as it was, then patched once: what it holds now.
    std::vector<Byte> patchedOnceAfresh() {
        std::filesystem::remove_all(dir / "history");
        writeFile(image, original);
        patch(image, 1);
        return readFile(image);
    }
    // Runs the command with a stop due before change `step` (`part` bytes into a
    // write); whether it stopped.
    static bool stoppedAt(std::size_t step, std::size_t part, const std::function<void()>& command) {
        injectFileStop(step, part);
        bool stopped = false;
        try {
            command();
        } catch (const FileStop&) {
            stopped = true;
        }
        clearFileFaults();
        return stopped;
    }
    std::string nothingLeft(const std::filesystem::path& path, std::size_t kept) {
        return "Nothing was written: " +
               (kept == 1 ? "the only record" : "none of the " + std::to_string(kept) + " records") +
               " of this disc in " + quoted(dir / "history") + (kept == 1 ? " is not" : " is") +
               " of a patch that wrote what " + quoted(path) +
               " holds now (it was changed since by something else, or its patches are taken back already)";
    }

    TempDir dir;
    std::filesystem::path image = dir / "game.bin";
    std::vector<Byte> original = makeImage(30000);
    PatchHistory history{dir / "history"};
};

TEST_F(PatchHistoryTest, TakesPatchesBackOneByOneWhateverTheImageIsCalledOrWhereItIs) {
    patch(image, 1);
    const auto afterFirst = readFile(image);
    std::filesystem::copy_file(image, dir / "copy.bin");
    patch(image, 2);
    std::filesystem::create_directory(dir / "moved");
    const auto moved = dir / "moved" / "renamed.bin";
    std::filesystem::rename(image, moved);

    const auto steps = history.list(moved);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_GT(steps[0].time, steps[1].time);
    EXPECT_EQ(steps[0].damage + steps[1].damage, "");
    EXPECT_EQ(steps[0].file.parent_path(), dir / "history");
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    EXPECT_LE(std::chrono::nanoseconds(now).count() - steps[0].time,
              std::chrono::nanoseconds(std::chrono::minutes(1)).count());

    const RestoreResult first = history.restore(moved);
    EXPECT_EQ(first.restored.file, steps[0].file);
    EXPECT_EQ(first.left, 1u);
    EXPECT_EQ(readFile(moved), afterFirst);
    // The copy made after the first patch holds what it wrote: that patch is its
    // last, and taking it back there takes it from no other copy.
    EXPECT_EQ(history.restore(dir / "copy.bin").left, 0u);
    EXPECT_EQ(readFile(dir / "copy.bin"), original);
    EXPECT_EQ(history.restore(moved).left, 0u);
    EXPECT_EQ(readFile(moved), original);
    EXPECT_TRUE(history.list(moved).empty());
    EXPECT_EQ(failureOf([&] { history.restore(moved); }), nothingLeft(moved, 2));
}

TEST_F(PatchHistoryTest, XThenYThenXAgainComesBackToTheOriginalInThreeRestores) {
    for (const unsigned seed : {1u, 2u, 1u}) patch(image, seed);
    const auto x = readFile(image);
    ASSERT_EQ(history.list(image).size(), 3u);
    history.restore(image);
    EXPECT_NE(readFile(image), x);
    history.restore(image);
    EXPECT_EQ(readFile(image), x);
    EXPECT_EQ(history.restore(image).left, 0u);
    EXPECT_EQ(readFile(image), original);
}

// Two discs patched with the same picture hold the same first bytes: only the
// disc itself tells their records apart.
TEST_F(PatchHistoryTest, KeepsTheRecordsOfDiscsThatHoldTheSameBytesApart) {
    const auto other = dir / "other.bin";
    auto otherBytes = original;
    otherBytes[29000] ^= 0xFF;  // after the prefix: another disc
    ImagePrefix otherPrefix;
    std::copy_n(otherBytes.begin(), otherPrefix.size(), otherPrefix.bytes().begin());
    insertLogo(patternLogo(5), otherPrefix);
    std::copy_n(otherPrefix.bytes().begin(), otherPrefix.size(), otherBytes.begin());
    writeFile(other, otherBytes);
    patch(image, 3);
    patch(other, 3);
    ASSERT_EQ(readFile(image).front(), readFile(other).front());

    history.restore(image);
    EXPECT_EQ(readFile(image), original);
    history.restore(other);
    EXPECT_EQ(readFile(other), otherBytes);
}

// A stop (as when the program is killed) before each change a patch makes to a
// file, and part way through its write: one restore then takes back the last
// patch that happened, whole or in part, and drops the record of one that did
// not; the one before is still there.
TEST_F(PatchHistoryTest, APatchStoppedAtAnyStepLeavesAHistoryThatStillWorks) {
    for (const std::size_t part : {std::size_t{0}, std::size_t{1000}}) {
        for (std::size_t step = 0;; ++step) {
            SCOPED_TRACE("stopped before change " + std::to_string(step) + ", " + std::to_string(part) + " bytes in");
            const auto x = patchedOnceAfresh();
            const bool stopped = stoppedAt(step, part, [&] { patch(image, 2); });
            const bool happened = readFile(image) != x;

            history.restore(image);
            EXPECT_EQ(readFile(image), happened ? x : original);
            for (const std::string& name : recordNames()) EXPECT_EQ(name.find(".pending"), std::string::npos);
            if (happened) history.restore(image);
            EXPECT_EQ(readFile(image), original);
            EXPECT_EQ(failureOf([&] { history.restore(image); }), nothingLeft(image, happened ? 2 : 1));
            if (!stopped) break;
        }
    }
}

// A restore stopped at any step: the next restore finishes it and goes no
// further back, so the image ends one patch back, not two.
TEST_F(PatchHistoryTest, ARestoreStoppedAtAnyStepIsFinishedByTheNext) {
    for (const std::size_t part : {std::size_t{0}, std::size_t{1000}}) {
        for (std::size_t step = 0;; ++step) {
            SCOPED_TRACE("stopped before change " + std::to_string(step) + ", " + std::to_string(part) + " bytes in");
            const auto x = patchedOnceAfresh();
            patch(image, 2);
            const bool stopped = stoppedAt(step, part, [&] { history.restore(image); });
            // Unfinished: the restore shown, then the patch before it; unless it
            // stopped only before the flush of its last mark, which is written.
            if (stopped && history.list(image).size() == 2) history.restore(image);
            EXPECT_EQ(readFile(image), x);
            EXPECT_EQ(history.restore(image).left, 0u);
            EXPECT_EQ(readFile(image), original);
            EXPECT_TRUE(history.list(image).empty());
            if (!stopped) break;
        }
    }
}

// Copies of one disc, and a file copied back in place: each restore takes the
// step made on the file itself, or, where none was, the one every other file
// agrees on; where they disagree it refuses, and --record names the one.
TEST_F(PatchHistoryTest, EachCopyOfADiscWalksBackThroughItsOwnSteps) {
    enum Op {
        Copy,
        Patch,
        PatchStoppedAfterItsFlush,
        PatchStoppedHalfWay,  // its record pending, half of the image's prefix written
        CopyBackInPlace,
        MoveTo,
        OriginalInPlace,  // the original bytes written over the file, by another program
        Restore,
        RestoreFailingToWrite,
        RestoreMadeOn,
        Listed
    };
    constexpr int kRefused = -1;
    struct Step {
        Op op;
        const char* file;
        int seed = 0;            // of the logo patched in, or held after (0: the original)
        const char* other = "";  // copied to; or the file the named record was made on
    };
    const struct {
        const char* what;
        std::vector<Step> steps;
    } cases[] = {
        {"two copies patched with one picture keep their own old logos; a copy of one, patched on neither file, "
         "whose steps disagree, is asked which",
         {{Copy, "game.bin", 0, "a.bin"},
          {Copy, "game.bin", 0, "b.bin"},
          {Patch, "b.bin", 5},
          {Patch, "a.bin", 3},
          {Patch, "b.bin", 3},
          {Copy, "a.bin", 0, "d.bin"},
          {Restore, "d.bin", kRefused},
          {RestoreMadeOn, "d.bin", 5, "b.bin"},
          {Restore, "a.bin", 0},
          {Restore, "b.bin", 5},
          {Restore, "b.bin", 0}}},
        {"restoring one copy takes no step from another",
         {{Patch, "game.bin", 1},
          {Copy, "game.bin", 0, "c.bin"},
          {Patch, "c.bin", 2},
          {Restore, "game.bin", 0},
          {Restore, "c.bin", 1},
          {Restore, "c.bin", 0},
          {Restore, "c.bin", kRefused}}},
        {"a patch stopped after its flush, the image then copied back in place",
         {{Patch, "game.bin", 1},
          {Patch, "game.bin", 2},
          {PatchStoppedAfterItsFlush, "game.bin", 3},
          {CopyBackInPlace, "game.bin"},
          {Listed, "game.bin", 3},
          {Restore, "game.bin", 2},
          {Restore, "game.bin", 1},
          {Restore, "game.bin", 0}}},
        {"a copy of an image whose patch stopped half way takes it back",
         {{Patch, "game.bin", 1},
          {PatchStoppedHalfWay, "game.bin", 2},
          {Copy, "game.bin", 0, "c.bin"},
          {Restore, "c.bin", 1},
          {Restore, "c.bin", 0},
          {Restore, "game.bin", 1},
          {Restore, "game.bin", 0}}},
        {"a pending record is not dropped for another file under its path",
         {{PatchStoppedAfterItsFlush, "game.bin", 1},
          {MoveTo, "game.bin", 0, "d.bin"},
          {Copy, "d.bin", 0, "game.bin"},
          {OriginalInPlace, "game.bin"},
          {Restore, "game.bin", kRefused},
          {Restore, "d.bin", 0}}},
        {"a restore that wrote nothing leaves an ordinary record",
         {{Patch, "game.bin", 1},
          {RestoreFailingToWrite, "game.bin"},
          {OriginalInPlace, "game.bin"},
          {Restore, "game.bin", kRefused},
          {Patch, "game.bin", 1},
          {Restore, "game.bin", 0}}},
    };
    const auto held = [&](const std::filesystem::path& file) {
        const ImagePrefix prefix = testing::readPrefix(file);
        if (std::equal(prefix.bytes().begin(), prefix.bytes().end(), original.begin())) return 0;
        for (int seed = 1; seed < 10; ++seed) {
            if (extractLogo(prefix).logo == patternLogo(static_cast<unsigned>(seed))) return seed;
        }
        return -2;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir / "history");
        for (const char* copy : {"a.bin", "b.bin", "c.bin", "d.bin"}) std::filesystem::remove(dir / copy);
        writeFile(image, original);
        for (const Step& step : c.steps) {
            SCOPED_TRACE(std::to_string(step.op) + " " + step.file + " " + std::to_string(step.seed));
            const auto file = dir / step.file;
            switch (step.op) {
                case Copy: std::filesystem::copy_file(file, dir / step.other); break;
                case Patch: patch(file, static_cast<unsigned>(step.seed)); break;
                case PatchStoppedHalfWay:
                case PatchStoppedAfterItsFlush: {
                    const auto old = readFile(file);
                    // Its last change is the record's "done" mark after the image's flush.
                    const PatchHistory scratch(dir / "scratch");
                    std::filesystem::remove(dir / "scratch.bin");
                    std::filesystem::copy_file(file, dir / "scratch.bin");
                    makeFolders(dir / "scratch");
                    clearFileFaults();
                    ImagePrefix next = testing::readPrefix(file);
                    insertLogo(patternLogo(static_cast<unsigned>(step.seed)), next);
                    DiscImage copy = DiscImage::open(dir / "scratch.bin", ImageAccess::Update);
                    scratch.patch(copy, next);
                    ASSERT_TRUE(stoppedAt(fileChangesCounted() - 1, 0, [&] { patch(file, step.seed); }));
                    ASSERT_EQ(held(file), step.seed);
                    if (step.op == PatchStoppedHalfWay) {
                        auto bytes = readFile(file);
                        std::copy_n(old.begin(), 14000, bytes.begin());
                        writeFile(file, bytes);
                    }
                    break;
                }
                case MoveTo: std::filesystem::rename(file, dir / step.other); break;
                case OriginalInPlace: {
                    std::ofstream(file, std::ios::binary | std::ios::in | std::ios::out)
                        .write(reinterpret_cast<const char*>(original.data()), 28248);
                    break;
                }
                case RestoreFailingToWrite:
                    injectFileFault(FileOperation::Write, 0);  // its mark in the record
                    injectFileFault(FileOperation::Write, EIO);
                    EXPECT_THROW(history.restore(file), Failure);
                    clearFileFaults();
                    break;
                case CopyBackInPlace:
                    std::filesystem::copy_file(file, dir / "t");
                    std::filesystem::rename(dir / "t", file);
                    break;
                case Listed: {
                    const auto steps = history.list(file);
                    EXPECT_EQ(steps.size(), static_cast<std::size_t>(step.seed));
                    for (const HistoryStep& listed : steps) EXPECT_EQ(listed.damage, "");
                    break;
                }
                case Restore:
                    if (step.seed == kRefused) {
                        const auto before = readFile(file);
                        EXPECT_THROW(history.restore(file), Failure);
                        EXPECT_EQ(readFile(file), before);
                    } else {
                        history.restore(file);
                    }
                    break;
                case RestoreMadeOn: {
                    const auto steps = history.list(file);
                    const auto madeOn = pathText(canonicalPath(dir / step.other));
                    const auto named = std::ranges::find(steps, madeOn, &HistoryStep::madeOn);
                    ASSERT_NE(named, steps.end());
                    EXPECT_TRUE(named->choice);
                    history.restore(file, pathText(named->file.filename()));
                    break;
                }
            }
            if ((step.op == Restore && step.seed != kRefused) || step.op == RestoreMadeOn) {
                EXPECT_EQ(held(file), step.seed);
            }
        }
    }
}

// A CHD made without compression, its patch stopped before any change (a
// kill, a power cut): the file stays a CHD holding the old logo or the new one,
// and restore (or the settling it does first) gives the original file back,
// byte for byte, although the patch made it grow.
TEST_F(PatchHistoryTest, ACHDPatchStoppedAnywhereGoesBackToTheOriginalFile) {
    TOLVANE_REQUIRE_CHD_KINDS();
    const auto chd = dir / "game.chd";
    std::filesystem::copy_file(testing::chdKind("cd-mode2-uncompressed.chd"), chd);
    const auto plain = readFile(chd);
    injectFileStop(100000);
    patch(chd, 2);
    const std::size_t steps = fileChangesCounted();
    clearFileFaults();
    ASSERT_GT(readFile(chd).size(), plain.size());
    for (std::size_t step = 0; step < steps; ++step) {
        SCOPED_TRACE("stopped before change " + std::to_string(step));
        std::filesystem::remove_all(dir / "history");
        writeFile(chd, plain);
        ASSERT_TRUE(stoppedAt(step, 0, [&] { patch(chd, 2); }));
        const ImagePrefix held = testing::readPrefix(chd);
        const bool happened = extractLogo(held).logo == patternLogo(2);
        EXPECT_TRUE(happened || extractLogo(held).logo == patternLogo(5));
        if (happened)
            history.restore(chd);
        else
            EXPECT_THROW(history.restore(chd), Failure);  // nothing to take back, once settled
        EXPECT_TRUE(readFile(chd) == plain);
    }
}

TEST_F(PatchHistoryTest, ReportsADamagedRecordAndPromisesOnlyWhatIsTrue) {
    patch(image, 1);
    const auto afterPatch = readFile(image);
    const auto file = history.list(image).at(0).file;
    const auto bytes = readFile(file);
    const std::size_t written =  // where the record holds the bytes the patch wrote
        std::size_t(std::search(bytes.begin(), bytes.end(), afterPatch.begin(), afterPatch.begin() + 28248) -
                    bytes.begin());
    ASSERT_LT(written, bytes.size());
    struct Damage {
        std::size_t at;  // the byte flipped, or the length cut to
        bool cut;
        std::string reason;
    };
    const Damage damages[] = {
        {40, false, "its contents do not match their checksums"},
        {9, false, "its format version is 4100; this program reads versions 3 to 5"},
        {bytes.size() - 1, true,
         "it is " + std::to_string(bytes.size() - 1) + " bytes long; its header says " + std::to_string(bytes.size())},
        {written + 100, false, "its contents do not match their checksums"},  // a byte the patch wrote
    };
    for (const Damage& damage : damages) {
        auto damaged = bytes;
        if (damage.cut)
            damaged.resize(damage.at);
        else
            damaged[damage.at] ^= 0x10;
        writeFile(file, damaged);
        const std::string& reason = damage.reason;
        EXPECT_EQ(history.list(image).at(0).damage, reason);
        EXPECT_EQ(failureOf([&] { history.restore(image); }),
                  "Nothing was written: the record of the last patch of " + quoted(image) + ", " + quoted(file) +
                      ", is damaged (" + reason + "), and no other record is of a patch that wrote what it holds now");
        EXPECT_EQ(readFile(image), afterPatch);
    }

    // A damaged record is passed over for an older one of the same bytes.
    writeFile(file, bytes);
    patch(image, 2);
    patch(image, 1);
    const auto newest = history.list(image).at(0).file;
    writeFile(newest, {1, 2, 3});
    const RestoreResult result = history.restore(image);
    ASSERT_EQ(result.skipped.size(), 1u);
    EXPECT_EQ(result.skipped[0].file, newest);
    EXPECT_EQ(result.restored.file, file);
    EXPECT_EQ(readFile(image), original);
}

void appendLe(std::vector<Byte>& into, std::uint64_t value, int length) {
    for (int i = 0; i < length; ++i) into.push_back(static_cast<Byte>(value >> (8 * i)));
}

// A backup as versions before records wrote it: format 1 (FNV-1a) or 2 (CRC),
// named by a hash of the image's canonical path.
void writeOlderBackup(const std::filesystem::path& folder, const std::filesystem::path& image, std::uint32_t format,
                      unsigned sequence, const std::vector<Byte>& before, const std::vector<Byte>& written) {
    const std::string path = pathText(canonicalPath(image));
    std::vector<Byte> bytes{'T', 'L', 'V', 'U', 'N', 'D', 'O', '\n'};
    const auto le = [&](std::uint64_t value, int length) { appendLe(bytes, value, length); };
    le(format, 4);
    le(before.size(), 4);
    // A day ago, as kept records are younger than a year.
    const std::time_t time = std::time(nullptr) - 24 * 3600 + sequence;
    le(static_cast<std::uint64_t>(time), 8);
    le(path.size(), 4);
    bytes.insert(bytes.end(), path.begin(), path.end());
    bytes.insert(bytes.end(), before.begin(), before.end());
    bytes.insert(bytes.end(), written.begin(), written.end());
    std::uint64_t fnv = 0xcbf29ce484222325, pathHash = 0xcbf29ce484222325;
    for (const Byte b : bytes) fnv = (fnv ^ b) * 0x100000001b3;
    for (const char c : path) pathHash = (pathHash ^ static_cast<Byte>(c)) * 0x100000001b3;
    le(format == 1 ? fnv : computeEdc(bytes), 8);
    char stamp[32], name[96];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::gmtime(&time));
    std::snprintf(name, sizeof name, "%016llx-%s-%u.tolvane-backup", static_cast<unsigned long long>(pathHash), stamp,
                  sequence);
    std::filesystem::create_directories(folder);
    writeFile(folder / name, bytes);
}

TEST_F(PatchHistoryTest, TakesBackPatchesKeptByVersionsBeforeRecords) {
    const auto prefixOf = [&] {
        const auto bytes = readFile(image);
        return std::vector<Byte>(bytes.begin(), bytes.begin() + 28248);
    };
    const auto o = prefixOf();
    patch(image, 1);
    const auto x = prefixOf();
    patch(image, 2);
    const auto y = prefixOf();
    history.restore(image);
    history.restore(image);
    ASSERT_EQ(readFile(image), original);
    writeOlderBackup(dir / "history", image, 1, 1, o, x);
    writeOlderBackup(dir / "history", image, 2, 2, x, y);
    auto held = readFile(image);  // as those versions left it
    std::copy(y.begin(), y.end(), held.begin());
    writeFile(image, held);
    patch(image, 3);

    EXPECT_EQ(history.list(image).size(), 3u);
    for (const auto& expected : {y, x, o}) {
        history.restore(image);
        EXPECT_EQ(prefixOf(), expected);
    }
    EXPECT_EQ(readFile(image), original);
    EXPECT_TRUE(history.list(image).empty());
}

// A record as version 0.3.0 wrote it (format 3: no image file, no events),
// under a name that says its state as 0.3.0 did.
void writeFormat3Record(const std::filesystem::path& folder, const std::vector<Byte>& fingerprint,
                        const std::vector<Byte>& before, const std::vector<Byte>& written, const std::string& state) {
    std::vector<Byte> header{'T', 'L', 'V', 'U', 'N', 'D', 'O', '\n'};
    const auto le = appendLe;
    const std::int64_t time = nanosecondsNow() - 1'000'000'000;
    le(header, 3, 4);
    le(header, before.size(), 4);
    le(header, static_cast<std::uint64_t>(time), 8);
    le(header, fingerprint.size(), 4);
    std::vector<Byte> bytes = header;
    bytes.insert(bytes.end(), fingerprint.begin(), fingerprint.end());
    bytes.insert(bytes.end(), before.begin(), before.end());
    bytes.insert(bytes.end(), written.begin(), written.end());
    le(bytes, bytesChecksum(fingerprint, bytesChecksum(header)), 4);
    le(bytes, bytesChecksum(before), 4);
    le(bytes, bytesChecksum(written), 4);
    const std::string name =
        recordFileName({discHash(fingerprint), time, bytesChecksum(written), bytesChecksum(before)});
    std::filesystem::create_directories(folder);
    writeFile(folder / (name.substr(0, name.size() - 13) + state + ".tolvane-undo"), bytes);
}

// A 0.3.0 record still takes its patch back, on the image and then on a copy: the
// first restore's marks do not damage it for the second. A 0.3.0 restore left
// part way on the image (".restoring-<holder>", the file's identity) is finished.
TEST_F(PatchHistoryTest, TakesBackPatchesKeptByVersion030) {
    const std::vector<Byte> o(original.begin(), original.begin() + 28248);
    patch(image, 1);
    const auto afterPatch = readFile(image);
    const std::vector<Byte> x(afterPatch.begin(), afterPatch.begin() + 28248);
    DiscImage opened = DiscImage::open(image);
    const std::vector<Byte> fingerprint = opened.fingerprint();
    const std::uint64_t identity = opened.fileIdentity();
    opened.close();
    char holder[20];
    std::snprintf(holder, sizeof holder, "%016llx", static_cast<unsigned long long>(identity));
    for (const std::string& state : {std::string(), ".restoring-" + std::string(holder)}) {
        SCOPED_TRACE(state.empty() ? "done" : state);
        std::filesystem::remove_all(dir / "history");
        writeFile(image, afterPatch);
        std::filesystem::remove(dir / "copy.bin");
        std::filesystem::copy_file(image, dir / "copy.bin");
        writeFormat3Record(dir / "history", fingerprint, o, x, state);
        EXPECT_EQ(history.list(image).size(), 1u);
        history.restore(image);
        EXPECT_EQ(readFile(image), original);
        EXPECT_EQ(history.list(dir / "copy.bin").size(), 1u);
        EXPECT_EQ(history.list(dir / "copy.bin").at(0).damage, "");
        history.restore(dir / "copy.bin");
        EXPECT_EQ(readFile(dir / "copy.bin"), original);
    }
}

// At most 300 records of every disc together, those taken back first, then the
// oldest in the history's order; past 300, down to 290, so that records are not
// removed at every patch. Never by the clock: a record two years old stays, and
// one made with a clock two years ahead only sets the time after which the next
// is made.
TEST_F(PatchHistoryTest, KeepsAtMost300RecordsTakenBackFirstAndNeverByTheClock) {
    using namespace std::chrono;
    const std::int64_t now = nanosecondsNow(), minute = nanoseconds(minutes(1)).count();
    const std::int64_t twoYears = nanoseconds(hours(2 * 365 * 24)).count();
    std::filesystem::create_directories(dir / "history");
    const auto record = [&](std::int64_t time) {
        const auto name = recordFileName({0x1234, time, 1, 2});
        writeFile(dir / "history" / name, {0});
        return name;
    };
    const auto count = [&](const std::string& name) {
        const auto names = recordNames();
        return std::count(names.begin(), names.end(), name);
    };
    const std::string old = record(now - twoYears), ahead = record(now + twoYears);
    patch(image, 1);
    EXPECT_EQ(count(old) + count(ahead), 2) << "records leave by count alone";
    EXPECT_GT(history.list(image).at(0).time, now + twoYears) << "after the newest, whatever the clock says";
    history.restore(image);  // taken back: goes first
    const auto takenBack = recordNames();

    std::vector<std::string> recent;
    for (int i = 0; i < 296; ++i) recent.push_back(record(now - (300 - i) * minute));
    writeFile(dir / "history" / "0123456789abcdef-20200101-000000-1.tolvane-backup", {0});
    writeFile(dir / "history" / "notes.txt", {0});
    ASSERT_EQ(recordNames().size(), 301u) << "300 records, and the file that is none";
    patch(image, 2);
    EXPECT_EQ(recordNames().size(), 291u) << "290 records, and the file that is none";
    for (const std::string& name : takenBack) {
        if (name != old && name != ahead) {
            EXPECT_EQ(count(name), 0) << "taken back, though the newest but one";
        }
    }
    EXPECT_EQ(count(old), 0);
    EXPECT_EQ(count(ahead), 1) << "the newest in the history's order";
    for (int i = 0; i < 296; ++i) EXPECT_EQ(count(recent[i]), i < 8 ? 0 : 1) << i;
    EXPECT_EQ(history.list(image).size(), 1u) << "the newest record stays";
}

TEST_F(PatchHistoryTest, WritesNothingWhenNoRecordCanBeKept) {
    writeFile(dir / "history", {1});  // a file where the folder should be
    const std::string prefix =
        "Cannot keep a record of the patch of " + quoted(image) + " in " + quoted(dir / "history") + ": ";
    const std::string failure = failureOf([&] { patch(image, 1); });
    EXPECT_EQ(failure.rfind("Nothing was written: " + prefix, 0), 0u) << failure;
    EXPECT_EQ(readFile(image), original);
    EXPECT_EQ(failureOf([&] { history.checkUsable(image); }).rfind(prefix, 0), 0u);

    // The check makes nothing: not the folder, not the folders above it.
    const PatchHistory deeper(dir / "a" / "b");
    EXPECT_EQ(failureOf([&] { deeper.checkUsable(image); }), "(no failure)");
    EXPECT_FALSE(std::filesystem::exists(dir / "a"));
}

TEST(PatchHistoryFolder, IsTheProgramsFolderInTheUsersDataFolder) {
    EXPECT_EQ(PatchHistory::forUser().folder(), testing::testUserDataFolder() / "tolvane-editor");
    TempDir elsewhere;
    testing::UserDataFolder scoped(elsewhere.path());
    EXPECT_EQ(PatchHistory::forUser().folder(), elsewhere.path() / "tolvane-editor");
}

// A patch that failed and left the image as it was leaves no record behind, and
// the records before it stay.
TEST_F(PatchHistoryTest, AFailedPatchLeavesTheHistoryAsItWas) {
    patch(image, 1);
    const auto before = recordNames();
    const auto afterFirst = readFile(image);
    const struct {
        const char* fails;
        std::vector<std::pair<FileOperation, int>> faults;
        std::string says;
    } cases[] = {
        {"the record's flush", {{FileOperation::Flush, EIO}}, "Nothing was written: Cannot keep a record"},
#ifndef _WIN32  // a folder is flushed with the move that names the file there
        {"the flush of the record's folder",
         {{FileOperation::FolderFlush, EIO}},
         "Nothing was written: Cannot keep a record"},
#endif
        {"the image's flush", {{FileOperation::Flush, 0}, {FileOperation::Flush, EIO}}, "so the image is as before"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fails);
        for (const auto& [operation, error] : c.faults) injectFileFault(operation, error);
        const std::string failure = failureOf([&] { patch(image, 9); });
        EXPECT_NE(failure.find(c.says), std::string::npos) << failure;
        clearFileFaults();
        EXPECT_EQ(readFile(image), afterFirst);
        EXPECT_EQ(recordNames(), before);
    }
    history.restore(image);
    EXPECT_EQ(readFile(image), original);
}

// A failure after the image's bytes are on the disk says so: the patch happened,
// and it is recorded.
TEST_F(PatchHistoryTest, AFailureAfterTheFlushSaysTheImageHoldsTheNewLogo) {
    // Reading, the record made, the record's lock; then the image.
    for (int skipped = 0; skipped < 3; ++skipped) injectFileFault(FileOperation::Close, 0);
    injectFileFault(FileOperation::Close, EIO);
    std::string said = "(no failure after the write)";
    try {
        patch(image, 1);
    } catch (const FailureAfterWrite& failure) {
        said = failure.what();
    }
    clearFileFaults();
    EXPECT_EQ(said, "The new logo is written into " + quoted(image) +
                        " and flushed to the disk, but then: Cannot close " + quoted(image) + ": " +
                        std::strerror(EIO));
    EXPECT_EQ(extractLogo(testing::readPrefix(image)).logo, patternLogo(1));
    history.restore(image);
    EXPECT_EQ(readFile(image), original);
}

TEST_F(PatchHistoryTest, ACueSheetFindsTheHistoryOfItsImage) {
    writeFile(dir / "game.cue",
              {'F', 'I', 'L', 'E', ' ', 'g', 'a', 'm', 'e', '.', 'b', 'i', 'n', ' ', 'B', 'I', 'N', 'A', 'R', 'Y', '\n',
               'T', 'R', 'A', 'C', 'K', ' ', '0', '1', ' ', 'M', 'O', 'D', 'E', '2', '/', '2', '3', '5', '2', '\n'});
    patch(image, 1);  // the editor patches the image file a sheet names
    EXPECT_EQ(history.list(dir / "game.cue").size(), 1u);
    history.restore(dir / "game.cue");
    EXPECT_EQ(readFile(image), original);
}

// Names say what they hold, and no other name passes for one.
TEST(RecordNames, ReadBackAsWrittenAndRefuseOthers) {
    const RecordName done{0x0123456789abcdef, 1'740'837'909'123'456'789, 0xdeadbeef, 0x01020304};
    for (const RecordName& name :
         {done, done.in(RecordState::Pending, 0xfedcba9876543210), done.in(RecordState::Restoring, 7)}) {
        const auto read = parseRecordName(recordFileName(name));
        ASSERT_TRUE(read) << recordFileName(name);
        EXPECT_EQ(std::tie(read->disc, read->time, read->written, read->before, read->state, read->holder),
                  std::tie(name.disc, name.time, name.written, name.before, name.state, name.holder));
    }
    EXPECT_EQ(recordFileName(done), "0123456789abcdef-20250301-140509-123456789-deadbeef-01020304.tolvane-undo");
    for (const char* other :
         {"0123456789abcdef-20250301-140509-123456789-deadbeef-01020304.tolvane-backup",
          "0123456789abcdef-20251301-140509-123456789-deadbeef-01020304.tolvane-undo",
          "0123456789abcdeF-20250301-140509-123456789-deadbeef-01020304.tolvane-undo",
          "0123456789abcdef-20250301-140509-123456789-deadbeef-01020304.done-0000000000000007.tolvane-undo",
          "0123456789abcdef-20250301-140509-123456789-deadbeef-01020304.pending-7.tolvane-undo", ".tolvane-undo"})
        EXPECT_FALSE(parseRecordName(other)) << other;
}

}  // namespace
}  // namespace tolvane
