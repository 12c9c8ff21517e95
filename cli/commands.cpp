// Running each of tolvane's commands over the editor's core.
#include "commands.h"

#include "editor/editor_commands.h"
#include "history/patch_history.h"
#include "image_info.h"
#include "logo/base/failure.h"
#include "logo/disc/disc_image.h"
#include "logo/files/file_io.h"
#include "logo/picture/picture_file.h"
#include "restore_command.h"
#include "text_out.h"
#include "tolvane_version.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif
#include <optional>

namespace tolvane {
namespace {

// Opens the image in the editor and sets the view as the options say. An import
// keeps the image open and locked from reading it to patching it (or to making
// the patch file of it).
void openImage(EditorCommands& editor, const Invocation& invocation, ImageAccess access = ImageAccess::Read) {
    editor.open(invocation.arguments[0], access);
    if (!invocation.console) return;
    editor.setConsoleView(true);
    if (invocation.key) editor.setKey(*invocation.key);
    if (invocation.pal) editor.setPal(*invocation.pal);
}

Outcome failed(const std::exception& failure, std::string written = {}) {
    standardError << "tolvane: " << failure.what() << '\n';
    return {kFailed, std::move(written)};
}

std::string viewNote(const EditorCommands& editor) {
    const EditorState& s = editor.state();
    if (!s.consoleView) return "";
    return " in console view (" + std::string(s.pal ? "PAL, 344 x 71" : "NTSC, 384 x 64") + ", " +
           describe(s.key, s.identity) + ")";
}

// An existing file that is no picture is most likely an argument in the wrong place.
bool mayReplace(const std::filesystem::path& target, bool force) {
    std::error_code error;
    if (force || !std::filesystem::is_regular_file(target, error) || startsAsPicture(target)) return true;
    standardError << "tolvane: " << quoted(target)
                  << " exists and is not a picture (a BMP or PNG file); nothing was written. Check the order of the "
                     "arguments, or give --force to replace it\n";
    return false;
}

Outcome runExport(const Invocation& invocation) {
    const std::filesystem::path &image = invocation.arguments[0], &bitmap = invocation.arguments[1];
    // The image itself is refused below whatever is given: say that, not --force.
    if (!sameFile(bitmap, image) && !mayReplace(bitmap, invocation.force)) return {kFailed};
    EditorCommands editor;
    try {
        openImage(editor, invocation);
        editor.exportPicture(bitmap);
    } catch (const std::exception& failure) {
        return failed(failure);
    }
    standardOutput << "Saved the logo of " << quoted(image) << " to " << quoted(bitmap) << viewNote(editor) << '\n';
    return {kDone};
}

Outcome notADisc(const std::filesystem::path& image, const char* anyway = "patch it anyway") {
    standardError << "tolvane: " << quoted(image) << ' ' << notADiscReason()
                  << "; nothing was written. Give --force to " << anyway << '\n';
    return {kFailed};
}

void consoleNote(const EditorCommands& editor) {
    if (const std::string warning = editor.borderWarning(); !warning.empty())
        standardOutput << "Warning: " << warning << '\n';
    if (!viewNote(editor).empty())
        standardOutput << "Note: Japanese and European consoles may refuse a disc whose logo was changed"
                       << viewNote(editor) << '\n';
}

// import --patch-file: the import up to its write, then the patch file instead.
Outcome runPatchFile(const Invocation& invocation) {
    const std::filesystem::path &bitmap = invocation.arguments[1], &file = *invocation.patchFile;
    EditorCommands editor;
    std::optional<PatchFileSaved> saved;
    try {
        // Open and locked, as other readers lock it, until the patch file is made of it.
        openImage(editor, invocation, ImageAccess::ReadLocked);
        editor.importPicture(bitmap);
        consoleNote(editor);
        if (editor.patchNeedsConsent() && !invocation.force)
            return notADisc(invocation.arguments[0], "make a patch file for it anyway");
        saved = editor.savePatchFile(file, invocation.dryRun);
    } catch (const std::exception& failure) {
        return failed(failure);
    }
    const EditorState& s = editor.state();
    const std::filesystem::path& image = s.imagePath;  // for a CUE sheet, its data track's file
    if (!saved) {
        standardOutput << "Nothing to patch: " << quoted(image) << " already holds the logo of " << quoted(bitmap)
                       << "; no patch file was written\n";
        return {kDone};
    }
    const std::string what = describe(saved->kind) + " of " + std::to_string(saved->size) + " bytes that gives " +
                             quoted(image) + " the logo of " + quoted(bitmap) + " (" +
                             std::to_string(s.sectorsWithNewChecks) + " of 12 logo sectors with new EDC/ECC)";
    if (invocation.dryRun) {
        standardOutput << "Dry run: " << quoted(file) << " can be written, a " << what << "; nothing was written\n";
        return {kDone};
    }
    standardOutput << "Wrote " << quoted(file) << ", a " << what << "; " << quoted(image) << " was not changed\n";
    return {kDone, "the patch file was written"};
}

namespace {

volatile std::sig_atomic_t interrupted = 0;

// The pass over a CHD's hunks before its patch: a line of progress on a
// terminal (percent, MB/s, time left), redrawn at most ten times a second, and
// Ctrl-C stops it, nothing written. Once the pass is done, Ctrl-C is again the
// system's, as for every other step.
PatchProgress passProgress(const std::filesystem::path& image) {
    struct State {
        std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now(), shown;
        bool started = false;
    };
    const bool terminal = isatty(fileno(stderr)) != 0;
    return [terminal, image, state = std::make_shared<State>()](std::uint64_t done, std::uint64_t total) {
        using namespace std::chrono;
        if (!state->started) {
            state->started = true;
            interrupted = 0;
            std::signal(SIGINT, [](int) { interrupted = 1; });
        }
        const auto now = steady_clock::now();
        if (terminal && (now - state->shown > milliseconds(100) || done == total)) {
            state->shown = now;
            const double seconds = duration<double>(now - state->start).count();
            const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
            char line[160];
            std::snprintf(line, sizeof line, "\rChecking %s: %3d%%, %.0f MB/s, %.0f s left ",
                          pathText(image.filename()).c_str(),
                          static_cast<int>(done * 100 / std::max<std::uint64_t>(total, 1)), rate / 1e6,
                          rate > 0 ? static_cast<double>(total - done) / rate : 0.0);
            standardError << line;
            if (done == total) standardError << '\n';
        }
        if (done == total || interrupted) {
            std::signal(SIGINT, SIG_DFL);
            if (terminal && interrupted && done != total) standardError << '\n';
        }
        return !interrupted;
    };
}

// How many logo sectors got their check fields recomputed, said only of a
// layout whose sectors have check fields (not of 2048-byte sectors).
std::string checkFieldsNote(const EditorState& s, const char* got) {
    if (!s.imagePrefix->layout().storesRawSectors()) return "";
    return " (" + std::to_string(s.sectorsWithNewChecks) + " of 12 logo sectors " + got + " new EDC/ECC)";
}

}  // namespace

Outcome runImport(const Invocation& invocation) {
    if (invocation.patchFile) return runPatchFile(invocation);
    const std::filesystem::path& bitmap = invocation.arguments[1];
    EditorCommands editor;
    bool wrote = false;
    try {
        openImage(editor, invocation, invocation.dryRun ? ImageAccess::Read : ImageAccess::Update);
        editor.importPicture(bitmap);
        consoleNote(editor);
        if (editor.patchNeedsConsent() && !invocation.force) return notADisc(invocation.arguments[0]);
        wrote = invocation.dryRun ? editor.checkPatch() : editor.patch(passProgress(invocation.arguments[0]));
    } catch (const FailureAfterWrite& failure) {
        return failed(failure, "the image was patched");
    } catch (const std::exception& failure) {
        return failed(failure);
    }
    const EditorState& s = editor.state();
    const std::filesystem::path& image = s.imagePath;  // for a CUE sheet, its image file
    if (!wrote) {
        standardOutput << "Nothing to patch: " << quoted(image) << " already holds the logo of " << quoted(bitmap)
                       << '\n';
        return {kDone};
    }
    if (invocation.dryRun) {
        standardOutput << "Dry run: " << quoted(bitmap) << " can be patched into " << quoted(image)
                       << checkFieldsNote(s, "would get") << "; nothing was written\n";
        return {kDone};
    }
    standardOutput << "Patched " << quoted(image) << " with " << quoted(bitmap) << checkFieldsNote(s, "got")
                   << '\n'
                   // Through what was given: a CUE sheet's data track may not start at its file's first byte.
                   << "To put the previous logo back: " << restoreCommand(invocation.arguments[0]) << '\n';
    return {kDone, "the image was patched"};
}

Outcome runInfo(const Invocation& invocation) {
    try {
        standardOutput << imageInfo(invocation.arguments[0], invocation.json);
        return {kDone};
    } catch (const std::exception& failure) {
        if (invocation.json) standardOutput << infoFailureJson(failure);  // for the script, besides the message
        return failed(failure);
    }
}

Outcome runRestore(const Invocation& invocation) {
    try {
        if (invocation.list) {
            standardOutput << listPatches(invocation.arguments[0]);
            return {kDone};
        }
        standardOutput << restoreImage(invocation.arguments[0], invocation.record);
        return {kDone, "the image was restored"};
    } catch (const FailureAfterWrite& failure) {
        return failed(failure, "the image was restored");
    } catch (const std::exception& failure) {
        return failed(failure);
    }
}

}  // namespace

Outcome run(const Invocation& invocation) {
    if (invocation.version) {
        standardOutput << "tolvane " TOLVANE_VERSION "\n";
        return {kDone};
    }
    if (invocation.help || !invocation.command) {
        standardOutput << helpText(invocation);
        return {kDone};
    }
    switch (*invocation.command) {
        case Command::Export: return runExport(invocation);
        case Command::Import: return runImport(invocation);
        case Command::Info: return runInfo(invocation);
        case Command::Restore: return runRestore(invocation);
    }
    return {kFailed};
}

}  // namespace tolvane
