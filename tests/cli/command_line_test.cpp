// tolvane's command line read into an invocation: what each word asks for, and
// the usage errors, word for word as tolvane prints them.
#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane {
namespace {

// An invocation in a line: the command, what was asked, then the arguments.
std::string describe(const Invocation& invocation) {
    static const char* const names[] = {"export", "import", "info", "restore"};
    std::string text = invocation.command ? names[static_cast<int>(*invocation.command)] : "tolvane";
    for (const auto& [set, name] : {std::pair{invocation.help, " help"},
                                    {invocation.version, " version"},
                                    {invocation.force, " force"},
                                    {invocation.dryRun, " dry-run"},
                                    {invocation.console, " console"},
                                    {invocation.json, " json"},
                                    {invocation.list, " list"}})
        if (set) text += name;
    if (invocation.key) text += " key=" + std::to_string(*invocation.key);
    if (invocation.pal) text += *invocation.pal ? " PAL" : " NTSC";
    if (invocation.patchFile) {
        const std::u8string name = invocation.patchFile->u8string();
        text += " patch-file=" + std::string(name.begin(), name.end());
    }
    for (const auto& argument : invocation.arguments) {
        const std::u8string name = argument.u8string();
        text += " [" + std::string(name.begin(), name.end()) + "]";
    }
    return text;
}

std::string parsed(const std::vector<std::string>& words) {
    try {
        return describe(parseCommandLine(words));
    } catch (const UsageError& wrong) {
        return std::string("error: ") + wrong.what();
    }
}

TEST(CommandLine, ReadsEachCommandsOptionsWhereverTheyStandAndItsArguments) {
    const struct {
        std::vector<std::string> words;
        const char* expected;
    } cases[] = {
        {{"--help"}, "tolvane help"},
        {{"-h", "export"}, "tolvane help"},
        {{"--version", "anything"}, "tolvane version"},
        {{"export", "--help"}, "export help"},
        {{"import", "a.bin", "-h", "--bogus"}, "import help [a.bin]"},
        {{"export", "game.bin", "logo.bmp"}, "export [game.bin] [logo.bmp]"},
        {{"import", "logo.bmp", "--dry-run", "game.bin", "--force"}, "import force dry-run [logo.bmp] [game.bin]"},
        {{"export", "--console", "--key", "0x0D", "a", "b"}, "export console key=13 [a] [b]"},
        {{"export", "--console", "--key=0XfF", "--pal", "a", "b"}, "export console key=255 PAL [a] [b]"},
        {{"import", "a", "b", "--ntsc", "--console", "--key", "16"}, "import console key=16 NTSC [a] [b]"},
        {{"import", "--console", "--key", "1", "--key", "2", "a", "b"}, "import console key=2 [a] [b]"},
        {{"info", "--json", "game.iso"}, "info json [game.iso]"},
        {{"restore", "game.bin", "--list"}, "restore list [game.bin]"},
        {{"import", "--patch-file", "logo.xdelta", "a", "b"}, "import patch-file=logo.xdelta [a] [b]"},
        {{"import", "a", "--dry-run", "--patch-file=x.PPF", "b"}, "import dry-run patch-file=x.PPF [a] [b]"},
        {{"import", "--patch-file", "--x.vcdiff", "a", "b"}, "import patch-file=--x.vcdiff [a] [b]"},
        // After --, and a lone dash, every word is an argument.
        {{"export", "--", "--help", "-"}, "export [--help] [-]"},
        {{"export", "-", "--", "--force"}, "export [-] [--force]"},
        {{"info", "jeu \xc3\xa9t\xc3\xa9 \xe6\x97\xa5.bin"}, "info [jeu \xc3\xa9t\xc3\xa9 \xe6\x97\xa5.bin]"},
    };
    for (const auto& c : cases) EXPECT_EQ(parsed(c.words), c.expected) << c.words.size() << " words";
}

TEST(CommandLine, RefusesWhatNoCommandTakesWithTheReason) {
    const struct {
        std::vector<std::string> words;
        const char* expected;
    } cases[] = {
        {{}, "no command given"},
        {{"paint"}, "unknown command 'paint'"},
        {{"--force"}, "unknown command '--force'"},
        {{"import", "--json", "a", "b"}, "unknown option '--json' for import"},
        {{"export", "--dry-run", "a", "b"}, "unknown option '--dry-run' for export"},
        {{"restore", "--version", "a"}, "unknown option '--version' for restore"},
        {{"export", "--force=yes", "a", "b"}, "unknown option '--force=yes' for export"},
        {{"export", "--console", "--key"}, "--key needs a value"},
        {{"export", "--console", "--key", "0x100", "a", "b"}, "'0x100' is not a key: give 0x00-0xFF or 0-255"},
        {{"export", "--console", "--key=", "a", "b"}, "'' is not a key: give 0x00-0xFF or 0-255"},
        {{"export", "--console", "--key", "256", "a", "b"}, "'256' is not a key: give 0x00-0xFF or 0-255"},
        {{"export", "--console", "--key", "0x", "a", "b"}, "'0x' is not a key: give 0x00-0xFF or 0-255"},
        {{"export", "--console", "--key", "1a", "a", "b"}, "'1a' is not a key: give 0x00-0xFF or 0-255"},
        {{"export", "--console", "--ntsc", "--pal", "a", "b"}, "--pal and --ntsc exclude each other"},
        {{"import", "--ntsc", "--pal", "a", "b"}, "--pal and --ntsc exclude each other"},
        {{"import", "--pal", "a", "b"}, "--key, --pal and --ntsc go with --console"},
        {{"export", "--key", "1", "a", "b"}, "--key, --pal and --ntsc go with --console"},
        {{"import", "--patch-file", "logo.bmp", "a", "b"},
         "--patch-file takes a name that ends in .xdelta or .vcdiff (VCDIFF) or .ppf (PPF 3.0), not 'logo.bmp'"},
        {{"import", "--patch-file=patch", "a", "b"},
         "--patch-file takes a name that ends in .xdelta or .vcdiff (VCDIFF) or .ppf (PPF 3.0), not 'patch'"},
        {{"export", "--patch-file", "p.ppf", "a", "b"}, "unknown option '--patch-file' for export"},
        {{"import", "a", "b", "--patch-file"}, "--patch-file needs a value"},
        {{"export", "a.bin"}, "export takes [--force] [--console [--key K] [--pal|--ntsc]] IMAGE BITMAP (1 given)"},
        {{"info", "a", "b"}, "info takes [--json] IMAGE (2 given)"},
        {{"restore"}, "restore takes [--list|--record RECORD] IMAGE (0 given)"},
    };
    for (const auto& c : cases) EXPECT_EQ(parsed(c.words), std::string("error: ") + c.expected);
}

TEST(CommandLine, GivesEachCommandItsOwnHelp) {
    EXPECT_TRUE(helpText(parseCommandLine(std::vector<std::string>{"--help"}))
                    .starts_with("Usage: tolvane COMMAND [OPTIONS] ARGUMENTS\n"));
    for (const char* command : {"export", "import", "info", "restore"}) {
        const std::string_view help = helpText(parseCommandLine(std::vector<std::string>{command, "--help"}));
        EXPECT_TRUE(help.starts_with("Usage: tolvane " + std::string(command) + " [")) << help;
        EXPECT_NE(help.find("\nOptions:\n  --"), std::string_view::npos) << help;
    }
}

}  // namespace
}  // namespace tolvane
