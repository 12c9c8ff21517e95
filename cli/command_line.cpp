// Parsing tolvane's command line into an invocation, by the command table.
#include "command_line.h"

#include "logo/patch/patch_file.h"

#include <algorithm>
#include <cctype>

namespace tolvane {
namespace {

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

const OptionRow* find(std::span<const OptionRow> options, std::string_view word) {
    const auto named = [&](const OptionRow& o) {
        return word == o.name || (!o.shortName.empty() && word == o.shortName);
    };
    const auto found = std::find_if(options.begin(), options.end(), named);
    return found == options.end() ? nullptr : &*found;
}

bool contains(std::span<const Option> options, Option option) {
    return std::find(options.begin(), options.end(), option) != options.end();
}

std::string nameOf(const CommandRow& command, Option option) {
    for (const OptionRow& row : command.options)
        if (row.option == option) return std::string(row.name);
    return {};
}

// "--key, --pal and --ntsc go with --console": every option of the command that
// needs the one missing.
std::string needsMessage(const CommandRow& command, Option needed) {
    std::vector<std::string> needing;
    for (const OptionRow& row : command.options)
        if (contains(row.needs, needed)) needing.emplace_back(row.name);
    std::string text;
    for (std::size_t i = 0; i < needing.size(); ++i)
        text += (i == 0 ? "" : i + 1 == needing.size() ? " and " : ", ") + needing[i];
    return text + (needing.size() == 1 ? " goes with " : " go with ") + nameOf(command, needed);
}

// Arguments are UTF-8 here on every system (see main).
std::filesystem::path pathOf(const std::string& text) { return std::u8string(text.begin(), text.end()); }

void set(Invocation& invocation, Option option, const std::string& value) {
    switch (option) {
        case Option::Force: invocation.force = true; break;
        case Option::DryRun: invocation.dryRun = true; break;
        case Option::Console: invocation.console = true; break;
        case Option::Json: invocation.json = true; break;
        case Option::List: invocation.list = true; break;
        case Option::Pal: invocation.pal = true; break;
        case Option::Ntsc: invocation.pal = false; break;
        case Option::Key:
            invocation.key = parseKey(value);
            if (!invocation.key) throw UsageError("'" + value + "' is not a key: give 0x00-0xFF or 0-255");
            break;
        case Option::PatchFile:
            invocation.patchFile = pathOf(value);
            if (!patchFileKindFor(*invocation.patchFile))
                throw UsageError("--patch-file takes a name that ends in " + patchFileKinds() + ", not '" + value +
                                 "'");
            break;
        case Option::Record: invocation.record = value; break;
        case Option::Help: invocation.help = true; break;
        case Option::Version: invocation.version = true; break;
    }
}

// The words after the command's name.
Invocation parseCommand(const CommandRow& command, std::span<const std::string> words) {
    Invocation invocation;
    invocation.command = command.command;

    std::vector<Option> given;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            invocation.arguments.push_back(pathOf(word));
        } else if (word == "--") {
            optionsEnded = true;
        } else if (const OptionRow* option = find(kProgramOptions, word); option && option->afterCommand) {
            set(invocation, option->option, "");
            return invocation;
        } else if (const OptionRow* valued = find(command.options, word.substr(0, word.find('=')));
                   valued && valued->takesValue) {
            const bool inline_ = valued->name.size() < word.size();  // --key=K
            if (!inline_ && i + 1 == words.size()) throw UsageError(std::string(valued->name) + " needs a value");
            set(invocation, valued->option, inline_ ? word.substr(valued->name.size() + 1) : words[++i]);
            given.push_back(valued->option);
        } else if (const OptionRow* flag = find(command.options, word); flag && !flag->takesValue) {
            set(invocation, flag->option, "");
            given.push_back(flag->option);
        } else {
            throw UsageError("unknown option '" + word + "' for " + std::string(command.name));
        }
    }

    for (const OptionRow& option : command.options)
        for (Option other : option.excludes)
            if (contains(given, option.option) && contains(given, other))
                throw UsageError(std::string(option.name) + " and " + nameOf(command, other) + " exclude each other");
    for (const OptionRow& option : command.options)
        for (Option needed : option.needs)
            if (contains(given, option.option) && !contains(given, needed))
                throw UsageError(needsMessage(command, needed));
    if (invocation.arguments.size() != command.arguments)
        throw UsageError(std::string(command.name) + " takes " + std::string(command.synopsis) + " (" +
                         std::to_string(invocation.arguments.size()) + " given)");
    return invocation;
}

}  // namespace

Invocation parseCommandLine(std::span<const std::string> words) {
    if (words.empty()) throw UsageError("no command given");
    // The program's own options end the command line: what follows is not read.
    if (const OptionRow* option = find(kProgramOptions, words[0])) {
        Invocation invocation;
        set(invocation, option->option, "");
        return invocation;
    }
    const auto named = [&](const CommandRow& c) { return words[0] == c.name; };
    const auto found = std::find_if(kCommands.begin(), kCommands.end(), named);
    if (found == kCommands.end()) throw UsageError("unknown command '" + words[0] + "'");
    try {
        return parseCommand(*found, words.subspan(1));
    } catch (const UsageError& wrong) {
        throw UsageError(wrong.what(), std::string(found->name));
    }
}

std::string_view helpText(const Invocation& invocation) {
    for (const CommandRow& command : kCommands)
        if (invocation.command == command.command) return command.help;
    return kProgramHelp;
}

}  // namespace tolvane
