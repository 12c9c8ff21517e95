// tolvane: the editor's commands without the window, for scripts and batches.
#include "editor/logo_editor.h"
#include "logo/disc/disc_image.h"
#include "logo/picture/picture_file.h"
#include "image_info.h"
#include "logo/base/failure.h"
#include "history/patch_history.h"
#include "restore_command.h"
#include "text_out.h"
#include "tolvane_version.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tolvane {
namespace {

constexpr int kSuccess = 0, kFailed = 1, kUsage = 2;

constexpr const char* kUsageText =
    "Usage: tolvane COMMAND [OPTIONS] ARGUMENTS\n"
    "\n"
    "Shows and replaces the boot logo of a PS2 disc image (384 x 64 grey pixels in the\n"
    "user data of the image's first 12 sectors).\n"
    "\n"
    "Commands:\n"
    "  export IMAGE BITMAP             save the image's logo as an 8-bit BMP or PNG\n"
    "  import [--dry-run] IMAGE BITMAP put the bitmap's picture into the image, in place\n"
    "  info [--json] IMAGE             describe the image, its game, sectors and logo\n"
    "  restore [--list] IMAGE          take the last patch of the image back\n"
    "\n"
    "export and import take --console to work on the picture as the console shows\n"
    "it (see 'tolvane export --help').\n"
    "\n"
    "Options:\n"
    "  -h, --help      this help; after a command, that command's help\n"
    "  --version       the version\n"
    "\n"
    "Exit status: 0 done, 1 the operation failed, 2 the command line is wrong.\n";

struct Command {
    const char* name;
    const char* arguments;
    std::set<std::string> flags;
    std::set<std::string> valued;  // options that take a value: --key 0x0D or --key=0x0D
    const char* help;
};

constexpr const char* kConsoleHelp =
    "\n"
    "  --console   the picture as the console shows it: the stored bytes decoded with\n"
    "              the disc's key (from its serial, else byte 0 of the logo), 384 x 64\n"
    "              for NTSC or 344 x 71 for PAL (from SYSTEM.CNF; NTSC when unknown)\n"
    "  --key K     use key K (0x00-0xFF, or 0-255) instead\n"
    "  --pal, --ntsc  use that picture shape instead\n";

const Command kCommands[] = {
    {"export",
     "[--force] [--console [--key K] [--pal|--ntsc]] IMAGE BITMAP",
     {"--force", "--console", "--pal", "--ntsc"},
     {"--key"},
     "Saves the logo of IMAGE as BITMAP, a 384 x 64 8-bit BMP with a grey palette,\n"
     "headed by ettbmp.hed from the current folder when it is there, or an 8-bit\n"
     "grey PNG when BITMAP's name ends in .png (in any letter case). BITMAP is\n"
     "replaced whole; if anything fails, an existing BITMAP is left as it was.\n"
     "BITMAP is never IMAGE itself, and an existing file that is not a picture\n"
     "(a BMP or PNG file) is not replaced unless --force is given.\n"
     "\n"
     "  --force     replace BITMAP even if it is not a picture\n"},
    {"import",
     "[--dry-run] [--force] [--console [--key K] [--pal|--ntsc]] IMAGE BITMAP",
     {"--dry-run", "--force", "--console", "--pal", "--ntsc"},
     {"--key"},
     "Reads BITMAP, a 384 x 64 BMP (1-, 2-, 4- or 8-bit with a palette, plain or RLE;\n"
     "16-, 24- or 32-bit, with or without colour masks; Windows or OS/2 headers) or\n"
     "PNG (grey, palette, RGB, with or without alpha; 1- to 16-bit; interlaced or\n"
     "not), told apart by their first bytes, not by the name; each pixel becomes the\n"
     "grey level of its colour, alpha ignored. Then writes the picture into the logo\n"
     "of IMAGE, in place: IMAGE keeps its length and every byte outside the logo's\n"
     "user data, except the check fields (EDC/ECC) of logo sectors that had valid\n"
     "ones, which are recomputed. Nothing is written when the bitmap cannot be read\n"
     "or IMAGE is not as expected.\n"
     "\n"
     "  --dry-run   check everything, write nothing\n"
     "  --force     patch IMAGE even if it does not look like a disc image\n"},
    {"info",
     "[--json] IMAGE",
     {"--json"},
     {},
     "Describes IMAGE: its size, its layout (raw 2352-byte Mode 2 or Mode 1 sectors,\n"
     "or 2048-byte sectors), the game's serial and video mode from SYSTEM.CNF, the\n"
     "state of each logo sector (mode, EDC, ECC) and a summary of the logo.\n"
     "\n"
     "  --json      the same as JSON\n"},
    {"restore",
     "[--list] IMAGE",
     {"--list"},
     {},
     "Writes back the bytes that the last patch of IMAGE (by tolvane import or the\n"
     "window's Patch) replaced, so that restoring again takes the patch before back.\n"
     "Every patch first keeps a record of the bytes it replaces and writes, in the\n"
     "tolvane-editor folder of XDG_DATA_HOME (~/.local/share) or, on Windows, of\n"
     "%LOCALAPPDATA%: at most 300 records, none older than 365 days. Records are\n"
     "found by the disc and the bytes IMAGE holds, not by its name, so a renamed,\n"
     "moved or copied image is restored as it is. Refused, writing nothing, when no\n"
     "record is of a patch that wrote what IMAGE holds now. A restore that was\n"
     "interrupted is finished by the next one, which goes no further back.\n"
     "\n"
     "  --list      list the patches restore would take back, newest first\n"},
};

struct Options {
    std::set<std::string> flags;
    std::optional<Byte> key;
    bool has(const char* flag) const { return flags.count(flag) > 0; }
};

std::optional<Byte> parseKey(const std::string& text) {
    const bool hex = text.size() > 2 && (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0);
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 3) return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : hex && std::isxdigit(static_cast<unsigned char>(c))
                              ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                              : -1;
        if (digit < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    }
    if (value > 255) return std::nullopt;
    return static_cast<Byte>(value);
}

