// The manual pages: tolvane's, made by the build, lists each command's options
// where --help does and describes every field of info's JSON with its type; the
// window's, written by hand, names every option of its --help; both render
// without warnings, and with their words apart.
#include "logo/disc/image_layout.h"
#include "support/disc_builder.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
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

// groff warns of much, but not of words run together (".IR .bin ), shows the"
// sets "),shows" and the words after it without spaces): no word of either
// page as a terminal shows it is longer than 30 letters.
TEST(ManualPage, RendersWithoutWarningsAndWithItsWordsApart) {
    TOLVANE_REQUIRE_PROGRAM("groff");
    TOLVANE_REQUIRE_PROGRAM("col");
    for (const std::filesystem::path& file :
         {std::filesystem::path(TOLVANE_MANUAL_PAGE), testing::sourceFile("data/tolvane-editor.1")}) {
        EXPECT_EQ(outputOf("groff -man -ww -z " + quoted(file.string()) + " 2>&1"), "") << file;
        const std::string shown = outputOf("groff -man -Tutf8 " + quoted(file.string()) + " 2>&1 | col -b");
        EXPECT_GT(shown.size(), 1000u) << file;
        static const std::regex longWord("[A-Za-z]{31,}");
        std::smatch word;
        EXPECT_FALSE(std::regex_search(shown, word, longWord)) << file << ": " << word.str();
    }
}

// The fields of a JSON text, by path ("layout.sectorSize", "sectors[].edc"),
// and the types their values had: number, text, boolean, null, list, object.
using JsonFields = std::map<std::string, Names>;

class JsonReader {
public:
    JsonReader(const std::string& text, JsonFields& fields) : text_(text), fields_(fields) {}

    // Reads the whole text as one value; false (with a test failure) where it is not JSON as expected.
    bool read() {
        value("");
        space();
        if (at_ != text_.size()) fault();
        return good_;
    }

private:
    char next() {
        space();
        return at_ < text_.size() ? text_[at_] : '\0';
    }
    void space() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }
    void fault() {
        if (good_) ADD_FAILURE() << "not JSON as expected at byte " << at_ << " of:\n" << text_;
        good_ = false;
        at_ = text_.size();
    }
    bool take(char c) {
        if (next() != c) return false;
        ++at_;
        return true;
    }
    std::string string() {
        std::string out;
        if (!take('"')) fault();
        while (good_ && at_ < text_.size() && text_[at_] != '"') {
            if (text_[at_] == '\\') out += text_[at_++];
            if (at_ < text_.size()) out += text_[at_++];
        }
        if (!take('"')) fault();
        return out;
    }
    std::string value(const std::string& path) {
        const char c = next();
        if (take('{')) {
            if (take('}')) return "object";
            do {
                const std::string key = string();
                if (!take(':')) fault();
                const std::string field = path.empty() ? key : path + "." + key;
                fields_[field].insert(value(field));
            } while (good_ && take(','));
            if (!take('}')) fault();
            return "object";
        }
        if (take('[')) {
            if (take(']')) return "list";
            do value(path + "[]");
            while (good_ && take(','));
            if (!take(']')) fault();
            return "list";
        }
        if (c == '"') {
            string();
            return "text";
        }
        for (const auto& [word, type] :
             {std::pair<std::string, std::string>{"true", "boolean"}, {"false", "boolean"}, {"null", "null"}})
            if (text_.compare(at_, word.size(), word) == 0) {
                at_ += word.size();
                return type;
            }
        const std::size_t start = at_;
        while (at_ < text_.size() && std::strchr("-+.eE0123456789", text_[at_])) ++at_;
        if (at_ == start) fault();
        return "number";
    }

    const std::string& text_;
    JsonFields& fields_;
    std::size_t at_ = 0;
    bool good_ = true;
};

