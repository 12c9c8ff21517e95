"""Makes tolvane's command files from its one table, cli/command_table.py.

Usage: make_command_files.py cpp OUTPUT
       make_command_files.py man|bash|zsh TEMPLATE OUTPUT

cpp writes the table tolvane parses with and the help texts it prints. The
others fill a hand-written template: each @NAME@ or @NAME word@ in it becomes
what the table says, a marker alone on its line indented as that line. A
marker the table has nothing for, or one of a command left out, is an error:
an option cannot go missing from the manual page or the completions.
"""

import os
import re
import sys
import textwrap

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import command_table as table  # noqa: E402

WIDTH = 79  # of --help's lines


class TableError(Exception):
    pass


def command_options(command):
    return {option.name: option for option in command.options}


def check_table():
    names = [command.name for command in table.COMMANDS]
    if len(set(names)) != len(names):
        raise TableError("a command is listed twice")
    for command in table.COMMANDS:
        options = command_options(command)
        if len(options) != len(command.options):
            raise TableError(f"{command.name}: an option is listed twice")
        for option in command.options:
            if option.after_command:
                raise TableError(f"{command.name} {option.name}: only a program's option is taken after a command")
            for other in option.needs + option.excludes:
                if other not in options:
                    raise TableError(f"{command.name} {option.name}: {other} is not one of its options")
            for other in option.excludes:
                if option.name not in options[other].excludes:
                    raise TableError(f"{command.name}: {option.name} excludes {other}, but not the other way")
            for other in option.needs:
                if options[other].needs:
                    raise TableError(f"{command.name} {option.name}: {other} needs another option itself")
        for option in command.options:
            if option.value_kind and (option.value_kind not in table.FILE_KINDS or not option.value):
                raise TableError(f"{command.name} {option.name}: a value of no file kind {option.value_kind}")
        for argument in command.arguments:
            if argument.kind not in table.FILE_KINDS:
                raise TableError(f"{command.name} {argument.name}: no file kind {argument.kind}")
    for option in list(table.PROGRAM_OPTIONS) + [o for c in table.COMMANDS for o in c.options]:
        if not option.name.startswith("--") or (option.short and not re.fullmatch(r"-\w", option.short)):
            raise TableError(f"{option.name}: not a long option, or {option.short} not a short one")
        if option.short and option.value:
            raise TableError(f"{option.name}: tolvane reads a value after long names only")
        if not option.help or not option.doc:
            raise TableError(f"{option.name}: help and doc are both needed")


# A synopsis is a list of units that --help does not break, each a list of
# (text, font) pieces: B an option, I a value, A an argument, R the rest, and
# " " a space.

def option_pieces(option):
    pieces = [(option.name, "B")]
    if option.value:
        pieces += [(" ", " "), (option.value, "I")]
    return pieces


def groups(options):
    """Options as the synopsis shows them: runs of options that exclude each
    other become one group, [--pal|--ntsc]."""
    result = []
    for option in options:
        if result and all(other.name in option.excludes for other in result[-1]):
            result[-1].append(option)
        else:
            result.append([option])
    return result


def group_pieces(group, command):
    pieces = [("[", "R")]
    for index, option in enumerate(group):
        if index:
            pieces.append(("|", "R"))
        pieces += option_pieces(option)
    followers = [o for o in command.options if o.needs and o.needs[0] in {g.name for g in group}]
    for subgroup in groups(followers):
        pieces += [(" ", " ")] + group_pieces(subgroup, command)
    return pieces + [("]", "R")]


def option_units(command):
    """The options as the synopsis shows them, each needing another within the
    brackets of the first it needs: [--console [--key K] [--pal|--ntsc]]."""
    return [group_pieces(group, command) for group in groups([o for o in command.options if not o.needs])]


def synopsis(command):
    return option_units(command) + [[(argument.name, "A")] for argument in command.arguments]


def plain(pieces):
    return "".join(text for text, _ in pieces)


def plain_synopsis(command):
    return " ".join(plain(unit) for unit in synopsis(command))


def unbroken(text):
    """Spaces no line should break at, those of 384 x 64 and of a quoted
    command, made no-break spaces for textwrap."""
    text = re.sub(r"(\d) x (\d)", "\\1\u00a0x\u00a0\\2", text)
    return re.sub(r"'tolvane [^']*'", lambda quoted: quoted.group(0).replace(" ", "\u00a0"), text)


