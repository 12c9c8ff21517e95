#!/bin/sh
# tools/changelog.py: CHANGELOG.md as a Debian changelog that dpkg reads back
# (versions, dates and their weekdays, wrapped items, a gzip without a name or
# time stamp) and as AppStream releases; and the faults of a CHANGELOG.md named
# with their line.
# Usage: changelog_test.sh tools/changelog.py
set -u
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "changelog: $*" >&2; failures=$((failures + 1)); }
maintainer="Tolvane Editor authors <maintainers@tolvane.invalid>"

cat > notes.md <<'END'
# Changelog

Some words about this file.

## Unreleased

- Not in any release yet.

## 1.10.0 - 2024-02-29

- A long item that goes on and on about `tolvane import --dry-run` and more,
  continued on a second line & a third,
  to be wrapped at 80 columns.
- Short <one>.

## 1.9.2 - 2023-12-31

- The one before.
END

python3 "$tool" debian notes.md 1.10.0 tolvane-editor "$maintainer" out.gz || fail "debian: status $?"
[ "$(od -An -tx1 -j3 -N5 out.gz | tr -d ' \n')" = 0000000000 ] ||
    fail "the gzip header holds a name or a time stamp: $(od -An -tx1 -N10 out.gz)"
gzip -dc out.gz > changelog
parsed=$(dpkg-parsechangelog -l changelog --format rfc822 --all | sed -n 's/^Version: //p' | tr '\n' ' ')
[ "$parsed" = "1.10.0 1.9.2 " ] || fail "dpkg reads the versions as '$parsed'"
[ "$(dpkg-parsechangelog -l changelog -S Date)" = "Thu, 29 Feb 2024 00:00:00 +0000" ] ||
    fail "the date is $(dpkg-parsechangelog -l changelog -S Date)"
[ "$(dpkg-parsechangelog -l changelog -S Maintainer)" = "$maintainer" ] || fail "the maintainer"
awk '/^  / && length > 80 { exit 1 }' changelog || fail "an item's line is longer than 80 columns"
grep -q '^  \* A long item that goes on and on about tolvane import --dry-run and more,$' changelog ||
    fail "the first item is not wrapped as expected: $(cat changelog)"
grep -q '^    continued on a second line & a third, to be wrapped at 80 columns\.$' changelog ||
    fail "the first item's continuation: $(cat changelog)"
[ "$(grep -c '^  \* ' changelog)" = 3 ] || fail "not 3 items: $(cat changelog)"

printf '<c>\n  <releases>\n    @RELEASES@\n  </releases>\n</c>\n' > template.xml
python3 "$tool" metainfo notes.md 1.10.0 template.xml meta.xml || fail "metainfo: status $?"
python3 - meta.xml <<'END' || fail "metainfo: $(cat meta.xml)"
import sys
import xml.etree.ElementTree as ET
releases = ET.parse(sys.argv[1]).getroot().findall("releases/release")
assert [(r.get("version"), r.get("date")) for r in releases] == [("1.10.0", "2024-02-29"), ("1.9.2", "2023-12-31")]
items = [li.text for li in releases[0].findall("description/ul/li")]
assert items[1] == "Short <one>.", items
assert items[0].startswith("A long item that goes on and on about tolvane import --dry-run and more, continued"), items
END

# Faults, each with the place to mend and the reason.
check_fault() {  # NAME VERSION EXPECTED-TEXT
    status=0
    python3 "$tool" debian "$1" "$2" tolvane-editor "$maintainer" bad.gz 2> err || status=$?
    [ "$status" -eq 1 ] || fail "$1: status $status, not 1"
    grep -qF "$3" err || fail "$1: '$(cat err)' does not say '$3'"
    [ ! -e bad.gz ] || fail "$1: an output was written"
}
check_fault notes.md 1.11.0 "notes.md: the newest release is 1.10.0, the project is 1.11.0"
printf '## 1.0.0 - 2024-02-30\n\n- x\n' > bad-date.md
check_fault bad-date.md 1.0.0 "bad-date.md:1: day is out of range"
printf '# C\n\n## 1.0.0 (2024-01-01)\n\n- x\n' > bad-heading.md
check_fault bad-heading.md 1.0.0 'bad-heading.md:3: a release heading is "## VERSION - YYYY-MM-DD"'
printf '## 1.0.0 - 2024-01-01\n\nA paragraph.\n' > paragraph.md
check_fault paragraph.md 1.0.0 'paragraph.md:3: a release holds items'
printf '## 1.0.0 - 2024-01-01\n\n## 0.9.0 - 2023-01-01\n\n- x\n' > empty.md
check_fault empty.md 1.0.0 "empty.md: release 1.0.0 has no items"
printf '## 1.0.0 - 2024-01-01\n\n- x\n\n## Unreleased\n\n- y\n' > late.md
check_fault late.md 1.0.0 'late.md:5: "## Unreleased" stands once, above every release'
check_fault missing.md 1.0.0 'cannot read "missing.md": No such file or directory'

[ "$failures" -eq 0 ] && echo "changelog: passed"
exit $((failures > 0))
