#!/usr/bin/env python3
"""The Windows window's version resource and its manifest carry the project's
version, as Explorer's Properties and Windows' side-by-side loader read them.
Usage: resource_version_test.py tolvane-editor.exe VERSION"""
import re
import struct
import sys

exe, version = sys.argv[1], sys.argv[2]
with open(exe, "rb") as f:
    data = f.read()
wanted = tuple(int(n) for n in version.split(".")) + (0,)
failures = []

# VS_FIXEDFILEINFO: its signature, its structure version, then the file and
# product versions as two 32-bit halves each (major << 16 | minor, patch << 16 | build).
at = data.find(struct.pack("<II", 0xFEEF04BD, 0x00010000))
if at < 0:
    failures.append("no version resource")
else:
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", data, at + 8)
    for name, ms, ls in (("file", file_ms, file_ls), ("product", product_ms, product_ls)):
        found = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        if found != wanted:
            failures.append(f"the {name} version is {'.'.join(map(str, found))}, not {version}.0")

manifest = re.search(rb'<assemblyIdentity type="win32" name="Tolvane\.TolvaneEditor" version="([0-9.]+)"', data)
if not manifest:
    failures.append("no manifest naming Tolvane.TolvaneEditor")
elif manifest[1].decode() != f"{version}.0":
    failures.append(f"the manifest says version {manifest[1].decode()}, not {version}.0")

for failure in failures:
    print(f"{exe}: {failure}", file=sys.stderr)
sys.exit(1 if failures else 0)