// Arguments are UTF-8 here on every system (see main).
std::filesystem::path pathOf(const std::string& text) { return std::u8string(text.begin(), text.end()); }

// Opens the image in the editor and sets the view as the options say. An import
// keeps the image open and locked until its patch.
void openImage(LogoEditor& editor, const std::string& image, const Options& options, bool forPatch = false) {
    editor.open(pathOf(image), forPatch);
    if (!options.has("--console")) return;
    editor.setConsoleView(true);
    if (options.key) editor.setKey(*options.key);
    if (options.has("--pal")) editor.setPal(true);
    if (options.has("--ntsc")) editor.setPal(false);
}

int usageError(const std::string& message) {
    standardError << "tolvane: " << message << "\nTry 'tolvane --help'.\n";
    return kUsage;
}

int failed(const std::exception& failure) {
    standardError << "tolvane: " << failure.what() << '\n';
    return kFailed;
}

std::string viewNote(const LogoEditor& editor) {
    const EditorState& s = editor.state();
    if (!s.consoleView) return "";
    return " in console view (" + std::string(s.pal ? "PAL, 344 x 71" : "NTSC, 384 x 64") + ", " +
           describe(s.key, s.identity) + ")";
}

// An existing file that is no picture is most likely an argument in the wrong place.
bool mayReplace(const std::filesystem::path& target, const Options& options) {
    std::error_code error;
    if (options.has("--force") || !std::filesystem::is_regular_file(target, error) || startsAsPicture(target))
        return true;
    standardError << "tolvane: " << quoted(target)
                  << " exists and is not a picture (a BMP or PNG file); nothing was written. Check the order of the "
                     "arguments, or give --force to replace it\n";
    return false;
}

int runExport(const std::vector<std::string>& args, const Options& options) {
    if (!mayReplace(pathOf(args[1]), options)) return kFailed;
    LogoEditor editor;
    try {
        openImage(editor, args[0], options);
        editor.exportPicture(pathOf(args[1]));
    } catch (const std::exception& failure) {
        return failed(failure);
    }
    standardOutput << "Saved the logo of " << quoted(pathOf(args[0])) << " to " << quoted(pathOf(args[1]))
                   << viewNote(editor) << '\n';
    return kSuccess;
}

int notADisc(const std::string& image) {
    standardError << "tolvane: " << quoted(pathOf(image)) << ' ' << notADiscReason()
                  << "; nothing was written. Give --force to patch it anyway\n";
    return kFailed;
}

// What a command wrote into an image, for a message that has to say so: empty
// while nothing was.
std::string imageWritten;

int runImport(const std::vector<std::string>& args, const Options& options) {
    const bool dryRun = options.has("--dry-run");
    LogoEditor editor;
    bool wrote = false;
    try {
        openImage(editor, args[0], options, !dryRun);
        editor.importPicture(pathOf(args[1]));
        if (!viewNote(editor).empty())
            standardOutput << "Note: Japanese and European consoles may refuse a disc whose logo was changed"
                           << viewNote(editor) << '\n';
        if (editor.patchNeedsConsent() && !options.has("--force")) return notADisc(args[0]);
        wrote = dryRun ? editor.checkPatch() : editor.patch();
    } catch (const FailureAfterWrite& failure) {
        imageWritten = "the image was patched";
        return failed(failure);
    } catch (const std::exception& failure) {
        return failed(failure);
    }
    const EditorState& s = editor.state();
    const std::filesystem::path& image = s.imagePath;  // for a CUE sheet, its image file
    if (!wrote) {
        standardOutput << "Nothing to patch: " << quoted(image) << " already holds the logo of "
                       << quoted(pathOf(args[1])) << '\n';
        return kSuccess;
    }
    if (dryRun) {
        standardOutput << "Dry run: " << quoted(pathOf(args[1])) << " can be patched into " << quoted(image) << " ("
                       << s.sectorsWithNewChecks << " of 12 logo sectors would get new EDC/ECC); nothing was written\n";
        return kSuccess;
    }
    imageWritten = "the image was patched";
    standardOutput << "Patched " << quoted(image) << " with " << quoted(pathOf(args[1])) << " ("
                   << s.sectorsWithNewChecks << " of 12 logo sectors got new EDC/ECC)\n"
                   << "To put the previous logo back: " << restoreCommand(image) << '\n';
    return kSuccess;
}

