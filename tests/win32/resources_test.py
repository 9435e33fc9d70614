#!/usr/bin/python3
"""Reads kestrun.exe's resources back from the built file: the icon in every size, the version
information of this build, and a manifest that asks for what the program relies on.

    resources_test.py KESTRUN.EXE VERSION ARCH(x64|x86)
"""
import re
import sys

import pefile

exe, version, arch = sys.argv[1:4]
pe = pefile.PE(exe)
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


check(pe.FILE_HEADER.Machine == {"x64": 0x8664, "x86": 0x14C}[arch], f"not an {arch} program")

resources = {}
directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
for kind in directory.entries if directory else []:
    for entry in kind.directory.entries:
        for language in entry.directory.entries:
            data = language.data.struct
            resources.setdefault(kind.id, []).append(
                (entry.id, pe.get_data(data.OffsetToData, data.Size)))

# The icon group (RT_GROUP_ICON 14) names one image per size; a width byte of 0 means 256.
groups = resources.get(pefile.RESOURCE_TYPE["RT_GROUP_ICON"], [])
sizes = set()
if groups:
    group = groups[0][1]
    count = int.from_bytes(group[4:6], "little")
    sizes = {group[6 + 14 * i] or 256 for i in range(count)}
check(sizes == {16, 24, 32, 48, 256}, f"icon sizes {sorted(sizes)}")

strings = {}
for info in pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []:
    for table in getattr(info, "StringTable", []):
        strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
n = [int(part) for part in version.split(".")] + [0]
packed = (n[0] << 48) | (n[1] << 32) | (n[2] << 16) | n[3]
check(fixed is not None and (fixed.FileVersionMS << 32 | fixed.FileVersionLS) == packed ==
      (fixed.ProductVersionMS << 32 | fixed.ProductVersionLS), "binary file or product version")
for key, want in [("ProductName", "Kestrun"), ("FileVersion", version),
                  ("ProductVersion", version), ("OriginalFilename", "kestrun.exe")]:
    check(strings.get(key) == want, f"{key} is {strings.get(key)!r}, want {want!r}")
check(len(strings.get("FileDescription", "")) > 0, "no FileDescription")

manifests = resources.get(pefile.RESOURCE_TYPE["RT_MANIFEST"], [])
check([m[0] for m in manifests] == [1], "not exactly one manifest, resource 1")
manifest = manifests[0][1].decode("utf-8") if manifests else ""
for what, pattern in [
    ("Common Controls 6", r'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.'),
    ("per-monitor DPI awareness v2", r"<dpiAwareness[^>]*>\s*PerMonitorV2"),
    ("Windows 7", r"35138b9a-5d96-4fbd-8e2d-a2440225f93a"),
    ("Windows 8", r"4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38"),
    ("Windows 8.1", r"1f676c76-80e1-4239-95bb-83d0f6d0da78"),
    ("Windows 10 and 11", r"8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"),
    ("the program's version", r'name="Kestrun" version="%s\.0"' % re.escape(version)),
]:
    check(re.search(pattern, manifest, re.IGNORECASE), f"manifest lacks {what}")

for failure in failures:
    print(f"FAILED: {exe}: {failure}")
print(f"resources_test: {exe}: {'ok' if not failures else f'{len(failures)} failures'}")
sys.exit(1 if failures else 0)
