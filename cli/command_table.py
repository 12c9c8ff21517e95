"""The commands and options of tolvane, written down once.

make_command_files.py makes from this table, at build time: the table tolvane
parses its command line with and the help texts it prints (command_table.cpp),
the SYNOPSIS and option lists of its manual page (data/tolvane.1.in), and the
bash and zsh completions (data/completion/*.in). Texts for --help are plain
and wrapped by the generator; `doc` texts are groff, for the manual page.
"""

from dataclasses import dataclass
from typing import Tuple


@dataclass(frozen=True)
class Option:
    name: str                     # --dry-run
    help: str                     # its line in --help
    doc: str                      # its item in the manual page (groff)
    short: str = ""               # -h
    value: str = ""               # the value's name: --key K, --key=K
    value_help: str = ""          # what the value is, for the completions
    value_kind: str = ""          # a key of FILE_KINDS when the value names a file
    brief: str = ""               # for the completions' menus when help is long
    needs: Tuple[str, ...] = ()   # options it is given only with
    excludes: Tuple[str, ...] = ()  # options it cannot be given with (both ways)
    after_command: bool = False   # a program's option that a command takes too


@dataclass(frozen=True)
class Argument:
    name: str  # IMAGE; the manual page writes it in lower case
    kind: str  # a key of FILE_KINDS


@dataclass(frozen=True)
class Command:
    name: str
    summary: str  # its line in 'tolvane --help' and the completions' menus
    help: str     # what 'tolvane COMMAND --help' says it does
    arguments: Tuple[Argument, ...]
    options: Tuple[Option, ...]


PROGRAM = "tolvane"

DESCRIPTION = (
    "Shows and replaces the boot logo of a PS2 disc image (384 x 64 grey pixels in "
    "the user data of the image's first 12 sectors).")

# After the commands in 'tolvane --help'.
COMMANDS_NOTE = (
    "'tolvane COMMAND --help' lists a command's options, which may come before, "
    "between or after its arguments. export and import take --console to work on "
    "the picture as the console shows it.")

EXIT_STATUS = "Exit status: 0 done, 1 the operation failed, 2 the command line is wrong."

# What the file arguments name, and the extensions the completions offer for
# them, in any letter case.
FILE_KINDS = {
    "image": ("disc image", ("bin", "iso", "cue", "chd")),
    "bitmap": ("bitmap", ("bmp", "png")),
    "patch": ("patch file", ("xdelta", "vcdiff", "ppf")),
}

PROGRAM_OPTIONS = (
    Option("--help", short="-h",
           help="this help; after a command, that command's help",
           brief="show the help",
           doc="Print the usage and the commands; after a command, that command's help.",
           after_command=True),
    Option("--version", short="-v",
           help="the version",
           doc="Print the version."),
)

IMAGE = Argument("IMAGE", "image")
BITMAP = Argument("BITMAP", "bitmap")

# The console's view, as export and import take it.
KEY = Option(
    "--key", value="K", value_help="key (0x00-0xFF or 0-255)", needs=("--console",),
    help="use key K (0x00-0xFF, or 0-255) instead of the disc's",
    doc=r"""With
.BR \-\-console :
use key
.I K
(0x00\-0xFF, or 0\-255) instead of the disc's.""")
PAL = Option(
    "--pal", needs=("--console",), excludes=("--ntsc",),
    help="use the PAL picture, 344 x 71, whatever the disc's video mode",
    brief="the PAL picture, 344 x 71",
    doc=r"""With
.BR \-\-console :
use the PAL picture, 344 x 71, whatever the disc's video mode.""")
NTSC = Option(
    "--ntsc", needs=("--console",), excludes=("--pal",),
    help="use the NTSC picture, 384 x 64, whatever the disc's video mode",
    brief="the NTSC picture, 384 x 64",
    doc=r"""With
.BR \-\-console :
use the NTSC picture, 384 x 64, whatever the disc's video mode.""")

