#include "editor/editor.h"

#include "fake_window.h"
#include "logo/base/failure.h"
#include "logo/files/file_io.h"
#include "logo/picture/picture_file.h"
#include "history/patch_history.h"
#include "logo/picture/png_exchange.h"
#include "logo/disc/sector_checks.h"
#include "support/file_faults.h"
#include "support/disc_builder.h"
#include "support/ppf_reader.h"
#include "support/test_files.h"
#include "tolvane_version.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace tolvane {
namespace {

using testing::FakeWindow;
using testing::makeImage;
using testing::patternLogo;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

constexpr std::size_t kPrefix = 28248;

class CurrentFolder {
public:
    explicit CurrentFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolder() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

class EditorTest : public ::testing::Test {
protected:
    EditorTest() {
        writeFile(image, makeImage(kPrefix + 5000));
        exportBitmap(bitmap, pictureOf(patternLogo(7)));
        editor.Form_Load();
    }

    Enablement buttons() const {
        return {window.enabled.at(Button::bnsauvbmp), window.enabled.at(Button::bnouvbmp),
                window.enabled.at(Button::bnpatch)};
    }
    void open(const std::filesystem::path& path) {
        window.willChoose(Dialog::dialouvrir, path);
        editor.bnouvimg_Click();
    }
    void importBitmap(const std::filesystem::path& path) {
        window.willChoose(Dialog::dialouvbmp, path);
        editor.bnouvbmp_Click();
    }
    void save(const std::filesystem::path& path) {
        window.willChoose(Dialog::dialsauvbmp, path);
        editor.bnsauvbmp_Click();
    }
    LogoImage logoInFile(const std::filesystem::path& path) { return extractLogo(testing::readPrefix(path)).logo; }

