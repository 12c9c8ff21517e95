#!/usr/bin/env python3
"""The release notes of CHANGELOG.md in the forms packages carry them.

  changelog.py debian CHANGELOG.md VERSION PACKAGE MAINTAINER OUTPUT.gz
      the Debian changelog (gzipped, without a name or time stamp in the gzip
      header, so that the same notes give the same bytes)
  changelog.py metainfo CHANGELOG.md VERSION TEMPLATE OUTPUT
      the AppStream metadata TEMPLATE with its @RELEASES@ line replaced by the
      <release> elements

CHANGELOG.md holds a "## VERSION - YYYY-MM-DD" heading per release, newest
first, each followed by items ("- " and their lines indented by two spaces).
Other lines (the title, paragraphs) are not carried over. VERSION is the
project's: the newest release must be that version. A "## Unreleased" heading
above the releases holds the items of the next one, which no package carries
until that heading becomes its release's.
"""
import datetime
import email.utils
import gzip
import re
import sys
import textwrap
from xml.sax.saxutils import escape


class Failure(Exception):
    pass


def read_releases(path, version):
    """[(version, date, [item text])], newest first."""
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError as e:
        raise Failure(f'cannot read "{path}": {e.strerror}')
    releases = []
    item = None
    unreleased = []  # the items above the releases, carried nowhere
    for number, line in enumerate(lines, 1):
        where = f"{path}:{number}"
        if line == "## Unreleased":
            if releases or unreleased:
                raise Failure(f'{where}: "## Unreleased" stands once, above every release')
            unreleased.append(("Unreleased", None, []))
            releases.append(unreleased[0])
            item = None
        elif line.startswith("## "):
            m = re.fullmatch(r"## (\d+\.\d+\.\d+) - (\d{4})-(\d\d)-(\d\d)", line)
            if not m:
                raise Failure(f'{where}: a release heading is "## VERSION - YYYY-MM-DD", not "{line}"')
            try:
                date = datetime.date(int(m[2]), int(m[3]), int(m[4]))
            except ValueError as e:
                raise Failure(f"{where}: {e}")
            if unreleased and releases[-1] is unreleased[0]:
                releases.pop()
            releases.append((m[1], date, []))
            item = None
        elif line.startswith("- ") and releases:
            item = [line[2:].strip()]
            releases[-1][2].append(item)
        elif line.startswith("  ") and line.strip() and item is not None:
            item.append(line.strip())
        elif not line.strip():
            item = None
        elif releases:
            raise Failure(f'{where}: a release holds items ("- ..."), not "{line}"')
    if releases and releases[-1][1] is None:
        releases.pop()  # notes of no release yet
    if not releases:
        raise Failure(f"{path}: no release heading (## VERSION - YYYY-MM-DD)")
    if releases[0][0] != version:
        raise Failure(f"{path}: the newest release is {releases[0][0]}, the project is {version}: add its notes")
    for release_version, _, items in releases:
        if not items:
            raise Failure(f"{path}: release {release_version} has no items")
    return [(v, d, [" ".join(words) for words in items]) for v, d, items in releases]


def plain(text):
    return text.replace("`", "")


def debian(releases, package, maintainer):
    out = []
    for version, date, items in releases:
        out.append(f"{package} ({version}) unstable; urgency=medium\n\n")
        for text in items:
            out.append(textwrap.fill(plain(text), width=80, initial_indent="  * ", subsequent_indent="    ",
                                     break_on_hyphens=False) + "\n")
        stamp = email.utils.format_datetime(datetime.datetime.combine(date, datetime.time(), datetime.timezone.utc))
        out.append(f"\n -- {maintainer}  {stamp}\n\n")
    return "".join(out)[:-1]


def metainfo(releases, template):
    out = []
    for line in template.splitlines(keepends=True):
        if line.strip() != "@RELEASES@":
            out.append(line)
            continue
        indent = line[: len(line) - len(line.lstrip())]
        for version, date, items in releases:
            out.append(f'{indent}<release version="{version}" date="{date.isoformat()}">\n')
            out.append(f"{indent}  <description>\n{indent}    <ul>\n")
            out.extend(f"{indent}      <li>{escape(plain(text))}</li>\n" for text in items)
            out.append(f"{indent}    </ul>\n{indent}  </description>\n{indent}</release>\n")
    return "".join(out)


def write(path, data, compress):
    try:
        with open(path, "wb") as f:
            if compress:
                with gzip.GzipFile(filename="", mode="wb", fileobj=f, compresslevel=9, mtime=0) as z:
                    z.write(data.encode("utf-8"))
            else:
                f.write(data.encode("utf-8"))
    except OSError as e:
        raise Failure(f'cannot write "{path}": {e.strerror}')


def main(args):
    if len(args) == 6 and args[0] == "debian":
        _, notes, version, package, maintainer, output = args
        write(output, debian(read_releases(notes, version), package, maintainer), compress=True)
    elif len(args) == 5 and args[0] == "metainfo":
        _, notes, version, template, output = args
        try:
            with open(template, encoding="utf-8") as f:
                text = f.read()
        except OSError as e:
            raise Failure(f'cannot read "{template}": {e.strerror}')
        write(output, metainfo(read_releases(notes, version), text), compress=False)
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except Failure as e:
        print(f"changelog.py: {e}", file=sys.stderr)
        sys.exit(1)
