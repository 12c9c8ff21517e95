// tolvane's command line read into what it asks for, before anything runs.
#pragma once

#include "command_table.h"
#include "logo/base/bytes.h"

#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tolvane {

struct Invocation {
    std::optional<Command> command;  // none for the program's own --help and --version
    bool help = false;               // print the help (the command's, with a command)
    bool version = false;
    std::vector<std::filesystem::path> arguments;
    bool force = false, dryRun = false, console = false, json = false, list = false;
    std::optional<Byte> key;                         // --key K
    std::optional<bool> pal;                         // --pal true, --ntsc false, neither the disc's video mode
    std::optional<std::filesystem::path> patchFile;  // --patch-file FILE, of a kind its name gives
    std::string record;                              // --record NAME
};

// A command line that asks for nothing tolvane does; what() says what is wrong,
// command() the command it was for, when one was named ("" otherwise).
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what, std::string command = {})
        : std::runtime_error(what), command_(std::move(command)) {}
    const std::string& command() const { return command_; }

private:
    std::string command_;
};

// words: the command line without the program's name, UTF-8 on every system.
// Throws UsageError.
Invocation parseCommandLine(std::span<const std::string> words);

// What --help prints: the program's, or that of the invocation's command.
std::string_view helpText(const Invocation& invocation);

}  // namespace tolvane
