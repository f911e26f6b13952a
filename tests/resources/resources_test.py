#!/usr/bin/env python3
"""Checks the resources that orvalen.exe carries, read from the PE file with pefile: icon group 101
with its 16, 32, 48 and 256 px images (the very images of resources/orvalen.ico), exactly one
application manifest with the execution level, DPI awareness and supported OS, and the version
block with its numbers and strings, and the load-time imports: the engine library's functions and
each plug-in's registration function (the build's list, PLUGINS = <build>/orvalen-plugins.txt), and
no MinGW runtime library that a kiosk bundle would lack. Also checks that the committed icon is what
make_icon.py draws.

usage: resources_test.py EXE ICO MAKE_ICON MAJOR MINOR PATCH BUILD VERSION_STRING PLUGINS
"""

import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib

import pefile

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = (
    pefile.RESOURCE_TYPE[name] for name in ("RT_ICON", "RT_GROUP_ICON", "RT_VERSION", "RT_MANIFEST"))

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def read_pe(path):
    """The parsed PE file, and {(type, id): [bytes]} for every resource with numeric type and id."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_" + name]
                                           for name in ("RESOURCE", "IMPORT")])
    found = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for rtype in directory.entries if directory else []:
        for rid in rtype.directory.entries:
            if rtype.id is None or rid.id is None:
                continue  # named entries are not used by this executable
            for lang in rid.directory.entries:
                found.setdefault((rtype.id, rid.id), []).append(
                    pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size))
    return pe, found


def single(resources, rtype, rid, what):
    items = resources.get((rtype, rid), [])
    check(len(items) == 1, "%s: %d resources, expected one" % (what, len(items)))
    return items[0] if items else None


# ---------------------------------------------------------------- icon

def image_size(image):
    """Pixel size of an icon image: a PNG or a BITMAPINFOHEADER whose height counts the mask too."""
    if image[:8] == b"\x89PNG\r\n\x1a\n":
        width, height = struct.unpack_from(">II", image, 16)
        return width, height
    header, width, height = struct.unpack_from("<Iii", image, 0)
    if header != 40:
        return None
    return width, height // 2


def ico_images(path):
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    images = {}
    for i in range(count):
        w, h, colours, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images[w or 256] = data[offset:offset + size]
    return images


def png_pixels(image):
    """IHDR and the inflated image data of a PNG: equal pictures, whatever the compressor did."""
    at, ihdr, idat = 8, None, b""
    while at < len(image):
        length = struct.unpack_from(">I", image, at)[0]
        kind = image[at + 4:at + 8]
        body = image[at + 8:at + 8 + length]
        if kind == b"IHDR":
            ihdr = body
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    return ihdr, zlib.decompress(idat)


def same_picture(a, b):
    if a[:8] == b"\x89PNG\r\n\x1a\n" and b[:8] == b"\x89PNG\r\n\x1a\n":
        return png_pixels(a) == png_pixels(b)
    return a == b


def check_icon(resources, ico_path):
    group = single(resources, RT_GROUP_ICON, 101, "icon group 101")
    if group is None:
        return
    # pefile leaves a group's own layout (a .ico directory whose entries name RT_ICON ids) to us.
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    check(reserved == 0 and kind == 1, "icon group 101: header %d/%d, expected 0/1" % (reserved, kind))
    committed = ico_images(ico_path)
    sizes = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        nominal = w or 256
        sizes.append(nominal)
        check(w == h, "icon group 101 entry %d: %dx%d is not square" % (i, w, h))
        check(bits == 32, "icon group 101 entry %d: %d bits per pixel, expected 32" % (i, bits))
        image = single(resources, RT_ICON, icon_id, "icon image %d" % icon_id)
        if image is None:
            continue
        check(len(image) == size, "icon image %d: %d bytes, the group says %d" % (icon_id, len(image), size))
        check(image_size(image) == (nominal, nominal),
              "icon image %d: %s pixels, the group says %d" % (icon_id, image_size(image), nominal))
        check(nominal in committed and committed[nominal] == image,
              "icon image %d (%d px) is not the one in %s" % (icon_id, nominal, os.path.basename(ico_path)))
    check(sorted(sizes) == [16, 32, 48, 256], "icon group 101 sizes %s, expected 16, 32, 48, 256" % sorted(sizes))


def check_icon_is_drawn(ico_path, make_icon):
    with tempfile.TemporaryDirectory() as tmp:
        fresh = os.path.join(tmp, "fresh.ico")
        subprocess.run([sys.executable, make_icon, fresh], check=True)
        drawn, committed = ico_images(fresh), ico_images(ico_path)
        check(sorted(drawn) == sorted(committed), "make_icon.py draws sizes %s, the committed icon has %s"
              % (sorted(drawn), sorted(committed)))
        for size in sorted(drawn):
            check(size in committed and same_picture(drawn[size], committed[size]),
                  "%d px: the committed orvalen.ico is not what make_icon.py draws (regenerate it)" % size)


# ---------------------------------------------------------------- manifest

def check_manifest(resources):
    check(len([k for k in resources if k[0] == RT_MANIFEST]) == 1, "the executable carries %d manifests, expected one"
          % len([k for k in resources if k[0] == RT_MANIFEST]))
    manifest = single(resources, RT_MANIFEST, 1, "manifest 1")
    if manifest is None:
        return
    root = ET.fromstring(manifest)
    levels = [e for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
    check(len(levels) == 1 and levels[0].get("level") == "asInvoker" and levels[0].get("uiAccess") == "false",
          "requestedExecutionLevel: %s" % [e.attrib for e in levels])
    awareness = [e for e in root.iter() if e.tag.endswith("}dpiAwareness")]
    check(len(awareness) == 1 and (awareness[0].text or "").strip() == "PerMonitorV2",
          "dpiAwareness: %s" % [(e.text or "").strip() for e in awareness])
    supported = [e.get("Id") for e in root.iter() if e.tag.endswith("}supportedOS")]
    check(supported == ["{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"], "supportedOS: %s" % supported)


# ---------------------------------------------------------------- version block

def check_version(pe, resources, major, minor, patch, build, version_string):
    if single(resources, RT_VERSION, 1, "version block 1") is None:
        return
    if not check(hasattr(pe, "VS_VERSIONINFO") and hasattr(pe, "VS_FIXEDFILEINFO"),
                 "pefile found no version information in version block 1"):
        return
    key = pe.VS_VERSIONINFO[0].Key.decode("utf-8")
    check(key == "VS_VERSION_INFO", "version block key %r" % key)
    fixed = pe.VS_FIXEDFILEINFO[0]
    check(fixed.Signature == 0xFEEF04BD, "fixed file info signature %#x" % fixed.Signature)
    file_ms, file_ls = fixed.FileVersionMS, fixed.FileVersionLS
    want_ms, want_ls = (major << 16) | minor, (patch << 16) | build
    check((file_ms, file_ls) == (want_ms, want_ls), "FILEVERSION %d.%d.%d.%d, expected %d.%d.%d.%d" % (
        file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF, major, minor, patch, build))
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == (want_ms, want_ls),
          "PRODUCTVERSION differs from %d.%d.%d.%d" % (major, minor, patch, build))

    strings = {}
    for info in pe.FileInfo[0] if hasattr(pe, "FileInfo") else []:
        for table in getattr(info, "StringTable", []):
            for name, value in table.entries.items():
                strings[name.decode("utf-8")] = value.decode("utf-8").rstrip("\0")
    expected_version = "%d.%d.%d+%d" % (major, minor, patch, build)
    check(version_string == expected_version, "the build's version string %r is not %r" % (version_string,
                                                                                          expected_version))
    expected = {
        "CompanyName": "com.talvern.orvalen",
        "FileDescription": "orvalen",
        "InternalName": "orvalen",
        "ProductName": "orvalen",
        "OriginalFilename": "orvalen.exe",
        "FileVersion": expected_version,
        "ProductVersion": expected_version,
    }
    for name, value in expected.items():
        check(strings.get(name) == value, "version string %s = %r, expected %r" % (name, strings.get(name), value))


# ---------------------------------------------------------------- imports

ENGINE_FUNCTIONS = {"FlutterDesktop" + name for name in (
    "ResyncOutputStreams GetDpiForMonitor EngineCreate EngineGetMessenger EngineDestroy "
    "EngineGetPluginRegistrar EngineReloadSystemFonts EngineSetNextFrameCallback "
    "ViewControllerCreate ViewControllerGetView ViewControllerDestroy ViewControllerForceRedraw "
    "ViewControllerHandleTopLevelWindowProc ViewGetHWND MessengerSend MessengerSendWithReply "
    "MessengerSetCallback MessengerAddRef MessengerRelease MessengerLock MessengerUnlock "
    "MessengerIsAvailable MessengerSendResponse").split()}
def read_plugins(path):
    """{library.dll: registration function} from the build's orvalen-plugins.txt."""
    with open(path, encoding="utf-8") as f:
        entries = [line.strip().split("|") for line in f if line.strip()]
    return {name + ".dll": function for name, function in entries}


