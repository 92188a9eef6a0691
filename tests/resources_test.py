#!/usr/bin/python3
"""Reads the built korvane.exe as a file and checks what it is and what it
carries: PE32 for i386 (or PE32+ for x86-64) and the console, system DLLs
only, at most 80 KiB, and its resources, all in Russian: the icon group, the
version record and the manifest.

    resources_test.py build/win32/korvane.exe i686 1.0.0
    resources_test.py build/win64/korvane.exe x86_64 1.0.0

The last word is the project's version, which the record gives in four parts.
"""
import struct
import sys
from xml.etree import ElementTree

import pefile

RUSSIAN = 0x0419
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "shell32.dll", "msvcrt.dll"}
DESCRIPTION = "Получение путей системных директорий"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    print(("ok   " if condition else "FAIL ") + what)


def leaves(directory, path=()):
    for entry in directory.entries:
        name = str(entry.name) if entry.name is not None else entry.id
        if hasattr(entry, "directory"):
            yield from leaves(entry.directory, path + (name,))
        else:
            yield path + (name,), entry


def data_of(pe, entry):
    return pe.get_data(entry.data.struct.OffsetToData, entry.data.struct.Size)


def main():
    path, machine = sys.argv[1], sys.argv[2]
    numbers = [int(n) for n in sys.argv[3].split(".")] + [0]
    text = ".".join(str(n) for n in numbers)
    raw = open(path, "rb").read()
    pe = pefile.PE(data=raw)
    magic, number = {"i686": (0x10B, 0x14C), "x86_64": (0x20B, 0x8664)}[machine]
    check(pe.OPTIONAL_HEADER.Magic == magic, "PE32" if magic == 0x10B else "PE32+")
    check(pe.FILE_HEADER.Machine == number, "machine " + machine)
    check(pe.OPTIONAL_HEADER.Subsystem == 3, "console subsystem")
    check(len(raw) <= 80 * 1024, "at most 80 KiB (%d bytes)" % len(raw))
    imported = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    check(imported <= SYSTEM_DLLS, "imports only system DLLs: " + ", ".join(sorted(imported)))
    check(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "no delayed imports")

    resources = list(leaves(pe.DIRECTORY_ENTRY_RESOURCE))
    check(all(entry.id == RUSSIAN for _, entry in resources),
          "every resource in language 0x0419 (%d resources)" % len(resources))
    by_type = {}
    for (kind, name, _), entry in resources:
        by_type.setdefault(kind, {})[name] = data_of(pe, entry)

    groups = by_type.get(pefile.RESOURCE_TYPE["RT_GROUP_ICON"], {})
    check(list(groups) == ["MAINICON"], "one icon group, MAINICON")
    group = groups.get("MAINICON", b"\0" * 6)
    reserved, kind, count = struct.unpack_from("<HHH", group)
    check((reserved, kind, count) == (0, 1, 6), "the group holds six icons")
    icons = by_type.get(pefile.RESOURCE_TYPE["RT_ICON"], {})
    seen = set()
    for i in range(count):
        width, height, colours, _, planes, bits, size, number = struct.unpack_from(
            "<BBBBHHIH", group, 6 + 14 * i)
        seen.add((width, height, bits))
        image = icons.get(number, b"")
        header = struct.unpack_from("<IiiHH", image) if len(image) >= 14 else (0,) * 5
        row = lambda bits_per_pixel: (width * bits_per_pixel + 31) // 32 * 4
        expected = 40 + 4 * (1 << bits) + height * row(bits) + height * row(1)
        check(header == (40, width, 2 * height, 1, bits) and len(image) == size == expected
              and colours == (16 if bits == 4 else 0) and planes == 1,
              "icon %d is %dx%d at %d bits, as its entry says" % (number, width, height, bits))
    check(seen == {(s, s, b) for s in (16, 32, 48) for b in (4, 8)},
          "16, 32 and 48 pixels, each at 4 and 8 bits")

    fixed = pe.VS_FIXEDFILEINFO[0]
    ms, ls = numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]
    check((fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
           fixed.ProductVersionLS) == (ms, ls, ms, ls), "fixed version " + text)
    tables, translation = {}, None
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            tables = {t.LangID: t.entries for t in info.StringTable}
        if info.Key == b"VarFileInfo":
            translation = info.Var[0].entry.get(b"Translation")
    check(list(tables) == [b"041904E3"], "one string table, 041904E3")
    strings = {k.decode(): v.decode("utf-8") for k, v in tables.get(b"041904E3", {}).items()}
    expected = {"FileDescription": DESCRIPTION, "OriginalFilename": "korvane.exe",
                "FileVersion": text, "ProductVersion": text, "CompanyName": "",
                "InternalName": "", "LegalTrademarks": "", "Comments": ""}
    for key, value in expected.items():
        check(strings.get(key) == value, "%s is %r (found %r)" % (key, value, strings.get(key)))
    for key in ("ProductName", "LegalCopyright"):
        check(bool(strings.get(key)), "%s is set" % key)
    version = by_type.get(pefile.RESOURCE_TYPE["RT_VERSION"], {}).get(1, b"")
    check(DESCRIPTION.encode("utf-16-le") in version, "the description is stored as UTF-16")
    check(translation == "0x0419 0x04e3", "translation: Russian, code page 1251")

    manifests = by_type.get(pefile.RESOURCE_TYPE["RT_MANIFEST"], {})
    check(list(manifests) == [1], "one manifest, for the process (1)")
    manifest = ElementTree.fromstring(manifests.get(1, b"<none/>"))
    levels = [e.get("level") for e in manifest.iter("{urn:schemas-microsoft-com:asm.v3}"
                                                    "requestedExecutionLevel")]
    check(levels == ["asInvoker"], "runs as its caller, not virtualised: %r" % levels)
    systems = {e.get("Id") for e in manifest.iter("{urn:schemas-microsoft-com:compatibility.v1}"
                                                  "supportedOS")}
    check("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" in systems, "Windows 10 and 11 supported")

    print("%d checks failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
