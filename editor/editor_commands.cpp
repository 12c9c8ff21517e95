// The editor's commands, without a window.
#include "editor/editor_commands.h"

#include "logo/base/failure.h"
#include "logo/base/time_text.h"
#include "logo/disc/sector_checks.h"
#include "logo/files/file_io.h"
#include "logo/patch/ppf.h"
#include "logo/picture/bitmap_template.h"
#include "logo/picture/picture_file.h"

namespace tolvane {

namespace {

// Reads a picture; one of the PAL console's shape, read in any other view, or
// the NTSC one read as PAL, fails with a word on how to import it.
ImportedBitmap importWithShapeHint(const std::filesystem::path& file, const EditorState& s) {
    const PictureShape wanted = s.consoleView ? consoleShape(s.pal) : kLogoShape;
    try {
        return importBitmap(file, wanted);
    } catch (const WrongPictureShape& wrong) {
        if (wrong.found() == consoleShape(true) && !(s.consoleView && s.pal))
            throw wrong.with(
                ". That is the shape of the logo as a PAL console shows it: import it in console view "
                "with PAL (--console --pal, or tick Console view and PAL)");
        if (wrong.found() == kLogoShape && s.consoleView && s.pal)
            throw wrong.with(
                ". That is the shape of the logo as an NTSC console shows it: import it without PAL "
                "(drop --pal, or untick PAL)");
        throw;
    }
}

// Refuses to write `what` (as the person calls it) over the image or the sheet it
// was opened through.
void refuseOverImage(const std::filesystem::path& file, const std::string& what, const std::string& image,
                     const EditorState& s, const std::filesystem::path& opened) {
    if (sameFile(file, s.imagePath))
        throw Failure(
            "Cannot save " + what + " to " + quoted(file) + ": it is the disc image " + image + "; choose another name",
            Problem::Unsafe);
    if (sameFile(file, opened))
        throw Failure("Cannot save " + what + " to " + quoted(file) +
                          ": it is the CUE sheet the disc image was opened through; choose another name",
                      Problem::Unsafe);
}

// The image open and locked, to write a patch file of it. A patch file of a CHD
// would patch the CHD's compressed bytes: it would fit no other file, and no
// patcher reads CHDs.
DiscImage openForPatchFile(const std::filesystem::path& image) {
    try {
        return DiscImage::open(image, ImageAccess::ReadLocked);
    } catch (const ChdNotWritable&) {
        throw Failure("No patch file was written: " + quoted(image) +
                          " is a CHD image, and a patch file of a compressed file helps nobody (it would fit only "
                          "this very CHD, and patchers do not read CHDs); extract the image first, for example with "
                          "chdman extractcd, and make the patch file of that",
                      Problem::NotSupported);
    }
}

}  // namespace

void EditorCommands::open(const std::filesystem::path& image, ImageAccess access) {
    DiscImage opened = access == ImageAccess::ReadLocked ? openForPatchFile(image) : DiscImage::open(image, access);
    if (state_.consoleView) readable(opened.identity());  // the key and the shape come from it
    EditorState& s = state_;
    s.imagePath = opened.path();
    opened_ = image;
    s.imagePrefix = opened.prefix();
    s.imageOnDisk = opened.prefix();
    s.identity = opened.identity();
    s.looksLikeDisc = opened.looksLikeDisc();
    s.key = chooseKey(s.identity, opened.prefix().bytes()[opened.layout().payloadOffset(0)]);
    s.pal = s.identity.videoMode == VideoMode::Pal;
    s.sectorsWithNewChecks = 0;
    s.editing = true;  // an import already made stays ready to patch, into this image
    layout_ = opened.layout().description;
    chd_ = opened.chd();
    held_.reset();
    if (access != ImageAccess::Read)
        held_.emplace(std::move(opened));
    else
        opened.close();
}

void EditorCommands::exportPicture(const std::filesystem::path& file) {
    const EditorState& s = state_;
    refuseOverImage(file, "the logo", "the logo comes from", s, opened_);
    if (s.consoleView) {
        exportBitmap(file, decodeLogo(s.logo(), s.key.key, s.pal));  // the grey header of its own shape
        return;
    }
    const BitmapHeader header =
        pictureFormatFor(file) == PictureFormat::Bmp ? loadHeaderTemplate() : builtInBitmapHeader();
    exportBitmap(file, pictureOf(s.logo()), header);
    state_.bitmapHeader = header;
}

void EditorCommands::importPicture(const std::filesystem::path& file) {
    EditorState& s = state_;
    const ImportedBitmap imported = importWithShapeHint(file, s);
    // Nothing fails from here on: the state changes in place.
    if (s.consoleView)
        insertLogo(encodeLogo(imported.picture, s.key.key, s.logo()), *s.imagePrefix);
    else
        insertLogo(imported.picture.pixels().first<kLogoLength>(), *s.imagePrefix);
    s.sectorsWithNewChecks = refreshCheckFields(*s.imagePrefix, *s.imageOnDisk);
    s.bitmapHeader = imported.header.value_or(builtInBitmapHeader());
    s.imported = true;
    picture_ = file;
}

std::string EditorCommands::borderWarning() const {
    const EditorState& s = state_;
    return s.consoleView && s.imported ? tolvane::borderWarning(s.logo()[0], s.key.key) : "";
}

DiscImage EditorCommands::reopen(ImageAccess access) const {
    DiscImage image = access == ImageAccess::ReadLocked ? openForPatchFile(opened_) : DiscImage::open(opened_, access);
    if (!(image.prefix() == *state_.imageOnDisk))
        throw Failure(
            "Nothing was written: " + quoted(image.path()) + " changed on disk since it was opened; open it again",
            Problem::Changed);
    return image;
}

bool EditorCommands::checkPatch() const {
    const EditorState& s = state_;
    if (!holdsForUpdate()) reopen(ImageAccess::Update).close();
    if (*s.imagePrefix == *s.imageOnDisk) return false;
    PatchHistory::forUser().checkUsable(s.imagePath);
    return true;
}

bool EditorCommands::patch(const PatchProgress& progress) {
    EditorState& s = state_;
    const auto patched = [&s] {
        s.imageOnDisk = s.imagePrefix;
        s.editing = s.imported = false;
    };
    const PatchHistory history = PatchHistory::forUser();
    if (!holdsForUpdate()) held_.reset();  // held for reading only: opened again to write
    bool wrote = false;
    try {
        if (!held_) held_.emplace(reopen(ImageAccess::Update));
        wrote = history.patch(*held_, *s.imagePrefix, progress);
    } catch (const FailureAfterWrite&) {  // the image holds the new logo all the same
        held_.reset();
        patched();
        throw;
    } catch (...) {
        held_.reset();
        throw;
    }
    held_.reset();
    if (wrote) patched();
    return wrote;
}

std::optional<PatchFileSaved> EditorCommands::savePatchFile(const std::filesystem::path& file, bool dryRun) {
    const EditorState& s = state_;
    const std::optional<PatchFileKind> kind = patchFileKindFor(file);
    if (!kind)
        throw Failure("Cannot save a patch file as " + quoted(file) + ": its name must end in " + patchFileKinds(),
                      Problem::NotSupported);
    refuseOverImage(file, "the patch file", "it patches", s, opened_);
    if (sameFile(file, picture_))
        throw Failure("Cannot save the patch file to " + quoted(file) +
                          ": it is the picture the patch carries; choose another name",
                      Problem::Unsafe);

    const std::string serial = readable(s.identity).serial;  // a PPF patch's description
    std::optional<DiscImage> reopened;
    DiscImage& image = held_ ? *held_ : reopened.emplace(reopen(ImageAccess::ReadLocked));
    // The block a PPF patcher compares, of the file as it is, read under the same lock.
    std::vector<Byte> block;
    if (*kind == PatchFileKind::Ppf && image.size() >= kPpfCheckBlockOffset + kPpfCheckBlockLength) {
        block.resize(kPpfCheckBlockLength);
        if (image.readFileAt(kPpfCheckBlockOffset, block) != block.size())
            throw Failure("Nothing was written: " + quoted(image.path()) + " changed on disk while it was read",
                          Problem::Changed);
    }
    const FileChange change{image.size(), image.start(), s.imageOnDisk->bytes(), s.imagePrefix->bytes()};
    image.close();  // no lock held while the patch file is written
    held_.reset();
    if (*s.imagePrefix == *s.imageOnDisk) return std::nullopt;

    const std::vector<Byte> bytes = encodePatchFile(*kind, change, serial, block);
    if (dryRun) {
        const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
        std::error_code error;
        if (!std::filesystem::is_directory(folder, error))  // a patch file makes no folders
            throw Failure("Cannot create a file in", folder,
                          error ? error : std::make_error_code(std::errc::no_such_file_or_directory));
        checkRoomFor(folder, bytes.size());
    } else {
        replaceFile(file, bytes);
    }
    return PatchFileSaved{*kind, bytes.size()};
}

RestoreResult EditorCommands::takeBackLastPatch() {
    const std::filesystem::path image = opened_;
    const auto reread = [&] {
        held_.reset();
        open(image);
        state_.imported = false;
    };
    RestoreResult result;
    try {
        result = PatchHistory::forUser().restore(image);
    } catch (const FailureAfterWrite&) {  // taken back all the same
        try {
            reread();
        } catch (const Failure&) {  // what the restore says of the file comes first
        }
        throw;
    }
    try {
        reread();
    } catch (const Failure& failure) {  // taken back all the same: say so, and why the view is old
        throw FailureAfterWrite(failure.after("The patch of " + localTimeText(result.restored.time) +
                                              " is taken back: " + quoted(image) +
                                              " holds the logo it had before it, but then: ")
                                    .with("; open it again to see it"));
    }
    return result;
}

void EditorCommands::setConsoleView(bool on) {
    if (on && imageOpen()) readable(state_.identity);  // the key and the shape come from it
    state_.consoleView = on;
}

void EditorCommands::setKey(Byte key) {
    state_.key.key = key;
    state_.key.source = KeySource::Given;
}

GreyPicture EditorCommands::shownPicture() const {
    const LogoImage stored = extractLogo(*state_.imageOnDisk).logo;
    return state_.consoleView ? decodeLogo(stored, state_.key.key, state_.pal) : pictureOf(stored);
}

}  // namespace tolvane