    TempDir dir;
    std::filesystem::path image = dir / "game.bin";
    std::filesystem::path bitmap = dir / "edited.bmp";
    FakeWindow window;
    Editor editor{window};
};

TEST_F(EditorTest, StartsWithOnlyOpenImageAndQuitAvailable) {
    const std::vector<std::pair<Button, bool>> expected{
        {Button::bnsauvbmp, false}, {Button::bnouvbmp, false}, {Button::bnpatch, false}};
    EXPECT_EQ(window.enableCalls, expected);
    EXPECT_EQ(window.status, "Tolvane Editor " TOLVANE_VERSION ": open a disc image to begin");
    editor.bnsauvbmp_Click();
    editor.bnouvbmp_Click();
    editor.bnpatch_Click();
    // The view's settings wait for an image: nothing to draw yet.
    editor.setConsoleView(true);
    editor.setPal(true);
    editor.setKey(0x42);
    editor.setConsoleView(false);
    EXPECT_TRUE(window.dialogsShown.empty());
    EXPECT_TRUE(window.failures.empty());
    EXPECT_TRUE(window.presented.empty());
    EXPECT_TRUE(window.pictures.empty());
    EXPECT_FALSE(editor.state().imagePrefix);
    EXPECT_FALSE(window.ended);
}

TEST_F(EditorTest, CancellingTheFirstOpenChangesNothing) {
    editor.bnouvimg_Click();
    EXPECT_EQ(buttons(), Enablement{});
    EXPECT_TRUE(window.presented.empty());
    EXPECT_TRUE(editor.state().imagePath.empty());
}

TEST_F(EditorTest, OpenImageShowsTheLogoAndEnablesTheBitmapCommands) {
    open(image);
    ASSERT_EQ(window.presented.size(), 1u);
    EXPECT_EQ(window.presented[0], extractLogo(testing::readPrefix(image)).logo);
    EXPECT_EQ(buttons(), (Enablement{true, true, false}));
    EXPECT_EQ(editor.state().imagePath, image);
    EXPECT_EQ(window.status,
              "Opened game.bin: raw 2352-byte sectors, user data at 24, serial unknown: no ISO 9660 volume descriptor");
}

TEST_F(EditorTest, CancellingASecondOpenKeepsTheFirstImageWithoutRereadingIt) {
    open(image);
    std::filesystem::remove(image);
    editor.bnouvimg_Click();
    EXPECT_TRUE(window.failures.empty());
    EXPECT_EQ(window.presented.size(), 1u);
    EXPECT_EQ(editor.state().imagePath, image);
    EXPECT_EQ(buttons(), (Enablement{true, true, false}));
}

TEST_F(EditorTest, OpenBitmapThenPatchWritesTheLogoAndEndsTheCycle) {
    open(image);
    importBitmap(bitmap);
    EXPECT_EQ(buttons(), (Enablement{true, true, true}));
    EXPECT_EQ(window.presented.size(), 1u) << "Open Bitmap must not redraw the view";
    EXPECT_EQ(window.status, "Imported edited.bmp - press Patch to write it into game.bin");
    EXPECT_EQ(logoInFile(image), extractLogo(testing::readPrefix(image)).logo) << "the file is untouched before Patch";
    EXPECT_NE(logoInFile(image), patternLogo(7));

    editor.bnpatch_Click();
    EXPECT_EQ(logoInFile(image), patternLogo(7));
    EXPECT_EQ(readFile(image).size(), kPrefix + 5000);
    EXPECT_EQ(buttons(), Enablement{});
    EXPECT_EQ(window.status, "Patched game.bin; Ctrl+Z takes the patch back");

    const auto afterPatch = readFile(image);
    editor.bnpatch_Click();
    EXPECT_EQ(readFile(image), afterPatch);
    EXPECT_TRUE(window.failures.empty());
}

// Save as patch file waits for Open Bitmap, writes the change Patch would make
// and leaves the image, the buttons and Patch as they were; a failure is told.
TEST_F(EditorTest, SaveAsPatchFileWritesWhatPatchWouldAndLeavesTheImage) {
    testing::UserDataFolder data(dir / "data");
    editor.mnusauvpatch_Click();
    open(image);
    editor.mnusauvpatch_Click();
    EXPECT_TRUE(window.dialogsShown == std::vector<Dialog>{Dialog::dialouvrir}) << "asked before Open Bitmap";
    importBitmap(bitmap);
    const auto before = readFile(image);

    // An image that may only be read (a read-only mount, here a fault for the
    // next open for writing) gives its patch file all the same; Patch cannot write it.
    injectFileFault(FileOperation::Open, EROFS);
    window.willChoose(Dialog::dialsauvpatch, dir / "logo.ppf");
    editor.mnusauvpatch_Click();
    ASSERT_TRUE(std::filesystem::exists(dir / "logo.ppf")) << window.status;
    EXPECT_TRUE(window.status.starts_with("Saved logo.ppf, a PPF 3.0 patch of ")) << window.status;
    EXPECT_TRUE(window.status.ends_with(" bytes for game.bin, which was not changed")) << window.status;
    editor.bnpatch_Click();
    clearFileFaults();
    EXPECT_EQ(window.failures,
              std::vector<std::string>{"Cannot open " + quoted(image) + " for writing: " + std::strerror(EROFS)});
    EXPECT_EQ(readFile(image), before);
    EXPECT_EQ(buttons(), (Enablement{true, true, true}));
    EXPECT_FALSE(std::filesystem::exists(dir / "data" / "tolvane-editor")) << "a patch file keeps no record";
    testing::applyPpf(readFile(dir / "logo.ppf"), image);
    EXPECT_EQ(logoInFile(image), patternLogo(7));

    // The image changed since it was opened (the patch applied): refused; a name of no patch file's kind too.
    window.willChoose(Dialog::dialsauvpatch, dir / "logo.xdelta");
    editor.mnusauvpatch_Click();
    EXPECT_EQ(window.failures.back(),
              "Nothing was written: " + quoted(image) + " changed on disk since it was opened; open it again");
    EXPECT_FALSE(editor.savePatchFile(bitmap));
    EXPECT_EQ(window.failures.back(), "Cannot save a patch file as " + quoted(bitmap) +
                                          ": its name must end in .xdelta or .vcdiff (VCDIFF) or .ppf (PPF 3.0)");
    EXPECT_FALSE(std::filesystem::exists(dir / "logo.xdelta"));
}

// A disc whose root directory cannot be read (a failing disk) opens, saying its
// game was not read; what needs the game (the console view, a patch file) is
// refused with the reason and changes nothing. In console view it does not open.
TEST_F(EditorTest, AGameThatCouldNotBeReadRefusesWhatNeedsIt) {
    writeFile(image, testing::buildDisc({.logo = patternLogo(3)}, kRawMode2Layout));
    const std::string failed = "Cannot read " + quoted(image) + ": " + std::strerror(EIO);
    const auto openFailingAtTheRootDirectory = [&] {
        injectFileFault(FileOperation::Read, 0);  // the start of the file, for a CUE sheet
        injectFileFault(FileOperation::Read, 0);  // the first bytes
        injectFileFault(FileOperation::Read, EIO);
        open(image);
        clearFileFaults();
    };
    editor.setConsoleView(true);
    openFailingAtTheRootDirectory();
    EXPECT_EQ(window.failures, std::vector<std::string>{failed});
    EXPECT_FALSE(editor.state().imageOnDisk.has_value());

    editor.setConsoleView(false);
    openFailingAtTheRootDirectory();
    ASSERT_TRUE(editor.state().imageOnDisk.has_value()) << window.status;
    EXPECT_NE(window.status.find(", serial not read: " + failed), std::string::npos) << window.status;
    editor.setConsoleView(true);
    EXPECT_EQ(window.failures, std::vector<std::string>(2, failed));
    EXPECT_FALSE(editor.state().consoleView);
    EXPECT_EQ(window.viewOptions, std::make_pair(false, false)) << "the tick goes back";

    importBitmap(bitmap);
    window.willChoose(Dialog::dialsauvpatch, dir / "logo.ppf");
    editor.mnusauvpatch_Click();
    EXPECT_EQ(window.failures, std::vector<std::string>(3, failed));
    EXPECT_FALSE(std::filesystem::exists(dir / "logo.ppf"));
}

TEST_F(EditorTest, TakingThePatchBackAsksThenShowsTheLogoTheImageHoldsAgain) {
    testing::UserDataFolder data(dir / "data");
    const auto original = readFile(image);
    const LogoImage originalLogo = logoInFile(image);
    EXPECT_FALSE(editor.takeBackLastPatch());
    EXPECT_TRUE(window.questions.empty()) << "nothing is open: nothing to ask";

    open(image);
    importBitmap(bitmap);
    ASSERT_EQ(editor.patch(), PatchOutcome::Patched);
    open(image);
    importBitmap(bitmap);  // the same logo again, not patched
    EXPECT_FALSE(editor.takeBackLastPatch()) << "the person said no";
    EXPECT_EQ(logoInFile(image), patternLogo(7));
    ASSERT_EQ(window.questions.size(), 1u);
    EXPECT_EQ(window.questions[0],
              "Take the last patch of game.bin back? The image gets the logo it had before that "
              "patch. The imported logo, not yet patched, is dropped.");

    window.answerYes = true;
    EXPECT_TRUE(editor.takeBackLastPatch());
    EXPECT_EQ(readFile(image), original);
    EXPECT_EQ(window.presented.back(), originalLogo);
    EXPECT_EQ(buttons(), (Enablement{true, true, false}));
    EXPECT_EQ(window.status.rfind("Took back the patch of ", 0), 0u) << window.status;
    EXPECT_TRUE(window.status.ends_with(": game.bin holds the logo it had before it")) << window.status;

    EXPECT_FALSE(editor.takeBackLastPatch());
    ASSERT_EQ(window.failures.size(), 1u);
    EXPECT_EQ(window.failures[0].rfind("Nothing was written: the only record of this disc in ", 0), 0u);
    EXPECT_EQ(readFile(image), original);
}

// Ctrl+Z with each read failing in turn (a disk going bad): the message says
// the patch was taken back whenever it was, also when the image could not be
// read again after it.
TEST_F(EditorTest, TakingThePatchBackSaysSoWhicheverReadFails) {
    testing::UserDataFolder data(dir / "data");
    const auto original = readFile(image);
    window.answerYes = true;
    bool takenBackUnread = false;
    for (int readsBefore = 0; readsBefore < 16; ++readsBefore) {
        SCOPED_TRACE("reads before the failing one: " + std::to_string(readsBefore));
        std::filesystem::remove_all(dir / "data");
        writeFile(image, original);
        open(image);
        importBitmap(bitmap);
        ASSERT_EQ(editor.patch(), PatchOutcome::Patched) << window.status;
        window.failures.clear();
        for (int i = 0; i < readsBefore; ++i) injectFileFault(FileOperation::Read, 0);
        injectFileFault(FileOperation::Read, EIO);
        const bool done = editor.takeBackLastPatch();
        clearFileFaults();
        if (done) {
            EXPECT_EQ(readFile(image), original);
            continue;
        }
        ASSERT_EQ(window.failures.size(), 1u);
        const std::string& said = window.failures[0];
        const bool takenBack = said.find(" holds the logo it had before it, but then: ") != std::string::npos ||
                               said.find(" are written back into ") != std::string::npos;
        EXPECT_EQ(takenBack, readFile(image) == original) << said;
        takenBackUnread = takenBackUnread || (takenBack && said.ends_with("; open it again to see it"));
    }
    EXPECT_TRUE(takenBackUnread) << "no run failed to read the image again";
}

TEST_F(EditorTest, PatchWritesNothingWhenItsRecordCannotBeKept) {
    writeFile(dir / "data", {1});  // a file where the data folder should be
    testing::UserDataFolder data(dir / "data");
    const auto original = readFile(image);
    open(image);
    importBitmap(bitmap);
    EXPECT_EQ(editor.patch(), PatchOutcome::Failed);
    ASSERT_EQ(window.failures.size(), 1u);
    EXPECT_EQ(window.failures[0].rfind("Nothing was written: Cannot keep a record of the patch of " + quoted(image) +
                                           " in " + quoted(dir / "data" / "tolvane-editor") + ": ",
                                       0),
              0u)
        << window.failures[0];
    EXPECT_EQ(readFile(image), original);
    EXPECT_EQ(buttons(), (Enablement{true, true, true})) << "Patch stays ready";
}

// A compressed CHD image opens and its logo is shown, with a word that it cannot be
// patched (which one made without compression can); Patch and Save as patch file say
// plainly why they cannot write one, in a line in the status, and write nothing anywhere.
TEST_F(EditorTest, ACHDIsShownButNeitherPatchedNorMadeAPatchFileOf) {
    TOLVANE_REQUIRE_CHD_KINDS();
    testing::UserDataFolder data(dir / "data");
    std::filesystem::copy_file(testing::chdKind("cd-mode2-uncompressed.chd"), dir / "plain.chd");
    open(dir / "plain.chd");
    EXPECT_EQ(window.status,
              "Opened plain.chd: raw 2352-byte sectors, user data at 24, SLUS_200.01, NTSC; a CHD image");
    const auto chd = dir / "game.chd";
    std::filesystem::copy_file(testing::chdKind("cd-mode2.chd"), chd);
    const auto original = readFile(chd);
    open(chd);
    ASSERT_TRUE(window.failures.empty()) << window.failures[0];
    EXPECT_EQ(window.status,
              "Opened game.chd: raw 2352-byte sectors, user data at 24, SLUS_200.01, NTSC; a compressed CHD image\n"
              "Warning: it can be read but not patched in place; to patch it, open a copy made with chdman copy -c "
              "none");
    EXPECT_EQ(extractLogo(*editor.state().imageOnDisk).logo, patternLogo(5));  // write_chd_discs' logo
    importBitmap(bitmap);

    EXPECT_EQ(editor.patch(), PatchOutcome::Failed);
    ASSERT_EQ(window.failures.size(), 1u);
    EXPECT_TRUE(window.failures[0].starts_with("Nothing was written: " + quoted(chd) +
                                               " cannot be patched in place: it is a compressed CHD"))
        << window.failures[0];
    EXPECT_EQ(window.status, "Nothing was written: " + quoted(chd) +
                                 " is a compressed CHD, which cannot be patched in place; patch a copy made with "
                                 "chdman copy -c none");
    window.willChoose(Dialog::dialsauvpatch, dir / "logo.xdelta");
    editor.mnusauvpatch_Click();
    ASSERT_EQ(window.failures.size(), 2u);
    EXPECT_TRUE(window.failures[1].starts_with("No patch file was written: " + quoted(chd) +
                                               " is a CHD image, and a patch file of a compressed file helps nobody"))
        << window.failures[1];
    EXPECT_EQ(readFile(chd), original);
    EXPECT_FALSE(std::filesystem::exists(dir / "logo.xdelta"));
    EXPECT_FALSE(std::filesystem::exists(dir / "data" / "tolvane-editor"));
    EXPECT_EQ(buttons(), (Enablement{true, true, true})) << "the edit stays as it was";
}

// A dry run writes nothing anywhere: no folder for the records, no probe, no
// temporary file; every change of a file would go through the file layer.
TEST_F(EditorTest, CheckingAPatchChangesNoFile) {
    testing::UserDataFolder data(dir / "data");  // not made yet
    EditorCommands core;
    core.open(image);
    core.importPicture(bitmap);
    const auto names = namesIn(dir.path());
    const auto bytes = readFile(image);
    clearFileFaults();  // counts the changes from here
    EXPECT_TRUE(core.checkPatch());
    EXPECT_EQ(fileChangesCounted(), 0u);
    EXPECT_EQ(namesIn(dir.path()), names);
    EXPECT_EQ(readFile(image), bytes);

    writeFile(dir / "data", {1});  // where no record can be kept
    const std::string failure = testing::failureOf([&] { core.checkPatch(); });
    EXPECT_EQ(failure.rfind("Cannot keep a record of the patch of " + quoted(image), 0), 0u) << failure;
}

TEST_F(EditorTest, PatchAfterOpeningAnotherImageSaysThereIsNothingToPatch) {
    const auto other = dir / "other.bin";
    auto otherBytes = makeImage(kPrefix + 10);
    otherBytes[100] ^= 0xFF;
    writeFile(other, otherBytes);
    const auto firstBytes = readFile(image);

    open(image);
    importBitmap(bitmap);
    open(other);
    EXPECT_EQ(buttons(), (Enablement{true, true, true}));
    EXPECT_EQ(editor.patch(), PatchOutcome::NothingToPatch);
    EXPECT_EQ(window.status, "Nothing to patch: other.bin already holds this logo");
    EXPECT_EQ(buttons(), (Enablement{true, true, true}));
    EXPECT_TRUE(window.failures.empty());
    EXPECT_EQ(readFile(other), otherBytes);
    EXPECT_EQ(readFile(image), firstBytes);
}

TEST_F(EditorTest, AFileThatIsNoDiscOpensWithAWarningAndIsPatchedOnlyWhenThePersonSaysSo) {
    const auto notes = dir / "notes.txt";
    const std::vector<Byte> text(100000, 'a');
    writeFile(notes, text);
    open(notes);
    EXPECT_NE(window.status.find("\nWarning: it does not look like a disc image"), std::string::npos) << window.status;
    importBitmap(bitmap);

    EXPECT_EQ(editor.patch(), PatchOutcome::Declined);
    ASSERT_EQ(window.questions.size(), 1u);
    EXPECT_EQ(window.questions[0].rfind("notes.txt does not look like a disc image", 0), 0u) << window.questions[0];
    EXPECT_EQ(readFile(notes), text);
    EXPECT_EQ(buttons(), (Enablement{true, true, true}));

    window.answerYes = true;
    EXPECT_EQ(editor.patch(), PatchOutcome::Patched);
    EXPECT_EQ(logoInFile(notes), patternLogo(7));
}

TEST_F(EditorTest, SaveBitmapNeverReplacesTheImageItself) {
    open(image);
    const auto before = readFile(image);
    std::filesystem::create_hard_link(image, dir / "same.bin");
    for (const auto& target : {image, dir / "same.bin"}) {
        EXPECT_FALSE(editor.saveBitmap(target));
        EXPECT_EQ(window.failures.back(), "Cannot save the logo to " + quoted(target) +
                                              ": it is the disc image the logo comes from; choose another name");
    }
    EXPECT_EQ(readFile(image), before);
}

// Through a CUE sheet whose data track follows an audio track in the same file:
// the window's whole edit reads, patches and takes back the track's logo, never
// a byte of the audio, and Save Bitmap never replaces the sheet.
TEST_F(EditorTest, ACueSheetsDataTrackAfterAudioGoesThroughTheWholeEditAndTheAudioStays) {
    testing::UserDataFolder data(dir / "data");
    std::vector<Byte> file = makeImage(200 * 2352);
    const std::ptrdiff_t start = std::ptrdiff_t(file.size());
    const auto disc = testing::buildDisc({.logo = patternLogo(2)}, kRawMode2Layout);
    file.insert(file.end(), disc.begin(), disc.end());
    writeFile(dir / "disc.bin", file);
    const std::string sheet =
        "FILE \"disc.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
        " TRACK 02 MODE2/2352\n  INDEX 01 00:02:50\n";
    writeFile(dir / "disc.cue", std::vector<Byte>(sheet.begin(), sheet.end()));
    const auto audioStays = [&] {
        const auto now = readFile(dir / "disc.bin");
        return now.size() == file.size() && std::equal(file.begin(), file.begin() + start, now.begin());
    };

    open(dir / "disc.cue");
    EXPECT_EQ(window.status, "Opened disc.bin: raw 2352-byte sectors, user data at 24, SLUS_200.01, NTSC");
    ASSERT_EQ(window.presented.size(), 1u);
    EXPECT_EQ(window.presented[0], patternLogo(2));
    EXPECT_FALSE(editor.saveBitmap(dir / "disc.cue"));
    EXPECT_EQ(window.failures.back(), "Cannot save the logo to " + quoted(dir / "disc.cue") +
                                          ": it is the CUE sheet the disc image was opened through; choose another "
                                          "name");
    EXPECT_EQ(readFile(dir / "disc.cue"), std::vector<Byte>(sheet.begin(), sheet.end()));

    ASSERT_TRUE(editor.saveBitmap(dir / "old.bmp"));
    EXPECT_EQ(logoOf(tolvane::importBitmap(dir / "old.bmp").picture), patternLogo(2));
    importBitmap(bitmap);
    ASSERT_EQ(editor.patch(), PatchOutcome::Patched) << window.status;
    EXPECT_TRUE(audioStays());
    EXPECT_EQ(extractLogo(testing::readPrefix(dir / "disc.cue")).logo, patternLogo(7));
    const auto patched = readFile(dir / "disc.bin");
    EXPECT_TRUE(std::equal(file.begin() + start + 12 * 2352, file.end(), patched.begin() + start + 12 * 2352));

    window.answerYes = true;
    ASSERT_TRUE(editor.takeBackLastPatch()) << window.status;
    EXPECT_EQ(readFile(dir / "disc.bin"), file);
    EXPECT_EQ(window.presented.back(), patternLogo(2));
}

TEST_F(EditorTest, SaveBitmapAfterOpenBitmapWritesTheImportedLogo) {
    open(image);
    importBitmap(bitmap);
    save(dir / "again.bmp");
    EXPECT_EQ(logoOf(tolvane::importBitmap(dir / "again.bmp").picture), patternLogo(7));
    EXPECT_EQ(editor.state().bitmapPixels(), toBitmapRows(pictureOf(patternLogo(7))));
    EXPECT_EQ(window.presented.size(), 1u);
    EXPECT_EQ(buttons(), (Enablement{true, true, true}));
}

// The template in the working folder heads the bitmap once checked; a damaged one
// is refused, and nothing is written.
TEST_F(EditorTest, SaveBitmapUsesACheckedTemplateInTheWorkingFolderOrTheBuiltInHeader) {
    open(image);
    BitmapHeader custom = builtInBitmapHeader();
    custom[38] = 0x13;  // another resolution
    {
        CurrentFolder here(dir.path());
        save(dir / "plain.bmp");
        writeFile(dir / "ettbmp.hed", {custom.begin(), custom.end()});
        save(dir / "custom.bmp");
        writeFile(dir / "ettbmp.hed", std::vector<Byte>(1078, 0x42));
        save(dir / "refused.bmp");
    }
    const auto plain = readFile(dir / "plain.bmp");
    const auto saved = readFile(dir / "custom.bmp");
    EXPECT_TRUE(std::equal(builtInBitmapHeader().begin(), builtInBitmapHeader().end(), plain.begin()));
    EXPECT_TRUE(std::equal(custom.begin(), custom.end(), saved.begin()));
    EXPECT_EQ(saved.size(), 25654u);
    ASSERT_EQ(window.failures.size(), 1u);
    EXPECT_EQ(window.failures[0],
              "The bitmap header template \"ettbmp.hed\" would not give the logo back: it does not "
              "start with \"BM\"; remove it, or put back the one the program comes with");
    EXPECT_FALSE(std::filesystem::exists(dir / "refused.bmp"));
}

TEST_F(EditorTest, SaveAndOpenBitmapTakePngWhateverTheTemplate) {
    open(image);
    {
        CurrentFolder here(dir.path());
        writeFile(dir / "ettbmp.hed", std::vector<Byte>(1078, 0x42));
        save(dir / "logo.png");
    }
    EXPECT_TRUE(window.failures.empty());
    EXPECT_EQ(readFile(dir / "logo.png"), encodePng(pictureOf(editor.state().logo())));
    EXPECT_EQ(window.status, "Saved the logo to logo.png");

    exportBitmap(dir / "new.png", pictureOf(patternLogo(3)));
    importBitmap(dir / "new.png");
    EXPECT_TRUE(window.failures.empty());
    EXPECT_EQ(editor.state().logo(), patternLogo(3));
    EXPECT_EQ(buttons(), (Enablement{true, true, true}));
}

TEST_F(EditorTest, AFailedOpenReportsAndKeepsTheEarlierImage) {
    open(image);
    const EditorState before = editor.state();
    const auto missing = dir / "typo.bin";
    open(missing);
    ASSERT_EQ(window.failures.size(), 1u);
    EXPECT_EQ(window.failures[0], "Cannot open " + quoted(missing) + " for reading: No such file or directory");
    EXPECT_EQ(window.status, window.failures[0]);
    EXPECT_FALSE(window.ended);
    EXPECT_EQ(editor.state().imagePath, image);
    EXPECT_EQ(editor.state().imagePrefix, before.imagePrefix);
    EXPECT_EQ(buttons(), (Enablement{true, true, false}));

    importBitmap(bitmap);
    editor.bnpatch_Click();
    EXPECT_EQ(logoInFile(image), patternLogo(7));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(EditorTest, AFailedOpenBitmapChangesNothing) {
    open(image);
    const EditorState before = editor.state();
    writeFile(dir / "wrong.bmp", std::vector<Byte>(100, 'B'));
    importBitmap(dir / "wrong.bmp");
    ASSERT_EQ(window.failures.size(), 1u);
    EXPECT_NE(window.failures[0].find(quoted(dir / "wrong.bmp")), std::string::npos);
    EXPECT_EQ(editor.state().imagePrefix, before.imagePrefix);
    EXPECT_EQ(editor.state().logo(), before.logo());
    EXPECT_EQ(buttons(), (Enablement{true, true, false}));
}

TEST_F(EditorTest, PatchRefusesAnImageChangedOnDiskAndStaysReady) {
    open(image);
    importBitmap(bitmap);
    auto changed = readFile(image);
    changed[100] ^= 1;
    writeFile(image, changed);
    editor.bnpatch_Click();
    ASSERT_EQ(window.failures.size(), 1u);
    EXPECT_NE(window.failures[0].find("changed on disk since it was opened; open it again"), std::string::npos);
    EXPECT_EQ(readFile(image), changed);
    EXPECT_EQ(buttons(), (Enablement{true, true, true}));
}

TEST_F(EditorTest, PatchRefusesAnImageThatWasRemoved) {
    open(image);
    importBitmap(bitmap);
    std::filesystem::remove(image);
    editor.bnpatch_Click();
    ASSERT_EQ(window.failures.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(image));
    EXPECT_EQ(buttons(), (Enablement{true, true, true}));
}

TEST_F(EditorTest, AFailedSaveKeepsTheStateAndTheButtons) {
    open(image);
    const EditorState before = editor.state();
    save(dir / "no folder" / "x.bmp");
    ASSERT_EQ(window.failures.size(), 1u);
    EXPECT_EQ(editor.state().bitmapHeader, before.bitmapHeader);
    EXPECT_EQ(buttons(), (Enablement{true, true, false}));
}

TEST_F(EditorTest, QuitEndsTheProgramAtOnce) {
    editor.bnquitter_Click();
    EXPECT_TRUE(window.ended);
    EXPECT_TRUE(window.dialogsShown.empty());
}

TEST(EditorCheckFields, AnImportedLogoLeavesAConsistentImageConsistent) {
    TempDir dir;
    const auto image = dir / "consistent.bin";
    writeFile(image, testing::makeRawImage(20));
    exportBitmap(dir / "new.bmp", pictureOf(patternLogo(8)));
    FakeWindow window;
    Editor editor(window);
    editor.Form_Load();
    ASSERT_TRUE(editor.openImage(image));
    ASSERT_TRUE(editor.openBitmap(dir / "new.bmp"));
    EXPECT_EQ(window.status,
              "Imported new.bmp - press Patch to write it into consistent.bin (12 sectors get new EDC/ECC)");
    ASSERT_EQ(editor.patch(), PatchOutcome::Patched);

    const auto after = readFile(image);
    const auto before = testing::makeRawImage(20);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t n = 0; n < 12; ++n) {
        const auto sector = rawSector(std::span<const Byte>(after), n);
        EXPECT_TRUE(inspectSector(sector).checksValid()) << "sector " << n;
    }
    EXPECT_TRUE(std::equal(after.begin() + 12 * 2352, after.end(), before.begin() + 12 * 2352));
    EXPECT_EQ(extractLogo(testing::readPrefix(image)).logo, patternLogo(8));
}

TEST(EditorLayouts, DvdAndMode1ImagesGoThroughTheWholeCycle) {
    struct Case {
        const ImageLayout* layout;
        const char* name;
        const char* status;
    };
    const Case cases[] = {
        {&kPlainLayout, "game.iso", "Opened game.iso: 2048-byte sectors, SLUS_200.01, NTSC"},
        {&kRawMode1Layout, "game.bin",
         "Opened game.bin: raw 2352-byte Mode 1 sectors, user data at 16, SLUS_200.01, NTSC"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto original = testing::buildDisc({.logo = patternLogo(1)}, *c.layout);
        writeFile(dir / c.name, original);
        exportBitmap(dir / "new.bmp", pictureOf(patternLogo(6)));
        FakeWindow window;
        Editor editor(window);
        editor.Form_Load();
        window.willChoose(Dialog::dialouvrir, dir / c.name);
        editor.bnouvimg_Click();
        EXPECT_EQ(window.status, c.status);
        ASSERT_EQ(window.presented.size(), 1u);
        EXPECT_EQ(window.presented[0], patternLogo(1)) << c.name;
        EXPECT_EQ(editor.state().identity.serial, "SLUS_200.01");

        ASSERT_TRUE(editor.saveBitmap(dir / "old.bmp"));
        EXPECT_EQ(logoOf(importBitmap(dir / "old.bmp").picture), patternLogo(1));
        ASSERT_TRUE(editor.openBitmap(dir / "new.bmp"));
        ASSERT_EQ(editor.patch(), PatchOutcome::Patched) << (window.failures.empty() ? "" : window.failures[0]);

        const auto after = readFile(dir / c.name);
        EXPECT_EQ(after.size(), original.size());
        EXPECT_EQ(extractLogo(testing::readPrefix(dir / c.name)).logo, patternLogo(6)) << c.name;
        const std::size_t logoEnd = 12 * c.layout->sectorSize;
        EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(logoEnd), after.end(),
                               original.begin() + static_cast<std::ptrdiff_t>(logoEnd)));
        for (std::size_t n = 0; c.layout->sectorSize == 2352 && n < 12; ++n)
            EXPECT_TRUE(inspectSector(rawSector(std::span<const Byte>(after), n)).checksValid()) << n;
    }
}

// A disc whose logo is stored as real discs store it: encoded with its serial's key.
struct EncodedDisc {
    explicit EncodedDisc(bool pal) : pal(pal), shown(decodeLogo(patternLogo(2), 0, pal)) {
        const char* cnf = pal ? "BOOT2 = cdrom0:\\SCES_500.01;1\r\nVMODE = PAL\r\n"
                              : "BOOT2 = cdrom0:\\SLUS_200.01;1\r\nVMODE = NTSC\r\n";
        key = pal ? 0x8D : 0x0D;
        for (std::size_t i = 0; i < shown.width(); ++i) shown.pixels()[i] = 0;  // a black top border
        stored = encodeLogo(shown, key);
        for (std::size_t k = shown.pixels().size(); k < kLogoLength; ++k)
            stored[k] = static_cast<Byte>(k);  // PAL padding as some discs have it: not encoded zeros
        image = testing::buildDisc({.logo = stored, .systemCnf = std::string(cnf)}, kRawMode2Layout);
        writeFile(dir / "disc.bin", image);
        editor.Form_Load();
    }

