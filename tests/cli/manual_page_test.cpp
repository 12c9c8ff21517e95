// The manual pages name the commands and options the programs' --help names,
// so that an option added without its documentation fails here.
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
// each cut to its first column (the text before a run of two spaces).
std::vector<std::string> helpBlock(const std::string& help, const std::string& title) {
    std::istringstream in(help.substr(std::min(help.find("\n" + title + "\n"), help.size())));
    std::vector<std::string> lines;
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    while (std::getline(in, line) && !line.empty()) {
        const std::size_t start = line.find_first_not_of(' ');
        lines.push_back(start == std::string::npos ? "" : line.substr(start, line.find("  ", start) - start));
    }
    return lines;
}

Names optionsOfBlock(const std::string& help, const std::string& title) {
    Names names;
    for (const std::string& line : helpBlock(help, title)) names.merge(optionsIn(line));
    return names;
}

// A manual page as the tests read it: the .SS sections under COMMANDS, and the
// options in the tags of the .TP items of each section (.SH or .SS).
struct ManualPage {
    std::vector<std::string> commands;
    std::map<std::string, Names> options;
};

ManualPage readPage(const std::string& file) {
    const auto bytes = testing::readFile(testing::sourceFile(file));
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    ManualPage page;
    std::string line, sh, section;
    for (bool tag = false; std::getline(in, line); tag = line == ".TP") {
        if (line.rfind(".SH ", 0) == 0) {
            sh = section = line.substr(4);
        } else if (line.rfind(".SS ", 0) == 0) {
            section = line.substr(4);
            if (sh == "COMMANDS") page.commands.push_back(section);
        } else if (tag) {
            // As it reads: font changes dropped, "\-" a dash.
            const std::string plain =
                std::regex_replace(std::regex_replace(line, std::regex(R"(\\f[BIRP])"), ""), std::regex(R"(\\-)"), "-");
            page.options[section].merge(optionsIn(plain));
        }
    }
    return page;
}

TEST(ManualPage, NamesTheCommandsAndOptionsOfTolvaneHelp) {
    ManualPage page = readPage("data/tolvane.1");
    const std::string help = outputOf(quoted(TOLVANE_CLI) + " --help");
    std::vector<std::string> commands;
    for (const std::string& line : helpBlock(help, "Commands:")) commands.push_back(line.substr(0, line.find(' ')));
    ASSERT_FALSE(commands.empty()) << help;
    EXPECT_EQ(page.commands, commands) << "the page's COMMANDS, then those of tolvane --help";

    const Names global = optionsOfBlock(help, "Options:");
    ASSERT_FALSE(global.empty()) << help;
    EXPECT_EQ(page.options["OPTIONS"], global) << "the page's OPTIONS, then those of tolvane --help";
    for (const std::string& command : commands)
        EXPECT_EQ(page.options[command], optionsIn(outputOf(quoted(TOLVANE_CLI) + " " + command + " --help")))
            << "the page's options of " << command << ", then those of its --help";
}

#ifdef TOLVANE_EDITOR
TEST(ManualPage, NamesEveryOptionOfTolvaneEditorHelp) {
    ManualPage page = readPage("data/tolvane-editor.1");
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
    for (const char* file : {"data/tolvane.1", "data/tolvane-editor.1"}) {
        const std::string path = testing::sourceFile(file).string();
        EXPECT_EQ(outputOf("groff -man -ww -z " + quoted(path) + " 2>&1"), "") << file;
    }
}

}  // namespace
}  // namespace tolvane
