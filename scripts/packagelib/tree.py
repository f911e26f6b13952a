"""What the package is made of: the installed tree's files and folders, and the version block of its
orvalen.exe (the MSI's version, publisher and name come from there, so they cannot drift)."""
import os
from dataclasses import dataclass

EXE = "orvalen.exe"


class PackageError(Exception):
    """A step of the packaging failed; the message says which and why, in one line."""


@dataclass(frozen=True)
class VersionBlock:
    major: int
    minor: int
    patch: int
    build: int
    company: str
    product: str

    @property
    def msi_version(self):
        # An MSI compares only major.minor.build of ProductVersion; the build number of the exe
        # would be taken as the third field, so it stays out.
        return "%d.%d.%d" % (self.major, self.minor, self.patch)


def read_version_block(exe_path):
    try:
        import pefile
    except ImportError:
        raise PackageError("python3-pefile is missing (scripts/setup installs it; elsewhere "
                           "`pip install pefile`)")
    if not os.path.isfile(exe_path):
        raise PackageError("no %s in the tree: %s" % (EXE, exe_path))
    try:
        pe = pefile.PE(exe_path, fast_load=True)
        pe.parse_data_directories(
            directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    except pefile.PEFormatError as error:
        raise PackageError("%s is not a PE file: %s" % (exe_path, error))
    if not getattr(pe, "VS_FIXEDFILEINFO", None):
        raise PackageError("%s has no version block" % exe_path)
    fixed = pe.VS_FIXEDFILEINFO[0]
    strings = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            for name, value in table.entries.items():
                strings[name.decode("utf-8")] = value.decode("utf-8").rstrip("\0")
    for name in ("CompanyName", "ProductName"):
        if not strings.get(name):
            raise PackageError("%s's version block has no %s" % (exe_path, name))
    return VersionBlock(fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                        fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF,
                        strings["CompanyName"], strings["ProductName"])


def parse_version(text):
    """X.Y.Z as a tuple; an MSI version's fields are at most 255, 255 and 65535."""
    parts = text.split(".")
    if len(parts) != 3 or not all(p.isdigit() for p in parts):
        raise PackageError("--version takes X.Y.Z (three whole numbers), not %r" % text)
    major, minor, patch = (int(p) for p in parts)
    if major > 255 or minor > 255 or patch > 65535:
        raise PackageError("an MSI version is at most 255.255.65535, not %s" % text)
    return major, minor, patch


def walk(root):
    """(files, folders) below ROOT as sorted '/'-separated relative paths; every folder is listed,
    empty or not, the root itself not."""
    files, folders = [], []
    for here, dirs, names in os.walk(root):
        dirs.sort()
        rel = os.path.relpath(here, root).replace(os.sep, "/")
        if rel != ".":
            folders.append(rel)
        for name in sorted(names):
            path = os.path.join(here, name)
            if os.path.islink(path) or not os.path.isfile(path):
                raise PackageError("%s is not a plain file; an MSI holds only files" % path)
            files.append(name if rel == "." else rel + "/" + name)
    return files, folders