def check_imports(pe, plugins):
    imported = {d.dll.decode().lower(): {(i.name or b"").decode() for i in d.imports}
                for d in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    engine = imported.get("flutter_windows.dll", set())
    check(engine and engine <= ENGINE_FUNCTIONS,
          "from flutter_windows.dll: %s, outside the engine interface: %s"
          % (sorted(engine), sorted(engine - ENGINE_FUNCTIONS)))
    check(len(plugins) == 5, "the build's plug-in list has %d entries, expected 5" % len(plugins))
    for dll, function in plugins.items():
        check(imported.get(dll) == {function}, "from %s: %s, expected %s" % (dll, imported.get(dll), function))
    runtime = sorted(dll for dll in imported if dll.startswith("lib"))
    check(not runtime, "imports runtime libraries a kiosk bundle does not carry: %s" % runtime)


def main():
    if len(sys.argv) != 10:
        sys.stderr.write(__doc__)
        return 2
    exe, ico, make_icon = sys.argv[1:4]
    major, minor, patch, build = (int(v) for v in sys.argv[4:8])
    pe, resources = read_pe(exe)
    check_icon(resources, ico)
    check_icon_is_drawn(ico, make_icon)
    check_manifest(resources)
    check_version(pe, resources, major, minor, patch, build, sys.argv[8])
    check_imports(pe, read_plugins(sys.argv[9]))
    for message in failures:
        print("FAIL: " + message)
    if not failures:
        print("resources: all checks passed for " + os.path.basename(exe))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