COMMANDS = (
    Command(
        "export",
        summary="save the image's logo as an 8-bit BMP or PNG",
        help="Saves the logo of IMAGE as BITMAP, a 384 x 64 8-bit BMP with a grey palette, "
             "headed by the first ettbmp.hed found in the current folder, beside the program "
             "or in the installed data folder (else the same header, built in), or an 8-bit "
             "grey PNG when BITMAP's name ends in .png (in any letter case). BITMAP is "
             "replaced whole; if anything fails, an existing BITMAP is left as it was. "
             "BITMAP is never IMAGE itself, and an existing file that is not a picture "
             "(a BMP or PNG file) is not replaced unless --force is given.",
        arguments=(IMAGE, BITMAP),
        options=(
            Option("--force",
                   help="replace BITMAP even if it is not a picture",
                   doc=r"""Replace
.I bitmap
even if it is not a picture."""),
            Option("--console",
                   help="the picture as the console shows it: the stored bytes decoded with "
                        "the disc's key (from its serial, else byte 0 of the logo), 384 x 64 "
                        "for NTSC or 344 x 71 for PAL (from SYSTEM.CNF; NTSC when unknown)",
                   brief="save the picture as the console shows it",
                   doc=r"""Save the picture as the console shows it.
Real discs store the logo encoded with a one-byte key derived from the game's
serial, so the stored bytes look scrambled; this decodes them with the disc's
key (from its serial, else from byte 0 of the logo, its black border) and saves
a picture of 384 x 64 for NTSC or 344 x 71 for PAL, as SYSTEM.CNF says (NTSC
when it does not)."""),
            KEY, PAL, NTSC,
        )),
    Command(
        "import",
        summary="put the bitmap's picture into the image, in place",
        help="Reads BITMAP, a 384 x 64 BMP (1-, 2-, 4- or 8-bit with a palette, plain or "
             "RLE; 16-, 24- or 32-bit, with or without colour masks; Windows or OS/2 "
             "headers) or PNG (grey, palette, RGB, with or without alpha; 1- to 16-bit; "
             "interlaced or not), told apart by their first bytes, not by the name; each "
             "pixel becomes the grey level of its colour, alpha ignored. Then writes the "
             "picture into the logo of IMAGE, in place: IMAGE (unless it is a CHD, which "
             "grows) keeps its length and every byte outside the logo's user data, except "
             "the check fields (EDC/ECC) of logo sectors that had valid ones, which are "
             "recomputed. Nothing is written when "
             "the bitmap cannot be read or IMAGE is not as expected. With --patch-file, the "
             "same change goes into a patch file instead, for others who hold the same image, "
             "and IMAGE is only read.",
        arguments=(IMAGE, BITMAP),
        options=(
            Option("--patch-file", value="FILE", value_help="patch file", value_kind="patch",
                   help="write the change into FILE, a patch file, and leave IMAGE as it is (no "
                        "record is kept): for a name ending in .xdelta or .vcdiff, a VCDIFF delta "
                        "from which xdelta3 makes the patched image of IMAGE; for .ppf, a PPF 3.0 "
                        "patch with undo data. For a CUE sheet, of its data track's file. FILE is "
                        "replaced whole, and is never IMAGE or BITMAP",
                   brief="write the change into a patch file, leave IMAGE as it is",
                   doc=r"""Write the change into
.IR file ,
a patch file, for others who hold the same image, and leave
.I image
as it is: it is read (under its lock, as an import reads it) and no record is
kept.
A name that ends in
.B .xdelta
or
.B .vcdiff
gives a VCDIFF delta (RFC 3284) whose source is
.IR image ,
so that
.B xdelta3 \-d \-s
.I "image file out"
makes the image the import would have made; it carries the changed bytes and
copies the rest, in windows of 16 MiB, so it stays small for an image of any
size.
A name that ends in
.B .ppf
gives a PPF 3.0 patch, which patchers apply in place: the game's serial as its
description, the 1024 bytes of the image at byte 0x9320 for the patcher to
check (when the image has them), and each changed run of bytes with the bytes
it replaces, so that it can be taken back.
For a CUE sheet, the patch is of its data track's file.
The patch file is replaced whole or not at all, and is never the image, its
CUE sheet or
.IR bitmap .
With
.BR \-\-dry\-run ,
everything is checked and no patch file is written."""),
            Option("--dry-run",
                   help="check everything, write nothing",
                   doc="Check everything, write nothing."),
            Option("--force",
                   help="patch IMAGE even if it does not look like a disc image",
                   doc=r"""Patch
.I image
even if it does not look like a disc image."""),
            Option("--console",
                   help="BITMAP is the picture as the console shows it, 384 x 64 for NTSC "
                        "or 344 x 71 for PAL (from SYSTEM.CNF; NTSC when unknown), and is "
                        "encoded with the disc's key (from its serial, else byte 0 of the "
                        "logo) before it goes into the image",
                   brief="bring back the picture as the console shows it",
                   doc=r"""As for
.BR export :
.I bitmap
is the picture as the console shows it, of the shape the disc's video mode (or
.B \-\-pal
or
.BR \-\-ntsc )
gives, and is encoded with the key before it goes into the image.
Japanese and European consoles may refuse a disc whose logo was changed."""),
            KEY, PAL, NTSC,
        )),
    Command(
        "info",
        summary="describe the image, its game, sectors and logo",
        help="Describes IMAGE: its file and size (for a CUE sheet, also the sheet, the "
             "data track and the byte of the file it starts at; for a CHD, its codecs, its hunk "
             "size and the track the disc is read from), its layout (raw 2352-byte "
             "Mode 2 or Mode 1 sectors, 2336-byte Mode 2 sectors, or 2048-byte sectors), the game's serial "
             "and video mode from SYSTEM.CNF, the key of the console view, the state of "
             "each logo sector (mode, EDC, ECC) and a summary of the logo.",
        arguments=(IMAGE,),
        options=(
            Option("--json",
                   help="the same as JSON, for scripts (fields in tolvane(1)); a failure too",
                   doc=r"""The same as JSON, for scripts (see
.BR "JSON OUTPUT" ),
and a failure as JSON too."""),
        )),
    Command(
        "restore",
        summary="take the last patch of the image back",
        help="Writes back the bytes that the last patch of IMAGE (by tolvane import or the "
             "window's Patch) replaced, so that restoring again takes the patch before back. "
             "Every patch first keeps a record of the bytes it replaces and writes, on the disk "
             "before the image changes, in the "
             "tolvane-editor folder of XDG_DATA_HOME (~/.local/share) or, on Windows, of "
             "%LOCALAPPDATA%: at most 300 records of all discs (those taken back go first, "
             "then the oldest; never by the clock). Records are "
             "found by the disc and the bytes IMAGE holds, not by its name, so a renamed, "
             "moved or copied image is restored as it is; the record made on IMAGE itself "
             "comes first, and restoring one copy of a disc takes no step away from another. "
             "Refused, writing nothing, when no "
             "record is of a patch that wrote what IMAGE holds now, or when none was made on "
             "IMAGE and those made on other files would write different bytes: --record "
             "then names the one to take. A restore that was "
             "interrupted is finished by the next one, which goes no further back.",
        arguments=(IMAGE,),
        options=(
            Option("--list",
                   help="list the patches restore would take back, in its order",
                   doc="List the patches that restore would take back, in its order, instead.",
                   excludes=("--record",)),
            Option("--record", value="RECORD", value_help="record name",
                   help="take back the patch of RECORD, a record's name as --list shows it",
                   brief="take back the patch of the record named",
                   doc=r"""Take back the patch of
.IR record ,
a record's name as
.B \-\-list
shows it, where restore cannot choose between patches made on other copies of the disc.""",
                   excludes=("--list",)),
        )),
)
