#!/usr/bin/python3
"""The installer's check, end to end: scripts/package builds MSIs from the windows build's installed
tree, and Wine's msiexec installs, upgrades, replaces, refuses and removes them in a fresh Wine
prefix, on a one-monitor desk for the kiosk's own run. With signing, osslsigncode accepts what was
signed and rejects it once its signed content is changed.

usage: tests/package/package_check.py [--build DIR] [--work DIR]
Each check prints one line; the last line is "package_check.py: N checks, N failed".
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.realpath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))

from desklib.wine import WINE, WINESERVER, end_wine_session, windows_path  # noqa: E402
from packagelib import msi, shell_launcher  # noqa: E402
from package_fixtures import Certificates, Desk, flip_code_byte, replace_msi_stream  # noqa: E402

INSTALL_DIR = ("drive_c", "Program Files", "orvalen")
UNINSTALL_KEY = r"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
SCENARIO = "# A short run for the installed kiosk.\nwatchdog 30000\ncall destroy\n"


class Checks:
    def __init__(self):
        self.count = self.failed = 0

    def __call__(self, condition, what, detail=""):
        self.count += 1
        if not condition:
            self.failed += 1
        print("%s %s%s" % ("ok  " if condition else "FAIL", what,
                           "" if condition or not detail else ": " + detail), flush=True)
        return condition


def run(argv, **kwargs):
    return subprocess.run(argv, capture_output=True, text=True, **kwargs)


def tree_digest(root):
    """{relative path: bytes} for files and {relative path/: None} for folders below ROOT."""
    found = {}
    for here, dirs, names in os.walk(root):
        rel = os.path.relpath(here, root).replace(os.sep, "/")
        if rel != ".":
            found[rel + "/"] = None
        for name in names:
            with open(os.path.join(here, name), "rb") as f:
                found[(name if rel == "." else rel + "/" + name)] = f.read()
    return found


def describe_difference(a, b):
    only_a = sorted(set(a) - set(b))
    only_b = sorted(set(b) - set(a))
    changed = sorted(k for k in set(a) & set(b) if a[k] != b[k])
    return "missing %s, extra %s, differing %s" % (only_a, only_b, changed)


class Prefix:
    """A fresh Wine prefix (a copy of the desk's pristine one) and what msiexec did to it."""

    def __init__(self, path, display, work):
        self.path, self.display, self.work = path, display, work
        self.env = dict(os.environ, WINEPREFIX=path, DISPLAY=display, WINEDEBUG="-all")

    def install_dir(self):
        return os.path.join(self.path, *INSTALL_DIR)

    def wine(self, argv, timeout=180, **env):
        try:
            done = subprocess.run([WINE] + argv, cwd="/tmp", env=dict(self.env, **env),
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                  timeout=timeout)
            rc = done.returncode
        except subprocess.TimeoutExpired:
            rc = "timeout"
        # A GUI program started while an earlier msiexec's session lingers can fail to start.
        subprocess.run([WINESERVER, "-w"], env=self.env, timeout=60)
        return rc

    def msiexec(self, action, target, log_name):
        log = os.path.join(self.work, log_name + ".log")
        rc = self.wine(["msiexec", action, target, "/qn", "/l*v", windows_path(log)])
        return rc, log

    def uninstall_entries(self):
        """{key: {name: value}} of the uninstall entries naming orvalen, read from system.reg."""
        with open(os.path.join(self.path, "system.reg"), encoding="utf-8", errors="replace") as f:
            text = f.read()
        entries = {}
        for block in text.split("\n\n"):
            head = re.match(r"\[(.*?)\]", block.strip())
            if not head or not head.group(1).startswith(UNINSTALL_KEY):
                continue
            values = dict(re.findall(r'^"([^"]+)"="((?:[^"\\]|\\.)*)"', block, re.M))
            if values.get("DisplayName") == "orvalen":
                entries[head.group(1)[len(UNINSTALL_KEY):]] = values
        return entries


def build_packages(check, args, certs):
    """The four packages: 1.0.0 (signed), 1.0.1 (a file changed, one dropped), 1.0.1 rebuilt (a
    file changed again), and 0.9.0 (older than what is installed by then)."""
    base = os.path.join(args.work, "installed-tree")
    if run(["cmake", "--install", args.build, "--prefix", base]).returncode != 0:
        sys.exit("package_check.py: cmake --install %s failed" % args.build)
    trees = {}
    for name, scenario, obsolete in (("1.0.0", SCENARIO, True), ("1.0.1", SCENARIO + "# 1.0.1\n", False),
                                     ("1.0.1-rebuilt", SCENARIO + "# 1.0.1 rebuilt\n", False),
                                     ("0.9.0", SCENARIO + "# 0.9.0\n", False)):
        tree = os.path.join(args.work, "tree-" + name)
        shutil.rmtree(tree, ignore_errors=True)
        shutil.copytree(base, tree)
        with open(os.path.join(tree, "data", "app.so"), "w") as f:
            f.write(scenario)
        if obsolete:
            with open(os.path.join(tree, "data", "obsolete.txt"), "w") as f:
                f.write("only in 1.0.0\n")
        trees[name] = tree
    packages = {}
    for name, tree in trees.items():
        out = os.path.join(args.work, "package-" + name)
        argv = [os.path.join(ROOT, "scripts", "package"), "--from", tree, "--out", out,
                "--version", name.split("-")[0]]
        if name == "1.0.0":
            argv += ["--sign-cert", certs.cert, "--sign-key", certs.key] + certs.timestamp_args()
        done = run(argv)
        printed = dict(re.findall(r"^([a-z ]+):\s+(.*)$", done.stdout, re.M))
        check(done.returncode == 0 and os.path.isfile(printed.get("msi", "")),
              "scripts/package %s prints the MSI it built" % name, done.stderr.strip()[-300:])
        packages[name] = (printed.get("msi", ""), printed.get("product code", ""),
                          os.path.join(out, "stage"))
    return packages


def check_components_stable(check, older, newer):
    """The same file is the same component, with the same GUID, in every version."""
    rows = lambda path: {(r[0], r[1]) for r in msi.table(path, "Component")}  # noqa: E731
    old, new = rows(older), rows(newer)
    check(new and new <= old, "1.0.1's components have 1.0.0's ids and GUIDs",
          "only in 1.0.1: %s" % sorted(new - old)[:3])


def check_tables(check, msi_path):
    info = run(["msiinfo", "suminfo", msi_path]).stdout
    props = msi.properties(msi_path)
    check("Template: x64;" in info and props.get("ALLUSERS") == "1",
          "the MSI is an x64 per-machine package", info.strip()[:200])
    upgrade = {row[6]: row for row in msi.table(msi_path, "Upgrade")}
    up, down = upgrade.get("WIX_UPGRADE_DETECTED"), upgrade.get("WIX_DOWNGRADE_DETECTED")
    check(up is not None and up[2] == props.get("ProductVersion") and int(up[4]) & 0x200,
          "the upgrade row takes every version up to this one, this one included", str(up))
    check(down is not None and down[1] == props.get("ProductVersion") and int(down[4]) & 2
          and not int(down[4]) & 0x100, "the downgrade row detects only newer versions", str(down))
    conditions = msi.table(msi_path, "LaunchCondition")
    check(["NOT WIX_DOWNGRADE_DETECTED", "A newer version of orvalen is already installed."]
          in conditions, "a downgrade stops with a message that a newer version is installed",
          str(conditions))


def check_shell_launcher(check, xml_path, prefix=None):
    """Well-formed, both namespaces, the installed exe's path, actions for 0, 1 and the rest."""
    try:
        root = ET.parse(xml_path).getroot()
    except (OSError, ET.ParseError) as error:
        check(False, "the Shell Launcher file is well-formed XML", str(error))
        return
    ns = {"s": shell_launcher.NS_2018, "v2": shell_launcher.NS_2019}
    with open(xml_path, encoding="utf-8") as f:
        text = f.read()
    shells = root.findall("s:Profiles/s:Profile/s:Shell", ns)
    check(root.tag == "{%s}ShellLauncherConfiguration" % ns["s"] and len(shells) == 1
          and 'xmlns:V2="%s"' % ns["v2"] in text
          and shells[0].get("{%s}AppType" % ns["v2"]) == "Desktop",
          "the Shell Launcher file uses the 2018 and 2019 configuration namespaces")
    if not shells:
        return
    shell = shells[0]
    path = shell.get("Shell", "").replace("%ProgramFiles%", r"C:\Program Files")
    check(path == "C:\\" + "\\".join(INSTALL_DIR[1:]) + "\\orvalen.exe",
          "the Shell Launcher file names the exe where the MSI installs it", path)
    actions = {a.get("ReturnCode"): a.get("Action")
               for a in shell.findall("s:ReturnCodeActions/s:ReturnCodeAction", ns)}
    default = shell.find("s:DefaultAction", ns)
    check(actions == {"0": "RestartShell", "1": "DoNothing"} and default is not None
          and default.get("Action") == "RestartShell",
          "the Shell Launcher file maps 0, 1 and the default", "%s, default %s" % (
              actions, None if default is None else default.get("Action")))


def check_signatures(check, certs, packages, work):
    msi_path, _, stage = packages["1.0.0"]
    exe = os.path.join(stage, "orvalen.exe")
    for path, what in ((msi_path, "the MSI"), (exe, "orvalen.exe as packed")):
        ok, text = certs.verify(path)
        check(ok, "osslsigncode accepts the signature of %s%s" % (
            what, " and timestamp" if certs.tsa_cert else ""), text.strip()[-300:])
        if certs.tsa_cert:
            check("Timestamp Server Signature verification: ok" in text,
                  "%s carries a timestamp" % what, text.strip()[-300:])
    flipped = os.path.join(work, "flipped.exe")
    flip_code_byte(exe, flipped)
    check(not certs.verify(flipped)[0], "osslsigncode rejects orvalen.exe with a byte of code changed")
    tampered = os.path.join(work, "tampered.msi")
    shutil.copyfile(msi_path, tampered)
    replace_msi_stream(tampered)
    check(not certs.verify(tampered)[0], "osslsigncode rejects the MSI with its cabinet replaced")
    unsigned = packages["1.0.1"][0]
    check(not certs.verify(unsigned)[0], "a package built without --sign-cert carries no signature")


def check_kiosk_runs(check, prefix, work):
    transcript = os.path.join(work, "kiosk-transcript.jsonl")
    if os.path.exists(transcript):
        os.remove(transcript)
    exe = "C:\\" + "\\".join(INSTALL_DIR[1:]) + "\\orvalen.exe"
    rc = prefix.wine([exe], timeout=90, ORVALEN_STANDIN_TRANSCRIPT=windows_path(transcript))
    lines = open(transcript, encoding="utf-8").read() if os.path.exists(transcript) else ""
    check(rc == 0 and '"method":"destroy"' in lines.replace(" ", ""),
          "the installed orvalen.exe runs a scenario from Program Files and exits 0",
          "exit %s, %d transcript bytes" % (rc, len(lines)))


def install_and_compare(check, prefix, package, name, what):
    msi_path, _, stage = package
    rc, log = prefix.msiexec("/i", windows_path(msi_path), name)
    installed = tree_digest(prefix.install_dir())
    expected = tree_digest(stage)
    check(rc == 0 and installed == expected, what, "msiexec exit %s (log %s); %s" % (
        rc, log, describe_difference(expected, installed)))
    return rc


def one_entry(check, prefix, package, what):
    entries = prefix.uninstall_entries()
    _, product_code, _ = package
    check(list(entries) == [product_code], what, "entries %s, expected [%s]" % (
        list(entries), product_code))


def check_lifecycle(check, prefix, packages, work, certs):
    if install_and_compare(check, prefix, packages["1.0.0"], "install-1.0.0",
                           "msiexec /qn installs 1.0.0: the same files, bytes and folders "
                           "as the packed tree") != 0:
        return
    entries = prefix.uninstall_entries()
    entry = next(iter(entries.values()), {})
    check(len(entries) == 1 and entry.get("Publisher") == "com.talvern.orvalen"
          and entry.get("DisplayVersion") == "1.0.0",
          "Add/Remove Programs shows orvalen, its publisher and its version", str(entries))
    installed_exe = os.path.join(prefix.install_dir(), "orvalen.exe")
    ok, text = certs.verify(installed_exe)
    check(ok, "osslsigncode accepts the signature of the installed orvalen.exe", text.strip()[-300:])
    check_kiosk_runs(check, prefix, work)
    check(tree_digest(prefix.install_dir()) == tree_digest(packages["1.0.0"][2]),
          "the kiosk's run left nothing in its folder (no transcript)")

    install_and_compare(check, prefix, packages["1.0.1"], "install-1.0.1",
                        "1.0.1 upgrades 1.0.0: app.so updated, obsolete.txt removed")
    one_entry(check, prefix, packages["1.0.1"], "after the upgrade one uninstall entry, 1.0.1's")

    install_and_compare(check, prefix, packages["1.0.1-rebuilt"], "install-1.0.1-rebuilt",
                        "1.0.1 rebuilt replaces the installed 1.0.1")
    one_entry(check, prefix, packages["1.0.1-rebuilt"],
              "after the rebuild one uninstall entry, the rebuild's")

    before = tree_digest(prefix.install_dir())
    rc, log = prefix.msiexec("/i", windows_path(packages["0.9.0"][0]), "install-0.9.0")
    text = open(log, "rb").read().decode("utf-8", "replace") if os.path.exists(log) else ""
    print("note: msiexec refused 0.9.0 with exit %s" % rc)
    check(rc not in (0, "timeout") and tree_digest(prefix.install_dir()) == before
          and "WIX_DOWNGRADE_DETECTED = {" in text,
          "0.9.0 is refused (a newer version is installed) and the installed one is untouched",
          "msiexec exit %s (log %s)" % (rc, log))
    one_entry(check, prefix, packages["1.0.1-rebuilt"], "after the refusal the rebuild's entry stays")

    rc, log = prefix.msiexec("/x", packages["1.0.1-rebuilt"][1], "uninstall")
    left = sorted(tree_digest(prefix.install_dir()))
    check(rc == 0 and not os.path.exists(prefix.install_dir()) and not prefix.uninstall_entries(),
          "msiexec /x removes every file, the folder and the uninstall entry",
          "exit %s, left %s, entries %s" % (rc, left, list(prefix.uninstall_entries())))


def main(argv):
    parser = argparse.ArgumentParser(prog="package_check.py")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "windows"))
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "windows", "package-check"))
    args = parser.parse_args(argv)
    args.build, args.work = os.path.abspath(args.build), os.path.abspath(args.work)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    check = Checks()
    certs = Certificates(os.path.join(args.work, "certificates"))
    if not certs.offline_timestamps:
        print("note: this osslsigncode cannot timestamp offline (-TSA-certs); signing untimestamped")
    packages = build_packages(check, args, certs)
    if check.failed == 0:
        check_tables(check, packages["1.0.1"][0])
        check_components_stable(check, packages["1.0.0"][0], packages["1.0.1"][0])
        check_shell_launcher(check, os.path.join(args.work, "package-1.0.0",
                                                 "orvalen-shell-launcher.xml"))
        check_signatures(check, certs, packages, args.work)
        with Desk(args.build) as desk:
            path = os.path.join(args.work, "prefix")
            subprocess.run(["cp", "-a", desk.pristine, path], check=True)
            prefix = Prefix(path, desk.display, args.work)
            try:
                check_lifecycle(check, prefix, packages, args.work, certs)
            finally:
                end_wine_session(path)
    print("package_check.py: %d checks, %d failed" % (check.count, check.failed))
    return 1 if check.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
