// tolvane's commands and options as its command line is parsed. The data is
// made at build time from cli/command_table.py (cli/make_command_files.py writes
// command_table.cpp), the table the help texts, the manual page and the shell
// completions come from too.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace tolvane {

// One enumerator for each command and option of the table, named after it
// (--dry-run is DryRun): the made table does not compile when one is missing.
enum class Command { Export, Import, Info, Restore };
enum class Option { Help, Version, Force, DryRun, Console, Key, Pal, Ntsc, Json, List, PatchFile, Record };

struct OptionRow {
    Option option;
    std::string_view name;             // "--dry-run"
    std::string_view shortName;        // "-h", or empty
    bool takesValue;                   // --key K or --key=K
    bool afterCommand;                 // a program's option that commands take too (--help)
    std::span<const Option> needs;     // given only with these
    std::span<const Option> excludes;  // never with these
};

struct CommandRow {
    Command command;
    std::string_view name;
    std::string_view synopsis;  // its options and arguments: "[--json] IMAGE"
    std::size_t arguments;      // how many it takes, all of them needed
    std::span<const OptionRow> options;
    std::string_view help;  // what `tolvane COMMAND --help` prints
};

extern const std::span<const OptionRow> kProgramOptions;
extern const std::span<const CommandRow> kCommands;
extern const std::string_view kProgramHelp;  // what `tolvane --help` prints

}  // namespace tolvane
