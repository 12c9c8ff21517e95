#!/bin/bash
# Sources the bash completion in a plain bash (no bash-completion package) and
# checks what it offers: the commands and options tolvane's --help names, and
# for file arguments folders and only the files of the right kind.
# Usage: completion_test.sh COMPLETION TOLVANE
set -u
completion=$1
tolvane=$2
case $tolvane in /*) ;; *) tolvane=$PWD/$tolvane ;; esac
failures=0

# shellcheck source=/dev/null
source "$completion" || exit 1
[[ $(complete -p tolvane) == "complete -F _tolvane tolvane" ]] || { echo "tolvane has no completion"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir discs "my games"
touch game.bin DISC.ISO Track.Bin game.CUE Game.Chd notes.txt logo.bmp Shot.BMP picture.png bin -- -dash.iso "my games/a b.bin" \
    logo.xdelta Old.VCDIFF logo.ppf

# expect WORD... :: CANDIDATE...: completing the last of WORDs offers exactly the CANDIDATEs.
expect() {
    local -a words=()
    while [[ $1 != :: ]]; do words+=("$1"); shift; done
    shift
    COMP_WORDS=(tolvane "${words[@]}")
    COMP_CWORD=${#words[@]}
    COMPREPLY=()
    _tolvane
    local got wanted
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort)
    wanted=$(printf '%s\n' "$@" | sort)
    if [[ $got != "$wanted" ]]; then
        echo "tolvane ${words[*]}<TAB>: got [${got//$'\n'/, }], expected [${wanted//$'\n'/, }]"
        failures=$((failures + 1))
    fi
}

# The options a help text names (-h, --dry-run, --key of --key=K), one a line.
options_in() { grep -oE '(^|[^[:alnum:]-])--?[a-z][a-z-]*' | sed -E 's/^[^-]*//' | sort -u; }

# Commands and options as tolvane --help and tolvane COMMAND --help give them.
help=$("$tolvane" --help) || exit 1
mapfile -t commands < <(sed -n '/^Commands:/,/^$/p' <<<"$help" | sed -nE 's/^  ([a-z]+).*/\1/p')
mapfile -t global < <(sed -n '/^Options:/,/^$/p' <<<"$help" | options_in)
[[ ${#commands[@]} -ge 3 && ${#global[@]} -ge 2 ]] || { echo "cannot read tolvane --help:"; echo "$help"; exit 1; }
expect "" :: "${commands[@]}"
expect - :: "${global[@]}"
for command in "${commands[@]}"; do
    mapfile -t options < <({ "$tolvane" "$command" --help | options_in; echo --help; } | sort -u)
    expect "$command" - :: "${options[@]}"
done
expect import --d :: --dry-run

# The image, then the bitmap; options and keys in between are not arguments.
images=(discs "my games" game.bin DISC.ISO Track.Bin game.CUE Game.Chd -dash.iso)
bitmaps=(discs "my games" logo.bmp Shot.BMP picture.png)
expect import "" :: "${images[@]}"
expect info "" :: "${images[@]}"
expect import game.bin "" :: "${bitmaps[@]}"
expect export --console --key 0x0D --pal game.bin "" :: "${bitmaps[@]}"
expect export --console --key = 13 "" :: "${images[@]}"
expect import -- -d :: -dash.iso
expect import "my\\ g" :: "my games"
expect import "\"my games/" :: "my games/a b.bin"
expect import game.bin logo.bmp "" ::
expect info game.bin "" ::
expect restore --list "" :: "${images[@]}"
expect restore game.bin "" ::
expect export --console --key "" ::
# A patch file as --patch-file's value, then the image and the bitmap as before.
patches=(discs "my games" logo.xdelta Old.VCDIFF logo.ppf)
expect import --patch-file "" :: "${patches[@]}"
expect import --patch-file = "" :: "${patches[@]}"
expect import --patch-file logo.ppf "" :: "${images[@]}"
expect import --patch-file = logo.ppf game.bin "" :: "${bitmaps[@]}"
expect paint "" ::

((failures == 0)) && echo "bash completion: passed"
exit $((failures > 0))
