#!/usr/bin/env python3
"""The road of a kiosk integrator with the real engine, walked with our stand-in's own libraries
standing in for the real ones.

  install  configures a second build tree against import libraries (the engine's .dll.a, the
           plug-ins' DLLs themselves, in reverse order), with a release bundle folder holding
           those DLLs and data\\; checks that the tree builds no stand-in DLL, installs it with
           `cmake --install`, and checks that the bundle arrived unchanged. First it checks that
           either library option alone stops configuration with a message naming the other.
  run      runs the installed kiosk with the demo scenario on the desk it is started on
           (`scripts/desk run` exports ORVALEN_DESK_NAME): exit code 0, the fit and span lines.
"""
import argparse
import filecmp
import os
import shutil
import subprocess
import sys

import kiosk_e2e  # the event-line reader, beside this script

FIT = [kiosk_e2e.FIT, kiosk_e2e.placed("applied", "fit", kiosk_e2e.FIT_RECT)]
SPAN = [kiosk_e2e.SPAN, kiosk_e2e.placed("applied", "span", kiosk_e2e.SPAN_RECT)]


class Failed(Exception):
    pass


def check(condition, text, detail=""):
    if not condition:
        raise Failed(text + ("\n" + detail if detail else ""))
    print("ok: " + text, flush=True)


def cmake(*args, cwd=None):
    print("$ cmake " + " ".join(args), flush=True)
    return subprocess.run(["cmake", *args], cwd=cwd, capture_output=True, text=True)


def configure(args, tree, **options):
    shutil.rmtree(tree, ignore_errors=True)
    defines = ["-D%s=%s" % item for item in options.items()]
    return cmake("-S", args.source, "-B", tree, "-DCMAKE_TOOLCHAIN_FILE=" + args.toolchain,
                 "-DCMAKE_BUILD_TYPE=Release", "-DORVALEN_TESTS=OFF", *defines)


def one_option_fails(args, given, missing, value):
    p = configure(args, os.path.join(args.work, "only-" + given.lower()), **{given: value})
    out = p.stdout + p.stderr
    check(p.returncode != 0, "configuring with %s alone fails" % given)
    check("%s is set but %s is not" % (given, missing) in out, "the message names " + missing,
          out[-1500:])


def make_bundle(args, folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "data", "flutter_assets"))
    for dll in [args.engine_dll] + args.plugin:
        shutil.copy2(dll, folder)
    open(os.path.join(folder, "data", "icudtl.dat"), "wb").close()
    shutil.copy2(args.scenario, os.path.join(folder, "data", "app.so"))


def same_tree(a, b):
    """Every file under a is under b with the same bytes."""
    for base, _, files in os.walk(a):
        for name in files:
            left = os.path.join(base, name)
            right = os.path.join(b, os.path.relpath(left, a))
            if not os.path.isfile(right) or not filecmp.cmp(left, right, shallow=False):
                return False
    return True


def install(args):
    os.makedirs(args.work, exist_ok=True)
    one_option_fails(args, "ORVALEN_ENGINE_LIBRARY", "ORVALEN_PLUGIN_LIBRARIES", args.engine)
    one_option_fails(args, "ORVALEN_PLUGIN_LIBRARIES", "ORVALEN_ENGINE_LIBRARY",
                     ";".join(args.plugin))

    bundle = os.path.join(args.work, "bundle")
    tree = os.path.join(args.work, "build")
    prefix = os.path.join(args.work, "kiosk")
    make_bundle(args, bundle)
    p = configure(args, tree, ORVALEN_ENGINE_LIBRARY=args.engine,
                  ORVALEN_PLUGIN_LIBRARIES=";".join(reversed(args.plugin)),
                  ORVALEN_BUNDLE_DIR=bundle)
    check(p.returncode == 0, "real-engine configuration", (p.stdout + p.stderr)[-1500:])
    check("engine: the real engine" in p.stdout, "the build says it uses the real engine")

    p = cmake("--build", tree, "-j", str(os.cpu_count() or 2))
    check(p.returncode == 0, "real-engine build", (p.stdout + p.stderr)[-3000:])
    dlls = [os.path.join(base, f) for base, _, files in os.walk(tree) for f in files
            if f.lower().endswith(".dll")]
    check(dlls == [], "the tree built no DLL: %s" % dlls)
    check(not os.path.exists(os.path.join(tree, "standin")), "nothing of standin/ is configured")

    shutil.rmtree(prefix, ignore_errors=True)
    p = cmake("--install", tree, "--prefix", prefix)
    check(p.returncode == 0, "cmake --install", (p.stdout + p.stderr)[-1500:])
    check(os.path.isfile(os.path.join(prefix, "orvalen.exe")), "orvalen.exe at the top")
    check(same_tree(bundle, prefix), "the bundle is installed unchanged beside the exe")


def run(args):
    kiosk = os.path.join(args.work, "kiosk")
    for stale in ("transcript.jsonl", "debug.txt"):
        if os.path.exists(os.path.join(kiosk, stale)):
            os.remove(os.path.join(kiosk, stale))
    p = subprocess.run([args.desk, "exec", "--name", os.environ["ORVALEN_DESK_NAME"], "--build",
                        args.build, "--timeout", "150", "--debug-out",
                        os.path.join(kiosk, "debug.txt"), "--", os.path.join(kiosk, "orvalen.exe")],
                       cwd=kiosk, capture_output=True, text=True, errors="replace")
    result = kiosk_e2e.Run(kiosk, p.returncode, p.stdout, p.stderr)
    lines = result.kiosk_lines
    check(p.returncode == 0, "the installed kiosk exits 0", result.describe())
    check(lines[:2] == FIT, "fit on the middle monitor at the first frame", str(lines))
    check(any(lines[i:i + 2] == SPAN for i in range(len(lines))), "span over all three", str(lines))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("step", choices=["install", "run"])
    parser.add_argument("--work", required=True, help="folder for the trees, bundle and kiosk")
    parser.add_argument("--source", help="the source tree")
    parser.add_argument("--toolchain", help="the MinGW toolchain file")
    parser.add_argument("--engine", help="the stand-in engine's import library")
    parser.add_argument("--engine-dll", help="the stand-in engine DLL")
    parser.add_argument("--plugin", action="append", default=[], help="a stand-in plug-in DLL")
    parser.add_argument("--scenario", help="the scenario the installed kiosk plays")
    parser.add_argument("--desk", help="scripts/desk")
    parser.add_argument("--build", help="the build tree that owns the desk")
    args = parser.parse_args()
    try:
        install(args) if args.step == "install" else run(args)
    except Failed as failure:
        print("FAILED: %s" % failure, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