// The page's JSON OUTPUT section: each field's tag, .BI name " type".
std::map<std::string, std::string> documentedJsonFields(const std::filesystem::path& file) {
    const auto bytes = testing::readFile(file);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    static const std::regex tag(R"re(^\.BI (\S+) "\s*([a-z ]+)"$)re");
    std::map<std::string, std::string> fields;
    std::string line, section;
    for (bool isTag = false; std::getline(in, line); isTag = line == ".TP") {
        if (line.rfind(".SH ", 0) == 0) section = line.substr(4);
        std::smatch match;
        if (section == "JSON OUTPUT" && isTag) {
            EXPECT_TRUE(std::regex_match(line, match, tag)) << "not a field's tag: " << line;
            if (!match.empty()) fields[match[1]] = match[2];
        }
    }
    return fields;
}

// What info --json prints for a disc read straight, one read through a CUE
// sheet (an audio track before it in its file, no SYSTEM.CNF, a name that is
// not UTF-8) and a file that is not there: every field it prints is on the
// page, with the type its values have, and every field on the page is printed.
TEST(ManualPage, DescribesEveryFieldOfInfosJsonWithItsType) {
    TOLVANE_REQUIRE_PROGRAM("chdman");
    testing::TempDir dir;
    testing::writeFile(dir / "game.bin", testing::buildDisc({}, kRawMode2Layout));
    testing::writeFile(dir / "cd.bin", testing::buildDisc({.sectors = 80}, kRawMode2Layout));
    const std::string cd = "FILE \"cd.bin\" BINARY\n TRACK 01 MODE2/2352\n  INDEX 01 00:00:00\n";
    testing::writeFile(dir / "cd.cue", std::vector<Byte>(cd.begin(), cd.end()));
    ASSERT_EQ(
        std::system(
            ("cd " + quoted(dir.path().string()) + " && chdman createcd -i cd.cue -o game.chd >/dev/null 2>&1").c_str()),
        0);
    std::vector<Byte> tracks(150 * 2352, 0x11);
    const auto disc = testing::buildDisc({.systemCnf = std::nullopt}, kPlainLayout);
    tracks.insert(tracks.end(), disc.begin(), disc.end());
    testing::writeFile(dir / "tracks \xE9.bin", tracks);
    const std::string sheet =
        "FILE \"tracks \xE9.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
        " TRACK 02 MODE1/2048\n  INDEX 01 00:02:00\n";
    testing::writeFile(dir / "game \xE9.cue", std::vector<Byte>(sheet.begin(), sheet.end()));

    JsonFields printed;
    for (const auto& [image, status] :
         {std::pair<std::string, int>{"game.bin", 0}, {"game \xE9.cue", 0}, {"game.chd", 0}, {"missing.bin", 1}}) {
        const std::string command =
            quoted(TOLVANE_CLI) + " info --json " + quoted((dir / image).string()) + " 2>/dev/null; echo \"exit $?\"";
        std::string out = outputOf(command);
        const std::string exit = "exit " + std::to_string(status) + "\n";
        ASSERT_TRUE(out.ends_with(exit)) << image << ": " << out;
        out.resize(out.size() - exit.size());
        EXPECT_TRUE(JsonReader(out, printed).read()) << image;
    }
    EXPECT_EQ(printed["cue.offset"], Names{"number"}) << "no CUE sheet was read";
    EXPECT_EQ(printed["fileEscaped"], (Names{"null", "text"}));

    const auto page = documentedJsonFields(TOLVANE_MANUAL_PAGE);
    ASSERT_GT(page.size(), 10u);
    for (const auto& [field, types] : printed) {
        const auto documented = page.find(field);
        if (documented == page.end()) {
            ADD_FAILURE() << field << " is printed, but not on the page";
            continue;
        }
        for (const std::string& type : types)
            EXPECT_TRUE(type == documented->second.substr(0, documented->second.find(" or null")) ||
                        (type == "null" && documented->second.ends_with(" or null")))
                << field << " has a value of the type " << type << "; the page says " << documented->second;
    }
    for (const auto& [field, type] : page)
        EXPECT_EQ(printed.count(field), 1u) << field << " is on the page, never printed";
}

}  // namespace
}  // namespace tolvane
