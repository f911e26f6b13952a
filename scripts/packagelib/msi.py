"""wixl, msibuild and msiinfo around the package: build it, then patch what wixl leaves out."""
import os
import subprocess
import tempfile

from packagelib.tree import PackageError

# Upgrade table attribute bits (Windows Installer's msidbUpgradeAttributes*).
MIGRATE_FEATURES = 0x001
VERSION_MAX_INCLUSIVE = 0x200
UPGRADE_PROPERTY = "WIX_UPGRADE_DETECTED"


def run(argv, what, cwd=None):
    try:
        done = subprocess.run(argv, capture_output=True, text=True, cwd=cwd)
    except FileNotFoundError:
        raise PackageError("%s: %s is not installed (scripts/setup installs wixl, msitools and "
                           "osslsigncode)" % (what, argv[0]))
    if done.returncode != 0:
        detail = (done.stderr.strip() or done.stdout.strip()).splitlines()[-3:]
        raise PackageError("%s failed (exit %d): %s" % (what, done.returncode, " | ".join(detail)))
    return done.stdout


def build(wxs_path, msi_path):
    """The File sources in WXS_PATH are relative to its folder: wixl finds no absolute ones."""
    # -a x64: wixl ignores Package/@Platform, and a 32-bit package could not reach
    # ProgramFiles64Folder.
    run(["wixl", "-a", "x64", "-o", os.path.abspath(msi_path), os.path.basename(wxs_path)], "wixl",
        cwd=os.path.dirname(os.path.abspath(wxs_path)))
    allow_same_version_upgrade(msi_path)


def export(msi_path, name):
    """Table NAME as msiinfo exports it, a list of lines: three header lines, then the rows."""
    text = run(["msiinfo", "export", msi_path, name], "msiinfo export %s" % name)
    return text.replace("\r\n", "\n").split("\n")


def table(msi_path, name):
    """The rows of table NAME as lists of strings."""
    return [line.split("\t") for line in export(msi_path, name)[3:] if line]


def allow_same_version_upgrade(msi_path):
    """A rebuild of the installed version replaces it instead of installing beside it: the
    upgrade row's upper bound becomes inclusive. Attributes is part of the Upgrade table's key, so
    the row is re-imported rather than updated."""
    lines = export(msi_path, "Upgrade")
    patched = 0
    for i, line in enumerate(lines[3:], start=3):
        cells = line.split("\t")
        if len(cells) == 7 and cells[6] == UPGRADE_PROPERTY:
            cells[4] = str(int(cells[4] or 0) | VERSION_MAX_INCLUSIVE)
            lines[i] = "\t".join(cells)
            patched += 1
    if patched != 1:
        raise PackageError("wixl wrote %d upgrade rows for %s, expected 1" % (patched,
                                                                           UPGRADE_PROPERTY))
    with tempfile.TemporaryDirectory() as work:
        idt = os.path.join(work, "Upgrade.idt")
        with open(idt, "w", newline="") as f:
            f.write("\r\n".join(lines))
        run(["msibuild", msi_path, "-i", idt], "msibuild (Upgrade table)")


def properties(msi_path):
    return {row[0]: row[1] for row in table(msi_path, "Property") if len(row) >= 2}
