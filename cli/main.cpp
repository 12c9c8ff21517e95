// tolvane: the editor's commands without the window, for scripts and batches.
#include "console_window.h"
#include "editor/editor_state.h"
#include "image_info.h"
#include "logo/failure.h"
#include "tolvane_version.h"

#include <exception>
#include <iostream>
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
    "  export IMAGE BITMAP             save the image's logo as an 8-bit BMP\n"
    "  import [--dry-run] IMAGE BITMAP put the bitmap's picture into the image, in place\n"
    "  info [--json] IMAGE             describe the image, its sectors and its logo\n"
    "\n"
    "Options:\n"
    "  -h, --help      this help; after a command, that command's help\n"
    "  --version       the version\n"
    "\n"
    "Exit status: 0 done, 1 the operation failed, 2 the command line is wrong.\n";

struct Command {
    const char* name;
    const char* arguments;
    std::set<std::string> options;
    const char* help;
};

const Command kCommands[] = {
    {"export", "IMAGE BITMAP", {},
     "Saves the logo of IMAGE as BITMAP, a 384 x 64 8-bit BMP with a grey palette,\n"
     "headed by ettbmp.hed from the current folder when it is there. BITMAP is\n"
     "replaced whole; if anything fails, an existing BITMAP is left as it was.\n"},
    {"import", "[--dry-run] IMAGE BITMAP", {"--dry-run"},
     "Reads BITMAP (384 x 64; 8-bit palette, 24- or 32-bit) and writes its picture\n"
     "into the logo of IMAGE, in place: IMAGE keeps its length and every byte outside\n"
     "the logo's user data, except the check fields (EDC/ECC) of logo sectors that\n"
     "had valid ones, which are recomputed. Nothing is written when the bitmap cannot\n"
     "be read or IMAGE is not as expected.\n"
     "\n"
     "  --dry-run   check everything, write nothing\n"},
    {"info", "[--json] IMAGE", {"--json"},
     "Describes IMAGE: its size, its layout (raw 2352-byte Mode 2 or Mode 1 sectors,\n"
     "or 2048-byte sectors), the game's serial and video mode from SYSTEM.CNF, the\n"
     "state of each logo sector (mode, EDC, ECC) and a summary of the logo.\n"
     "\n"
     "  --json      the same as JSON\n"},
};

int usageError(const std::string& message) {
    std::cerr << "tolvane: " << message << "\nTry 'tolvane --help'.\n";
    return kUsage;
}

int runExport(const std::vector<std::string>& args) {
    ConsoleWindow console(std::cerr);
    Editor editor(console);
    editor.Form_Load();
    if (!editor.openImage(args[0]) || !editor.saveBitmap(args[1])) return kFailed;
    std::cout << "Saved the logo of " << quoted(args[0]) << " to " << quoted(args[1]) << '\n';
    return kSuccess;
}

int runImport(const std::vector<std::string>& args, bool dryRun) {
    ConsoleWindow console(std::cerr);
    Editor editor(console);
    editor.Form_Load();
    if (!editor.openImage(args[0]) || !editor.openBitmap(args[1])) return kFailed;
    const std::size_t refreshed = editor.state().sectorsWithNewChecks;
    if (dryRun) {
        if (!editor.checkPatch()) return kFailed;
        std::cout << "Dry run: " << quoted(args[1]) << " can be patched into " << quoted(args[0]) << " ("
                  << refreshed << " of 12 logo sectors would get new EDC/ECC); nothing was written\n";
        return kSuccess;
    }
    if (!editor.patch()) return kFailed;
    std::cout << "Patched " << quoted(args[0]) << " with " << quoted(args[1]) << " (" << refreshed
              << " of 12 logo sectors got new EDC/ECC)\n";
    return kSuccess;
}

int runInfo(const std::vector<std::string>& args, bool json) {
    try {
        printImageInfo(std::cout, args[0], json);
        return kSuccess;
    } catch (const std::exception& failure) {
        std::cerr << "tolvane: " << failure.what() << '\n';
        return kFailed;
    }
}

int run(const std::vector<std::string>& words) {
    if (words.empty()) return usageError("no command given");
    if (words[0] == "-h" || words[0] == "--help") {
        std::cout << kUsageText;
        return kSuccess;
    }
    if (words[0] == "--version") {
        std::cout << "tolvane " TOLVANE_VERSION "\n";
        return kSuccess;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (words[0] == c.name) command = &c;
    if (!command) return usageError("unknown command '" + words[0] + "'");

    std::set<std::string> options;
    std::vector<std::string> args;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (word == "-h" || word == "--help")) {
            std::cout << "Usage: tolvane " << command->name << ' ' << command->arguments << "\n\n" << command->help;
            return kSuccess;
        } else if (!optionsEnded && word.size() > 1 && word[0] == '-') {
            if (!command->options.count(word))
                return usageError("unknown option '" + word + "' for " + command->name);
            options.insert(word);
        } else {
            args.push_back(word);
        }
    }
    const std::size_t wanted = std::string(command->name) == "info" ? 1 : 2;
    if (args.size() != wanted)
        return usageError(std::string(command->name) + " takes " + command->arguments + " (" +
                          std::to_string(args.size()) + " given)");

    if (command->name == std::string("export")) return runExport(args);
    if (command->name == std::string("import")) return runImport(args, options.count("--dry-run") > 0);
    return runInfo(args, options.count("--json") > 0);
}

}  // namespace
}  // namespace tolvane

int main(int argc, char* argv[]) {
    return tolvane::run(std::vector<std::string>(argv + 1, argv + argc));
}
