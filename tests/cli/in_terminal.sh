#!/bin/sh
# Runs a command with a terminal of its own (script(1)), as Wine needs to give a
# Windows program a console, and prints what it wrote: its output goes to a file,
# not through the terminal, where Wine's console would draw it in escape codes.
# Exits with the command's status.
# Usage: in_terminal.sh COMMAND [ARGUMENT...]
set -eu
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# script(1) takes one line for a shell: the words reach it in the environment.
export IN_TERMINAL_OUT="$out"
line=""
n=0
for word in "$@"; do
    n=$((n + 1))
    export "IN_TERMINAL_$n=$word"
    line="$line \"\$IN_TERMINAL_$n\""
done
status=0
SHELL=/bin/sh script -qec "$line >\"\$IN_TERMINAL_OUT\" 2>&1" /dev/null >/dev/null || status=$?
cat "$out"
exit "$status"
