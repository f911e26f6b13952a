#!/usr/bin/env python3
"""Runs the fuzz targets built by the fuzz preset, or folds what they found back into the seeds.

Usage: campaign.py run (--seconds S | --runs N) [--jobs J] [--targets NAME ...]
       campaign.py merge [--targets NAME ...]

scripts/fuzz builds the targets and calls this; run it from the source root.

run    Each target runs from its work corpus (build/fuzz/fuzz/corpus/<target>, which keeps growing)
       and its committed seeds, with its dictionary, J at a time, each process on one core. A
       progress line per running target every minute, then one table: executions, seconds,
       coverage, corpus size and findings (artifacts in build/fuzz/fuzz/findings/<target>/).
       Exit status 1 when a run found something.
merge  Per target, when the grown work corpora (the runs' and the CTest smoke runs') cover
       anything that the committed seeds do not: minimises the committed seeds plus those corpora
       into a fresh folder with libFuzzer's -merge=1 and makes that the committed seed folder's
       contents. A codec target's fresh folder starts with the hand-made seeds of make_seeds.py,
       so those always stay. Running it again changes nothing.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing to clean up in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_seeds  # noqa: E402

BUILD = os.path.join("build", "fuzz", "fuzz")
CODEC_TARGETS = ["value_decode", "call_decode", "reply_decode", "round_trip"]
TARGETS = CODEC_TARGETS + ["channel_machinery"]
# 1 GB: loading a grown corpus under AddressSanitizer keeps a few hundred MB in its quarantine.
LIMITS = ["-rss_limit_mb=1024", "-malloc_limit_mb=256", "-timeout=10"]
# A message announcing 65,536 elements it does not hold takes about 20 ms a run under the
# sanitizers, a thousand times an ordinary one; unscaled, the search spends most of its time on
# those inputs and their offspring (73 instead of 505 executions a second for round_trip).
SEARCH = ["-entropic_scale_per_exec_time=1"]
PROGRESS_EVERY = 60


def seeds_of(name):
    return os.path.join("fuzz", "channel", "corpus") if name == "channel_machinery" else \
        os.path.join("fuzz", "corpus", name)


def dict_of(name):
    return os.path.join("fuzz", "channel", "channel.dict") if name == "channel_machinery" else \
        os.path.join("fuzz", "codec.dict")


def work_corpora(name):
    """The folders that runs of this target fill: scripts/fuzz's, then the CTest smoke run's."""
    folders = [os.path.join(BUILD, "corpus", name)]
    if name == "channel_machinery":
        folders.append(os.path.join(BUILD, "channel", "corpus"))
    return folders


def binary(name):
    path = os.path.join(BUILD, "fuzz_" + name)
    if not os.access(path, os.X_OK):
        sys.exit(f"fuzz: {path} is missing; build the fuzz preset first (scripts/fuzz does)")
    return path


def files_in(folder):
    if not os.path.isdir(folder):
        return []
    return sorted(f for f in os.listdir(folder) if os.path.isfile(os.path.join(folder, f)))


def last_status(log):
    """The newest '#N ... cov: C ft: F' line of a libFuzzer log as a dict (may be empty)."""
    status = {}
    try:
        with open(log, errors="replace") as f:
            text = f.read()
    except FileNotFoundError:
        return status
    matches = list(re.finditer(r"^#(\d+)\s.*$", text, re.MULTILINE))
    if matches:
        line = matches[-1].group(0)
        status["execs"] = int(matches[-1].group(1))
        for key in ("cov", "ft", "corp"):
            found = re.search(key + r": (\d+)", line)
            if found:
                status[key] = int(found.group(1))
    done = re.search(r"stat::number_of_executed_units: *(\d+)", text)
    if done:
        status["execs"] = int(done.group(1))
    summary = re.search(r"^(SUMMARY: .*|==\d+== ERROR: libFuzzer: .*)$", text, re.MULTILINE)
    if summary:
        status["summary"] = summary.group(1)
    return status


class Run:
    def __init__(self, name, args):
        self.name = name
        self.log = os.path.join(BUILD, "findings", name + ".log")
        self.findings = os.path.join(BUILD, "findings", name)
        os.makedirs(self.findings, exist_ok=True)
        work = work_corpora(name)[0]
        os.makedirs(work, exist_ok=True)
        stop = [f"-runs={args.runs}"] if args.runs else [f"-max_total_time={args.seconds}"]
        self.command = [binary(name)] + stop + LIMITS + SEARCH + [
            "-print_final_stats=1", "-dict=" + dict_of(name),
            "-artifact_prefix=" + self.findings + "/", work, seeds_of(name)]
        self.process = None
        self.started = self.ended = 0.0

    def start(self):
        self.started = time.time()
        with open(self.log, "w") as log:
            self.process = subprocess.Popen(self.command, stdout=log, stderr=subprocess.STDOUT)
        print(f"fuzz: {self.name} started", flush=True)

    def poll(self):
        if self.process.poll() is None:
            return False
        self.ended = time.time()
        return True

    def new_findings(self):
        return [f for f in files_in(self.findings)
                if os.path.getmtime(os.path.join(self.findings, f)) >= self.started]


def run(args):
    names = args.targets or TARGETS
    pending = [Run(name, args) for name in names]
    goal = f"{args.runs} executions" if args.runs else f"{args.seconds} s"
    print(f"fuzz: {len(pending)} targets, {goal} each, {args.jobs} at a time", flush=True)
    running, done = [], []
    next_progress = time.time() + PROGRESS_EVERY
    while pending or running:
        while pending and len(running) < args.jobs:
            pending[0].start()
            running.append(pending.pop(0))
        time.sleep(2)
        for r in [r for r in running if r.poll()]:
            running.remove(r)
            done.append(r)
            status = last_status(r.log)
            print(f"fuzz: {r.name} finished: {status.get('execs', '?')} executions in "
                  f"{r.ended - r.started:.0f} s, {len(r.new_findings())} findings", flush=True)
        if time.time() >= next_progress:
            next_progress += PROGRESS_EVERY
            for r in running:
                status = last_status(r.log)
                print(f"fuzz: {r.name} running {time.time() - r.started:.0f} s: "
                      f"{status.get('execs', 0)} executions, cov {status.get('cov', '?')}, "
                      f"corpus {status.get('corp', '?')}", flush=True)

    found = 0
    print(f"\n{'target':<18} {'executions':>12} {'seconds':>8} {'cov':>6} {'ft':>7} {'corpus':>7}"
          "  findings")
    for r in sorted(done, key=lambda r: names.index(r.name)):
        status = last_status(r.log)
        findings = r.new_findings()
        found += len(findings)
        summary = "none"
        if findings:
            summary = f"{len(findings)}: {status.get('summary', 'see ' + r.log)}"
        corpus = len(files_in(work_corpora(r.name)[0]))
        print(f"{r.name:<18} {status.get('execs', '?'):>12} {r.ended - r.started:>8.0f} "
              f"{status.get('cov', '?'):>6} {status.get('ft', '?'):>7} {corpus:>7}  {summary}")
    print()
    if found:
        print(f"fuzz: findings in {BUILD}/findings/ (reproduce: {BUILD}/fuzz_<target> <file>)")
        return 1
    print("fuzz: no findings")
    return 0


def libfuzzer_merge(name, into, inputs, log):
    with open(log, "w") as out:
        result = subprocess.run([binary(name), "-merge=1"] + LIMITS + [into] + inputs,
                                stdout=out, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        sys.exit(f"fuzz: merging {name} failed (exit {result.returncode}); see {log}")


def merge(args):
    names = args.targets or TARGETS
    root = os.path.join(BUILD, "merge")
    shutil.rmtree(root, ignore_errors=True)
    hand = os.path.join(root, "hand")
    hand_targets = make_seeds.write_seed_folders(hand)
    changed = 0
    for name in names:
        committed = seeds_of(name)
        before = set(files_in(committed))
        grown = [folder for folder in work_corpora(name) if files_in(folder)]
        print(f"fuzz: merging {name}: {len(before)} committed, "
              f"{sum(len(files_in(folder)) for folder in grown)} grown", flush=True)
        # Only what the committed seeds do not cover yet is a reason to touch them. Minimising
        # anew each time would not settle: libFuzzer breaks ties between equally good inputs
        # by the order it finds them in, which the previous merge itself changed.
        check = os.path.join(root, name + ".check")
        shutil.copytree(committed, check)
        libfuzzer_merge(name, check, grown, os.path.join(root, name + ".check.log"))
        if len(files_in(check)) == len(before):
            print(f"fuzz: {name}: {len(before)} seeds, nothing new, unchanged", flush=True)
            continue
        fresh = os.path.join(root, name)
        if name in hand_targets:
            shutil.copytree(os.path.join(hand, name), fresh)
        else:
            os.makedirs(fresh)
        libfuzzer_merge(name, fresh, [committed] + grown, os.path.join(root, name + ".log"))
        after = set(files_in(fresh))
        for f in before:
            os.remove(os.path.join(committed, f))
        for f in after:
            shutil.copy2(os.path.join(fresh, f), os.path.join(committed, f))
        changed += 1
        print(f"fuzz: {name}: {len(after)} seeds (+{len(after - before)} -{len(before - after)})",
              flush=True)
    print(f"fuzz: merged {len(names)} targets, {changed} seed folders changed")
    return 0


def main(argv):
    parser = argparse.ArgumentParser(
        usage="campaign.py run (--seconds S | --runs N) [--jobs J] [--targets NAME ...]\n"
              "       campaign.py merge [--targets NAME ...]",
        description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    run_parser = commands.add_parser("run", help="run the targets")
    stop = run_parser.add_mutually_exclusive_group(required=True)
    stop.add_argument("--seconds", type=int, help="run each target this long")
    stop.add_argument("--runs", type=int, help="run each target for this many executions")
    run_parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1,
                            help="targets at a time (default: the number of cores)")
    merge_parser = commands.add_parser("merge", help="minimise the grown corpora into the seeds")
    for sub in (run_parser, merge_parser):
        sub.add_argument("--targets", nargs="+", choices=TARGETS, metavar="NAME",
                         help="only these targets: " + ", ".join(TARGETS))
    args = parser.parse_args(argv)
    if args.command == "run":
        if (args.seconds or args.runs or 0) <= 0 or args.jobs <= 0:
            parser.error("--seconds, --runs and --jobs take a positive number")
        return run(args)
    return merge(args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