def wrap(text, width):
    lines = textwrap.wrap(unbroken(text), width, break_long_words=False, break_on_hyphens=False)
    return [line.replace("\u00a0", " ") for line in lines]


def wrapped(text):
    """Paragraphs, apart at blank lines, wrapped."""
    return "\n\n".join("\n".join(wrap(paragraph, WIDTH)) for paragraph in text.split("\n\n")) + "\n"


def listing(rows):
    """Two columns, the second wrapped beside the first."""
    width = max(len(left) for left, _ in rows) + 4
    lines = []
    for left, right in rows:
        text = wrap(right, WIDTH - width)
        lines.append(("  " + left).ljust(width) + text[0])
        lines += [" " * width + line for line in text[1:]]
    return "\n".join(lines) + "\n"


def option_label(option):
    label = option.short + ", " + option.name if option.short else option.name
    return label + " " + option.value if option.value else label


def usage_line(lead, words):
    """The lead and the words, wrapped under the lead's end."""
    lines, line, bare = [], lead, True
    for word in words:
        if not bare and len(line) + 1 + len(word) > WIDTH:
            lines.append(line)
            line = " " * len(lead)
        line, bare = line + " " + word, False
    return "\n".join(lines + [line]) + "\n"


def program_help():
    commands = listing([(c.name + " " + " ".join(a.name for a in c.arguments), c.summary) for c in table.COMMANDS])
    options = listing([(option_label(o), o.help) for o in table.PROGRAM_OPTIONS])
    return (f"Usage: {table.PROGRAM} COMMAND [OPTIONS] ARGUMENTS\n\n" + wrapped(table.DESCRIPTION) +
            "\nCommands:\n" + commands + "\n" + wrapped(table.COMMANDS_NOTE) + "\nOptions:\n" + options +
            "\n" + wrapped(table.EXIT_STATUS))


def command_help(command):
    # The options' groups, then the arguments, together.
    words = [plain(unit) for unit in option_units(command)] + [" ".join(a.name for a in command.arguments)]
    return (usage_line(f"Usage: {table.PROGRAM} {command.name}", words) + "\n" + wrapped(command.help) +
            "\nOptions:\n" + listing([(option_label(o), o.help) for o in command.options]))


# The C++ table.

def identifier(name):
    return "".join(part.capitalize() for part in name.lstrip("-").split("-"))


