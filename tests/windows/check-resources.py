#!/usr/bin/env python3
"""Reads the resources back from a Windows executable (PE32+) and checks what Explorer and
Windows take from them: the icon's sizes, the version information and the manifest.

Usage: check-resources.py EXE VERSION DESCRIPTION
  VERSION      the installer's version as it shows it ("2.1.004"); the numbers must be its
               four-part form
  DESCRIPTION  the expected file description

Prints one line a check, "PASS<TAB>what" or "FAIL<TAB>what", and exits non-zero when any fails."""

import os
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
ICON_SIZES = [16, 32, 48, 256]
WINDOWS_VERSIONS = {  # the supportedOS identifiers Windows defines
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"


class PortableExecutable:
    """The resource tree of a PE32+ file: {(type, id): data} for numbered resources."""

    def __init__(self, data):
        self.data = data
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        if struct.unpack_from("<H", data, optional)[0] != 0x20B:
            raise ValueError("not PE32+")
        self.resource_rva, _ = struct.unpack_from("<II", data, optional + 112 + 2 * 8)
        self.sections = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i)
                         for i in range(sections)]
        self.resources = {}
        if self.resource_rva:
            self._read_tree(self.offset_of(self.resource_rva), 0, ())

    def offset_of(self, rva):
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError("address 0x%x lies in no section" % rva)

    def _read_tree(self, base, directory, path):
        named, numbered = struct.unpack_from("<12xHH", self.data, base + directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
            key = path + (None if name & 0x80000000 else name,)
            if target & 0x80000000:
                self._read_tree(base, target & 0x7FFFFFFF, key)
            else:
                rva, size = struct.unpack_from("<II", self.data, base + target)
                offset = self.offset_of(rva)
                # Type and id; the language level does not matter here.
                self.resources[key[:2]] = self.data[offset:offset + size]

    def of_type(self, kind):
        return {key[1]: data for key, data in self.resources.items() if key[0] == kind}


def image_size(data):
    """Width and height of an icon image: PNG, or a bitmap whose height counts the mask too."""
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return struct.unpack_from(">II", data, 16)
    header, width, height = struct.unpack_from("<Iii", data, 0)
    if header != 40:
        raise ValueError("neither PNG nor a bitmap")
    return width, height // 2


def icon_sizes(exe):
    """(width, height, bits per pixel) of each image of the first icon group, as the group lists
    them and as the image itself says."""
    groups = exe.of_type(RT_GROUP_ICON)
    if not groups:
        return []
    group = groups[min(groups)]
    _, kind, count = struct.unpack_from("<HHH", group, 0)
    images = exe.of_type(RT_ICON)
    sizes = []
    for i in range(count):
        width, height, _, _, _, bits, _, image_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        listed = (width or 256, height or 256)
        actual = image_size(images[image_id]) if image_id in images else None
        sizes.append((listed, actual, bits))
    return sizes


def version_node(data, offset):
    """One node of VS_VERSIONINFO: (key, value, children), and the offset after it."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    position = offset + 6
    key_end = position
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[position:key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[position:position + value_bytes]
    if kind == 1:
        value = value.decode("utf-16-le").rstrip("\0")
    position = (position + value_bytes + 3) & ~3
    children = []
    while position < end:
        child, position = version_node(data, position)
        children.append(child)
        position = (position + 3) & ~3
    return (key, value, children), end


def version_info(exe):
    """The fixed file and product versions, and the strings of the first string table."""
    versions = exe.of_type(RT_VERSION)
    if not versions:
        return None, None, {}
    (key, fixed, children), _ = version_node(versions[min(versions)], 0)
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIIIII", fixed, 0)
    if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD:
        raise ValueError("not a VS_VERSIONINFO block")

    def four_parts(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    strings = {}
    for child_key, _, tables in children:
        if child_key == "StringFileInfo" and tables:
            strings = {name: value for name, value, _ in tables[0][2]}
    return four_parts(file_ms, file_ls), four_parts(product_ms, product_ls), strings


def manifest_of(exe):
    manifests = exe.of_type(RT_MANIFEST)
    return ElementTree.fromstring(manifests[1]) if 1 in manifests else None


def checks(path, version, description):
    exe = PortableExecutable(open(path, "rb").read())
    four_parts = ".".join(str(int(part)) for part in (version.split(".") + ["0"] * 4)[:4])

    sizes = icon_sizes(exe)
    listed = sorted(s[0][0] for s in sizes)
    yield "icon sizes %s (found %s)" % (ICON_SIZES, listed), listed == ICON_SIZES
    yield ("each icon image is as large as listed, in 32-bit colour (%s)" % sizes,
           bool(sizes) and all(l == a and bits == 32 for l, a, bits in sizes))

    file_version, product_version, strings = version_info(exe)
    yield ("numeric file and product version %s (found %s, %s)" % (four_parts, file_version, product_version),
           file_version == product_version == four_parts)
    expected = {
        "ProductName": "VOK Setup",
        "FileVersion": four_parts,
        "ProductVersion": four_parts,
        "FileDescription": description,
        "OriginalFilename": os.path.basename(path),
    }
    for name, value in expected.items():
        yield "%s \"%s\" (found \"%s\")" % (name, value, strings.get(name)), strings.get(name) == value
    for name in ("CompanyName", "LegalCopyright"):
        yield "%s present (\"%s\")" % (name, strings.get(name, "")), bool(strings.get(name, "").strip())

    manifest = manifest_of(exe)
    yield "an application manifest (resource 1)", manifest is not None
    if manifest is None:
        return
    identity = manifest.find(ASM_V1 + "assemblyIdentity")
    yield ("the manifest's assembly version is " + four_parts,
           identity is not None and identity.get("version") == four_parts)
    level = manifest.find(".//%srequestedExecutionLevel" % ASM_V3)
    yield ("requestedExecutionLevel asInvoker without UI access (found %s)" % (None if level is None else level.attrib),
           level is not None and level.get("level") == "asInvoker" and level.get("uiAccess") == "false")
    controls = [a for a in manifest.iter(ASM_V1 + "assemblyIdentity")
                if a.get("name") == "Microsoft.Windows.Common-Controls"]
    yield ("common controls 6 as a dependency",
           len(controls) == 1 and controls[0].get("version") == "6.0.0.0"
           and controls[0].get("publicKeyToken") == "6595b64144ccf1df")
    supported = {os_entry.get("Id") for os_entry in manifest.iter(COMPATIBILITY + "supportedOS")}
    yield ("supportedOS: %s" % ", ".join(WINDOWS_VERSIONS.values()),
           set(WINDOWS_VERSIONS) <= supported)
    awareness = manifest.find(".//%sdpiAwareness" % SETTINGS_2016)
    aware = manifest.find(".//%sdpiAware" % SETTINGS_2005)
    awareness_list = [] if awareness is None else [w.strip() for w in awareness.text.split(",")]
    yield ("dpiAwareness PerMonitorV2 with PerMonitor after it (found %s)" % awareness_list,
           awareness_list[:2] == ["PerMonitorV2", "PerMonitor"])
    yield ("dpiAware true/pm for older Windows (found %s)" % (None if aware is None else aware.text),
           aware is not None and aware.text.strip().lower() == "true/pm")


def main():
    path, version, description = sys.argv[1:4]
    failed = 0
    try:
        for what, ok in checks(path, version, description):
            print("%s\t%s" % ("PASS" if ok else "FAIL", what))
            failed += not ok
    except (OSError, ValueError, KeyError, IndexError, struct.error, ElementTree.ParseError) as error:
        print("FAIL\treading the resources of %s: %s" % (path, error))
        failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
