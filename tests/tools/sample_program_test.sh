#!/bin/sh
# tolvane-sample: --help prints its usage, anything it does not know is refused
# with it, and neither writes a disc (under the option's name or any other);
# a name is still written.
# Usage: sample_program_test.sh tolvane-sample
set -u
sample=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "tolvane-sample: $*" >&2; failures=$((failures + 1)); }
usage="usage: tolvane-sample OUTPUT.bin"

out=$("$sample" --help 2>err) || fail "--help exited $?"
case $out in "$usage"*) ;; *) fail "--help printed \"$out\"" ;; esac
[ -s err ] && fail "--help wrote to stderr: $(cat err)"
for words in "--bogus" "-o disc.bin" "" "a.bin b.bin"; do
    # shellcheck disable=SC2086  # the words are split on purpose
    "$sample" $words >out 2>err
    status=$?
    [ "$status" -eq 2 ] || fail "\"$words\" exited $status"
    [ -s out ] && fail "\"$words\" wrote to stdout"
    grep -qxF "$usage" err || fail "\"$words\" did not print the usage: $(cat err)"
done
rm -f out err
[ -z "$(ls -A)" ] || fail "files were written: $(ls -A)"
"$sample" ./-disc.bin || fail "./-disc.bin exited $?"
[ -s ./-disc.bin ] || fail "no disc written to ./-disc.bin"
exit $((failures > 0))