def cpp_string(text, indent=""):
    """A C++ string literal, a line of the text a line of source."""
    lines = text.splitlines(keepends=True) or [""]
    quoted = ['"' + line.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"' for line in lines]
    return ("\n" + indent).join(quoted)


def cpp_options(options, prefix, out):
    """Writes the arrays an options table refers to; gives its rows."""
    rows = []
    for option in options:
        spans = []
        for kind, names in (("Needs", option.needs), ("Excludes", option.excludes)):
            if names:
                array = f"k{prefix}{identifier(option.name)}{kind}"
                out.append(f"constexpr Option {array}[] = {{" +
                           ", ".join(f"Option::{identifier(n)}" for n in names) + "};")
                spans.append(array)
            else:
                spans.append("{}")
        rows.append(f'    {{Option::{identifier(option.name)}, {cpp_string(option.name)}, {cpp_string(option.short)}, '
                    f'{"true" if option.value else "false"}, {"true" if option.after_command else "false"}, '
                    f'{spans[0]}, {spans[1]}}},')
    return rows


def make_cpp():
    out = ["// Made by cli/make_command_files.py from cli/command_table.py: change those, not this.",
           '#include "command_table.h"', "", "namespace tolvane {", "namespace {", ""]
    rows = cpp_options(table.PROGRAM_OPTIONS, "Program", out)
    out += ["constexpr OptionRow kProgramOptionArray[] = {"] + rows + ["};", ""]
    for command in table.COMMANDS:
        prefix = identifier(command.name)
        rows = cpp_options(command.options, prefix, out)
        out += [f"constexpr OptionRow k{prefix}Options[] = {{"] + rows + ["};", ""]
    out.append("constexpr CommandRow kCommandArray[] = {")
    for command in table.COMMANDS:
        prefix = identifier(command.name)
        out += [f"    {{Command::{prefix}, {cpp_string(command.name)}, {cpp_string(plain_synopsis(command))}, "
                f"{len(command.arguments)}, k{prefix}Options,", "     " + cpp_string(command_help(command), "     ") + "},"]
    out += ["};", "", "}  // namespace", "",
            "const std::span<const OptionRow> kProgramOptions{kProgramOptionArray};",
            "const std::span<const CommandRow> kCommands{kCommandArray};",
            "const std::string_view kProgramHelp =", "    " + cpp_string(program_help(), "    ") + ";", "",
            "}  // namespace tolvane", ""]
    return "\n".join(out)


# The manual page.

def groff_text(text):
    return text.replace("\\", "\\\\").replace("-", "\\-")


def groff_word(pieces):
    """One word of pieces as a groff line: a font macro, or font escapes when
    more than two fonts alternate. Arguments are in italics and lower case."""
    merged = []
    for text, font in pieces:
        text, font = (text.lower(), "I") if font == "A" else (text, "R" if font == " " else font)
        if merged and merged[-1][1] == font:
            merged[-1] = (merged[-1][0] + text, font)
        else:
            merged.append((text, font))
    fonts = [font for _, font in merged]
    if len(merged) == 1 and fonts[0] != "R":
        return f".{fonts[0]} {groff_text(merged[0][0])}"
    if len(set(fonts)) == 2 and all(fonts[i] == fonts[i % 2] for i in range(len(fonts))):
        args = [groff_text(t) for t, _ in merged]
        return f".{fonts[0]}{fonts[1]} " + " ".join(f'"{a}"' if " " in a else a for a in args)
    line, current = "", "R"
    for text, font in merged:
        if font != current:
            line += "\\f" + font
            current = font
        line += groff_text(text)
    line = line + "\\fR" if current != "R" else line
    return "\\&" + line if line[0] in ".'" else line


def groff_words(units):
    """A synopsis's units as groff lines, a line a space-separated word."""
    lines = []
    for unit in units:
        word = []
        for piece in unit + [(" ", " ")]:
            if piece[1] == " ":
                lines.append(groff_word(word))
                word = []
            else:
                word.append(piece)
    return lines


def man_synopsis_of(command):
    """.SY keeps a synopsis unfilled, its next lines under the first word's end."""
    return [f'.SY "{table.PROGRAM} {command.name}"'] + groff_words(synopsis(command)) + [".YS"]


def man_synopsis():
    lines = []
    for command in table.COMMANDS:
        lines += man_synopsis_of(command)
    program, after = [("[", "R")], []
    for option in table.PROGRAM_OPTIONS:
        if len(program) > 1:
            program.append(("|", "R"))
        program += [(option.short, "B"), ("|", "R"), (option.name, "B")] if option.short else [(option.name, "B")]
        if option.after_command:
            after += ([("|", "R")] if after else []) + [(option.name, "B")]
    lines += [f".SY {table.PROGRAM}", groff_word(program + [("]", "R")]), ".YS"]
    lines += [f".SY {table.PROGRAM}", ".I command", groff_word(after), ".YS"]
    return "\n".join(lines)


def man_tag(option):
    if option.value:
        pieces = option_pieces(option) + [(", ", "R"), (option.name + "=", "B"), (option.value, "I")]
    elif option.short:
        pieces = [(option.short, "B"), (", ", "R"), (option.name, "B")]
    else:
        pieces = [(option.name, "B")]
    return groff_word(pieces)


def man_options(options):
    return "\n".join(f".TP\n{man_tag(option)}\n{option.doc}" for option in options)


def man_values():
    values = {"SYNOPSIS": man_synopsis(), "OPTIONS": man_options(table.PROGRAM_OPTIONS)}
    for command in table.COMMANDS:
        values[f"USAGE {command.name}"] = "\n".join(man_synopsis_of(command))
        values[f"OPTIONS {command.name}"] = man_options(command.options)
    return values


# The completions.

def bash_values():
    cases = []
    for command in table.COMMANDS:
        options = [o.name for o in command.options] + [o.name for o in table.PROGRAM_OPTIONS if o.after_command]
        valued = [o.name for o in command.options if o.value]
        files = [f"{o.name}:{o.value_kind}" for o in command.options if o.value_kind]
        kinds = [a.kind for a in command.arguments]
        cases.append(f"{command.name}) options='{' '.join(options)}' valued='{' '.join(valued)}' "
                     f"files='{' '.join(files)}' kinds='{' '.join(kinds)}' ;;")
    program = [name for o in table.PROGRAM_OPTIONS for name in (o.short, o.name) if name]
    return {
        "PROGRAM_OPTIONS": " ".join(program),
        "COMMANDS": " ".join(c.name for c in table.COMMANDS),
        "COMMAND_CASES": "\n".join(cases),
        "KIND_CASES": "\n".join(f'{kind}) _tolvane_files "$2" {" ".join(extensions)} ;;'
                                for kind, (_, extensions) in table.FILE_KINDS.items()),
    }


def zsh_quoted(text):
    return "'" + text.replace("'", "'\\''") + "'"


def zsh_option(option, alone=False):
    """An _arguments spec; alone: the option takes the whole line (--help)."""
    description = "[" + (option.brief or option.help).replace("[", "\\[").replace("]", "\\]") + "]"
    value = f":{option.value_help}: " if option.value else ""
    if option.value_kind:
        value = ":" + zsh_files(option.value_kind)
    if alone:
        excluded = "(- *)"
    else:
        excluded = "(" + " ".join(option.excludes) + ")" if option.excludes else ""
    if option.short:
        names = "{" + option.short + "," + option.name + "}"
        return (zsh_quoted(excluded) if excluded else "") + names + zsh_quoted(description + value)
    return zsh_quoted(excluded + option.name + ("=" if option.value else "") + description + value)


def zsh_files(kind):
    """What _arguments completes a file of that kind with: its message and action."""
    message, extensions = table.FILE_KINDS[kind]
    return f'{message}:_files -g "*.(#i)({"|".join(extensions)})(-.)"'


def zsh_argument(argument):
    return zsh_quoted(":" + zsh_files(argument.kind))


def zsh_values():
    commands = " ".join(c.name + '\\:"' + re.sub(r'(["\\$`])', r"\\\1", c.summary) + '"' for c in table.COMMANDS)
    cases = []
    for command in table.COMMANDS:
        specs = ([zsh_option(o, alone=True) for o in table.PROGRAM_OPTIONS if o.after_command] +
                 [zsh_option(o) for o in command.options] + [zsh_argument(a) for a in command.arguments])
        cases.append(f"{command.name}) _arguments -S \\\n  " + " \\\n  ".join(specs) + " && ret=0 ;;")
    return {
        "PROGRAM_SPECS": "\n".join(zsh_option(o, alone=True) + " \\" for o in table.PROGRAM_OPTIONS),
        "COMMAND_SPEC": zsh_quoted(f"1:command:(({commands}))"),
        "COMMAND_CASES": "\n".join(cases),
    }


MARKER = re.compile(r"@([A-Z_]+(?: [a-z-]+)?)@")


def fill(template, values):
    used = set()

    def replace(line):
        alone = re.fullmatch(r"(\s*)" + MARKER.pattern + r"\s*", line)
        if alone:
            indent, name = alone.groups()
            if name not in values:
                raise TableError(f"the table has nothing for @{name}@")
            used.add(name)
            return "\n".join(indent + part if part else part for part in values[name].split("\n"))

        def inline(match):
            if match.group(1) not in values:
                raise TableError(f"the table has nothing for @{match.group(1)}@")
            used.add(match.group(1))
            return values[match.group(1)]
        return MARKER.sub(inline, line)

    text = "\n".join(replace(line) for line in template.split("\n"))
    missing = sorted(set(values) - used)
    if missing:
        raise TableError("the template leaves out " + ", ".join(f"@{name}@" for name in missing))
    return text


def main(arguments):
    makers = {"man": man_values, "bash": bash_values, "zsh": zsh_values}
    if arguments[:1] == ["cpp"] and len(arguments) == 2:
        template, output = None, arguments[1]
    elif arguments[:1] and arguments[0] in makers and len(arguments) == 3:
        template, output = arguments[1], arguments[2]
    else:
        sys.exit(__doc__.split("\n\n")[1])
    try:
        check_table()
        if template is None:
            text = make_cpp()
        else:
            with open(template, encoding="utf-8") as file:
                text = fill(file.read(), makers[arguments[0]]())
    except (TableError, OSError) as error:
        sys.exit(f"make_command_files.py: {template or 'cli/command_table.py'}: {error}")
    # Written whole under another name first: a failed run leaves no half file
    # that the build would take as made.
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output + ".new", "w", encoding="utf-8", newline="\n") as file:
        file.write(text)
    os.replace(output + ".new", output)


if __name__ == "__main__":
    main(sys.argv[1:])