int runInfo(const std::vector<std::string>& args, bool json) {
    try {
        standardOutput << imageInfo(pathOf(args[0]), json);
        return kSuccess;
    } catch (const std::exception& failure) {
        standardError << "tolvane: " << failure.what() << '\n';
        return kFailed;
    }
}

int runRestore(const std::vector<std::string>& args, bool list) {
    try {
        if (list) {
            standardOutput << listPatches(pathOf(args[0]));
        } else {
            standardOutput << restoreImage(pathOf(args[0]));
            imageWritten = "the image was restored";
        }
        return kSuccess;
    } catch (const std::exception& failure) {
        standardError << "tolvane: " << failure.what() << '\n';
        return kFailed;
    }
}

int runCommand(const std::vector<std::string>& words) {
    if (words.empty()) return usageError("no command given");
    if (words[0] == "-h" || words[0] == "--help") {
        standardOutput << kUsageText;
        return kSuccess;
    }
    if (words[0] == "--version") {
        standardOutput << "tolvane " TOLVANE_VERSION "\n";
        return kSuccess;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (words[0] == c.name) command = &c;
    if (!command) return usageError("unknown command '" + words[0] + "'");

    Options options;
    std::vector<std::string> args;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (word == "-h" || word == "--help")) {
            standardOutput << "Usage: tolvane " << command->name << ' ' << command->arguments << "\n\n"
                           << command->help << (command->valued.count("--key") ? kConsoleHelp : "");
            return kSuccess;
        } else if (!optionsEnded && word.size() > 1 && word[0] == '-') {
            const std::string name = word.substr(0, word.find('='));
            if (command->valued.count(name)) {
                const bool inline_ = name.size() < word.size();
                if (!inline_ && i + 1 == words.size()) return usageError(name + " needs a value");
                const std::string value = inline_ ? word.substr(name.size() + 1) : words[++i];
                options.key = parseKey(value);
                if (!options.key) return usageError("'" + value + "' is not a key: give 0x00-0xFF or 0-255");
            } else if (command->flags.count(word)) {
                options.flags.insert(word);
            } else {
                return usageError("unknown option '" + word + "' for " + command->name);
            }
        } else {
            args.push_back(word);
        }
    }
    if (options.has("--pal") && options.has("--ntsc")) return usageError("--pal and --ntsc exclude each other");
    if ((options.key || options.has("--pal") || options.has("--ntsc")) && !options.has("--console"))
        return usageError("--key, --pal and --ntsc go with --console");
    const std::size_t wanted = std::string(command->name) == "info" || std::string(command->name) == "restore" ? 1 : 2;
    if (args.size() != wanted)
        return usageError(std::string(command->name) + " takes " + command->arguments + " (" +
                          std::to_string(args.size()) + " given)");

    if (command->name == std::string("export")) return runExport(args, options);
    if (command->name == std::string("import")) return runImport(args, options);
    if (command->name == std::string("restore")) return runRestore(args, options.has("--list"));
    return runInfo(args, options.has("--json"));
}

// A report that never reached its reader (a full disk, a closed pipe) is a
// failure too, not a silent success.
int run(const std::vector<std::string>& words) {
    const int status = runCommand(words);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    const int error = errno;
    standardError << "tolvane: cannot write to standard output: " << std::strerror(error ? error : EIO)
                  << (imageWritten.empty() ? "" : "; " + imageWritten + " all the same") << '\n';
    return kFailed;
}

}  // namespace
}  // namespace tolvane

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <shellapi.h>

namespace {

// The console's output code page before tolvane set UTF-8: the console outlives
// tolvane, and the programs run in it after read their output in that page.
UINT consoleCodePage = 0;

void restoreConsoleCodePage() {
    if (consoleCodePage != 0) SetConsoleOutputCP(consoleCodePage);
}

// Ctrl+C, Ctrl+Break or the console closing end tolvane without returning from
// main(): put the code page back, then let Windows end it as it would have.
BOOL WINAPI onConsoleEnd(DWORD) {
    restoreConsoleCodePage();
    return FALSE;
}

}  // namespace

// Windows gives main() its arguments in the ANSI code page, which cannot hold
// every file name: take the wide command line and speak UTF-8 on the console.
int main() {
    consoleCodePage = GetConsoleOutputCP();  // 0 without a console: nothing to set
    if (consoleCodePage != 0 && consoleCodePage != CP_UTF8) {
        SetConsoleCtrlHandler(onConsoleEnd, TRUE);
        SetConsoleOutputCP(CP_UTF8);
    }
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 1; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string word(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
        if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, word.data(), size, nullptr, nullptr);
        words.push_back(word);
    }
    LocalFree(wide);
    const int status = tolvane::run(words);  // standard output flushed
    std::fflush(stderr);
    restoreConsoleCodePage();
    return status;
}
#else
#include <csignal>

int main(int argc, char* argv[]) {
    // A reader that goes away (| head, a closed terminal) is an output failure
    // that run() reports, saying what was written, rather than a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    return tolvane::run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