    bool pal;
    Byte key;
    GreyPicture shown;  // any picture of the right shape
    LogoImage stored;
    std::vector<Byte> image;
    TempDir dir;
    FakeWindow window;
    Editor editor{window};
};

TEST(ConsoleViewEditor, ShowsThePlainPictureAndTheKey) {
    for (bool pal : {false, true}) {
        EncodedDisc disc(pal);
        disc.editor.setConsoleView(true);
        ASSERT_TRUE(disc.editor.openImage(disc.dir / "disc.bin"));
        ASSERT_EQ(disc.window.pictures.size(), 1u);
        EXPECT_EQ(disc.window.pictures[0], disc.shown);
        EXPECT_EQ(disc.window.viewOptions, std::make_pair(true, pal));
        EXPECT_NE(disc.window.status.find(pal ? "key 0x8D from SCES_500.01" : "key 0x0D from SLUS_200.01"),
                  std::string::npos)
            << disc.window.status;
        EXPECT_TRUE(disc.window.presented.empty());
    }
}

TEST(ConsoleViewEditor, ExportAndImportGiveBackTheSameStoredBytes) {
    for (bool pal : {false, true}) {
        EncodedDisc disc(pal);
        ASSERT_TRUE(disc.editor.openImage(disc.dir / "disc.bin"));
        disc.editor.setConsoleView(true);
        ASSERT_TRUE(disc.editor.saveBitmap(disc.dir / "shown.bmp"));
        const GreyPicture exported = importBitmap(disc.dir / "shown.bmp", disc.shown.shape()).picture;
        EXPECT_EQ(exported, disc.shown);

        ASSERT_TRUE(disc.editor.openBitmap(disc.dir / "shown.bmp"));
        EXPECT_EQ(disc.editor.state().imagePrefix, disc.editor.state().imageOnDisk) << "same picture, same bytes";
        EXPECT_NE(disc.window.status.find("Japanese and European consoles may refuse"), std::string::npos);
        EXPECT_EQ(disc.editor.patch(), PatchOutcome::NothingToPatch) << "the padding after a PAL picture stays";

        GreyPicture changed = disc.shown;
        changed.pixels()[changed.width() * 10 + 7] = 0xAB;
        exportBitmap(disc.dir / "changed.bmp", changed);
        ASSERT_TRUE(disc.editor.openBitmap(disc.dir / "changed.bmp"));
        ASSERT_EQ(disc.editor.patch(), PatchOutcome::Patched);
        const LogoImage written = extractLogo(testing::readPrefix(disc.dir / "disc.bin")).logo;
        EXPECT_EQ(written, encodeLogo(changed, disc.key, disc.stored));
        EXPECT_EQ(written[disc.shown.width() * 10 + 7], encodeLogoByte(0xAB, disc.key));
        EXPECT_EQ(written[0], disc.key) << "the black border is stored as the key";
        EXPECT_EQ(disc.window.status.find("top-left pixel"), std::string::npos) << disc.window.status;

        changed.pixels()[0] = 0x40;
        exportBitmap(disc.dir / "grey-border.bmp", changed);
        ASSERT_TRUE(disc.editor.openImage(disc.dir / "disc.bin"));
        ASSERT_TRUE(disc.editor.openBitmap(disc.dir / "grey-border.bmp"));
        EXPECT_NE(disc.window.status.find("\nWarning: the picture's top-left pixel is grey 64, not black"),
                  std::string::npos)
            << disc.window.status;
    }
}

TEST(ConsoleViewEditor, RefusesAPictureOfTheOtherShape) {
    EncodedDisc disc(true);
    ASSERT_TRUE(disc.editor.openImage(disc.dir / "disc.bin"));
    disc.editor.setConsoleView(true);
    exportBitmap(disc.dir / "ntsc.bmp", pictureOf(patternLogo(1)));
    EXPECT_FALSE(disc.editor.openBitmap(disc.dir / "ntsc.bmp"));
    ASSERT_EQ(disc.window.failures.size(), 1u);
    EXPECT_NE(disc.window.failures[0].find("is 384 x 64 pixels; the logo is 344 x 71"), std::string::npos);
    disc.editor.setPal(false);
    EXPECT_TRUE(disc.editor.openBitmap(disc.dir / "ntsc.bmp"));
}

TEST(ConsoleViewEditor, SavesAndOpensPngOfItsShape) {
    EncodedDisc disc(true);
    ASSERT_TRUE(disc.editor.openImage(disc.dir / "disc.bin"));
    disc.editor.setConsoleView(true);
    ASSERT_TRUE(disc.editor.saveBitmap(disc.dir / "shown.PNG"));
    EXPECT_EQ(readFile(disc.dir / "shown.PNG"), encodePng(disc.shown));

    GreyPicture changed = disc.shown;
    changed.pixels()[344 * 3 + 5] = 0x42;
    exportBitmap(disc.dir / "changed.png", changed);
    ASSERT_TRUE(disc.editor.openBitmap(disc.dir / "changed.png"));
    EXPECT_EQ(disc.editor.state().logo(), encodeLogo(changed, disc.key, disc.stored));
}

TEST(ConsoleViewEditor, APalPictureOutsideConsoleViewSaysHowToImportIt) {
    EncodedDisc disc(true);
    ASSERT_TRUE(disc.editor.openImage(disc.dir / "disc.bin"));
    exportBitmap(disc.dir / "pal.png", disc.shown);
    exportBitmap(disc.dir / "odd.bmp", GreyPicture({344, 70}));
    EXPECT_FALSE(disc.editor.openBitmap(disc.dir / "pal.png"));
    EXPECT_FALSE(disc.editor.openBitmap(disc.dir / "odd.bmp"));
    ASSERT_EQ(disc.window.failures.size(), 2u);
    EXPECT_EQ(disc.window.failures[0],
              quoted(disc.dir / "pal.png") +
                  " is 344 x 71 pixels; the logo is 384 x 64. That is the shape of the logo as a PAL console shows "
                  "it: import it in console view with PAL (--console --pal, or tick Console view and PAL)");
    EXPECT_EQ(disc.window.failures[1], quoted(disc.dir / "odd.bmp") + " is 344 x 70 pixels; the logo is 384 x 64");

    disc.editor.setConsoleView(true);
    EXPECT_TRUE(disc.editor.openBitmap(disc.dir / "pal.png"));
    EXPECT_EQ(disc.editor.state().logo(), disc.stored);
}

TEST(ConsoleViewEditor, SwitchingTheViewRedrawsAndChangesNoImageByte) {
    EncodedDisc disc(false);
    ASSERT_TRUE(disc.editor.openImage(disc.dir / "disc.bin"));
    const ImagePrefix before = *disc.editor.state().imagePrefix;
    disc.editor.setConsoleView(true);
    disc.editor.setPal(true);
    disc.editor.setConsoleView(false);
    EXPECT_EQ(disc.editor.state().imagePrefix, before);
    EXPECT_EQ(disc.window.pictures.size(), 2u);
    EXPECT_EQ(disc.window.pictures[1].width(), 344u);
    ASSERT_EQ(disc.window.presented.size(), 2u);
    EXPECT_EQ(disc.window.presented[1], disc.stored) << "the stored view shows the stored bytes";
    EXPECT_EQ(readFile(disc.dir / "disc.bin"), disc.image);

    // In the stored view, Save Bitmap writes the stored bytes as before.
    ASSERT_TRUE(disc.editor.saveBitmap(disc.dir / "stored.bmp"));
    EXPECT_EQ(logoOf(importBitmap(disc.dir / "stored.bmp").picture), disc.stored);
}

}  // namespace
}  // namespace tolvane
