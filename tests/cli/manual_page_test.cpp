// The manual pages: tolvane's, made by the build, lists each command's options
// where --help does; the window's, written by hand, names every option of its
// --help; both render without warnings.
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using Names = std::set<std::string>;

std::string quoted(const std::string& word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// What a shell command prints on stdout; a failure when it does not exit with 0.
std::string outputOf(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return out;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    return out;
}

// The options a text names: -h, --dry-run, --key (also of --key=K), ...
Names optionsIn(const std::string& text) {
    static const std::regex option(R"((?:^|[^\w-])(--?[a-z][a-z-]*))");
    Names names;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) names.insert((*it)[1]);
    return names;
}

// The lines of a --help block from its title ("Options:") to the next empty line,
// each cut to its first column (the text before a run of two spaces); the lines
// that go on with a second column's text are left out.
std::vector<std::string> helpBlock(const std::string& help, const std::string& title) {
    std::istringstream in(help.substr(std::min(help.find("\n" + title + "\n"), help.size())));
    std::vector<std::string> lines;
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    while (std::getline(in, line) && !line.empty()) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == 2) lines.push_back(line.substr(start, line.find("  ", start) - start));
    }
    return lines;
}

Names optionsOfBlock(const std::string& help, const std::string& title) {
    Names names;
    for (const std::string& line : helpBlock(help, title)) names.merge(optionsIn(line));
    return names;
}

// A manual page as the tests read it: the .SS sections under COMMANDS, the
// options in the tags of the .TP items of each section (.SH or .SS), and those
// in the synopsis of each command in SYNOPSIS (.SY "tolvane export" to .YS).
struct ManualPage {
    std::vector<std::string> commands;
    std::map<std::string, Names> options, synopses;
};

ManualPage readPage(const std::filesystem::path& file) {
    const auto bytes = testing::readFile(file);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    ManualPage page;
    std::string line, sh, section, synopsis;
    for (bool tag = false; std::getline(in, line); tag = line == ".TP") {
        // As it reads: font changes dropped, "\-" a dash.
        const std::string plain =
            std::regex_replace(std::regex_replace(line, std::regex(R"(\\f[BIRP])"), ""), std::regex(R"(\\-)"), "-");
        if (line.rfind(".SH ", 0) == 0) {
            sh = section = line.substr(4);
        } else if (line.rfind(".SS ", 0) == 0) {
            section = line.substr(4);
            if (sh == "COMMANDS") page.commands.push_back(section);
        } else if (sh == "SYNOPSIS" && line.rfind(".SY \"tolvane ", 0) == 0) {
            synopsis = line.substr(13, line.size() - 14);
        } else if (line == ".YS") {
            synopsis.clear();
        } else if (!synopsis.empty()) {
            page.synopses[synopsis].merge(optionsIn(plain));
        } else if (tag) {
            page.options[section].merge(optionsIn(plain));
        }
    }
    return page;
}

// The page's lists are made from the table --help is made from: this catches
// the generator leaving an option out, as it might one that needs another.
TEST(ManualPage, ListsEachCommandsOptionsInItsSynopsisAndSection) {
    ManualPage page = readPage(TOLVANE_MANUAL_PAGE);
    const std::string help = outputOf(quoted(TOLVANE_CLI) + " --help");
    std::vector<std::string> commands;
    for (const std::string& line : helpBlock(help, "Commands:")) commands.push_back(line.substr(0, line.find(' ')));
    ASSERT_FALSE(commands.empty()) << help;
    EXPECT_EQ(page.commands, commands) << "the page's COMMANDS, then those of tolvane --help";

    const Names global = optionsOfBlock(help, "Options:");
    ASSERT_FALSE(global.empty()) << help;
    EXPECT_EQ(page.options["OPTIONS"], global) << "the page's OPTIONS, then those of tolvane --help";
    for (const std::string& command : commands) {
        const Names options = optionsOfBlock(outputOf(quoted(TOLVANE_CLI) + " " + command + " --help"), "Options:");
        EXPECT_FALSE(options.empty()) << command;
        EXPECT_EQ(page.options[command], options) << "the options in the page's " << command << ", then in its --help";
        EXPECT_EQ(page.synopses[command], options) << "the options in the page's synopsis of " << command;
    }
}

#ifdef TOLVANE_EDITOR
TEST(ManualPage, NamesEveryOptionOfTolvaneEditorHelp) {
    ManualPage page = readPage(testing::sourceFile("data/tolvane-editor.1"));
    // Qt's own options (--platform, ...) are printed by --help-all only.
    const Names help =
        optionsOfBlock(outputOf("QT_QPA_PLATFORM=offscreen " + quoted(TOLVANE_EDITOR) + " --help"), "Options:");
    ASSERT_FALSE(help.empty());
    for (const std::string& option : help)
        EXPECT_EQ(page.options["OPTIONS"].count(option), 1u) << option << " is not on the page";
}
#endif

TEST(ManualPage, RendersWithoutWarnings) {
    TOLVANE_REQUIRE_PROGRAM("groff");
    for (const std::filesystem::path& file :
         {std::filesystem::path(TOLVANE_MANUAL_PAGE), testing::sourceFile("data/tolvane-editor.1")})
        EXPECT_EQ(outputOf("groff -man -ww -z " + quoted(file.string()) + " 2>&1"), "") << file;
}

}  // namespace
}  // namespace tolvane
