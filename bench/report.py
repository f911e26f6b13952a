#!/usr/bin/env python3
"""Turns orvalen-bench's JSON output into the ratio table and out/bench.json.

Usage: report.py OUT_JSON [--strict=0|1] RAW_JSON...   (also writes OUT_JSON with .md: the table)

Every figure is the median CPU time of all repetitions in the RAW_JSON files (one per process of
the run), so each ratio compares implementations measured side by side on the same machine, over
the same address layouts. A ratio is ours / baseline (time), so
lower is better:
  - 1 MiB typed arrays against memcpy: at least 0.7 x memcpy's throughput to decode (ratio at
    most 1/0.7) and 0.6 x to encode (ratio at most 1/0.6); the two MessagePack libraries are
    listed beside them for information;
  - every other workload against msgpack-cxx and nlohmann::json: ratio at most 1.0; encoding
    twice, into a fresh buffer per message ("encode_X": our owned vector, a fresh sbuffer or
    vector) and into one buffer emptied and reused ("encode_X_reused": the channels' path, a
    cleared sbuffer or vector);
  - decoding record lists of 1 KiB to 16 MiB: each size's time per byte against the median time
    per byte of all sizes, within a factor of 1.5 either way.
"""
import json
import statistics
import sys

BULK_KINDS = ["uint8s", "int32s", "float32s", "float64s"]
STRUCTURED = ["call_spanAllDisplays", "call_onDisplayEvent", "map_1000_string_int32",
              "list_10000_mixed", "nested_maps_depth8"]
SCALE_SIZES = ["1KiB", "4KiB", "16KiB", "64KiB", "256KiB", "1MiB", "4MiB", "16MiB"]
PEERS = ["msgpack", "nlohmann"]
LINEAR_FACTOR = 1.5


def load_medians(paths):
    """Per benchmark, the median of its repetitions over all files (and the first file's context)."""
    times, sizes, errors, context = {}, {}, [], {}
    for path in paths:
        with open(path) as f:
            raw = json.load(f)
        context = context or raw.get("context", {})
        for entry in raw["benchmarks"]:
            name = entry.get("run_name", entry["name"])
            if entry.get("error_occurred"):
                errors.append(f"{name}: {entry.get('error_message', 'error')}")
                continue
            if entry.get("run_type") != "iteration":
                continue
            unit = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[entry.get("time_unit", "ns")]
            parts = name.split("/")
            key = (parts[0], parts[1])
            times.setdefault(key, []).append(entry["cpu_time"] * unit)
            sizes[key] = entry.get("message_bytes")
    medians = {key: {"ns": statistics.median(ns), "bytes": sizes[key]} for key, ns in times.items()}
    return context, medians, sorted(set(errors))


def main():
    out_path = sys.argv[1]
    strict = any(a == "--strict=1" for a in sys.argv[2:])
    raw_paths = [a for a in sys.argv[2:] if not a.startswith("--")]
    context, medians, errors = load_medians(raw_paths)
    missing = []
    entries = []

    def get(workload, impl):
        found = medians.get((workload, impl))
        if found is None:
            missing.append(f"{workload}/{impl}")
        return found

    def add(workload, ours, baseline, base, target_max, target_min=None):
        if ours is None or base is None:
            return
        ratio = ours["ns"] / base
        entry = {"workload": workload, "ours_ns": round(ours["ns"], 1), "baseline": baseline,
                 "baseline_ns": round(base, 1), "ratio": round(ratio, 4)}
        if target_max is not None:
            entry["target_max_ratio"] = round(target_max, 4)
            if target_min is not None:
                entry["target_min_ratio"] = round(target_min, 4)
            entry["meets_target"] = ratio <= target_max and (target_min is None or ratio >= target_min)
        entries.append(entry)

    for direction, throughput in (("encode", 0.6), ("decode", 0.7)):
        for kind in BULK_KINDS:
            workload = f"{direction}_{kind}_1MiB"
            ours = get(workload, "ours")
            memcpy = get(workload, "memcpy")
            add(workload, ours, "memcpy", memcpy and memcpy["ns"], 1.0 / throughput)
            for peer in PEERS:
                found = get(workload, peer)
                add(workload, ours, peer, found and found["ns"], None)

    for name in STRUCTURED:
        for workload in (f"encode_{name}", f"encode_{name}_reused", f"decode_{name}"):
            ours = get(workload, "ours")
            for peer in PEERS:
                found = get(workload, peer)
                add(workload, ours, peer, found and found["ns"], 1.0)

    scale = {}
    for size in SCALE_SIZES:
        found = get(f"decode_records_{size}", "ours")
        if found is not None and found["bytes"]:
            scale[size] = found
    if len(scale) == len(SCALE_SIZES):
        median_per_byte = statistics.median(v["ns"] / v["bytes"] for v in scale.values())
        for size, found in scale.items():
            add(f"decode_records_{size}", found, "median_ns_per_byte_x_bytes",
                median_per_byte * found["bytes"], LINEAR_FACTOR, 1.0 / LINEAR_FACTOR)

    with open(out_path, "w") as f:
        json.dump({"context": {k: context.get(k) for k in
                               ("date", "host_name", "num_cpus", "mhz_per_cpu", "load_avg")},
                   "statistic": "median cpu_time of the repetitions, all processes",
                   "entries": entries}, f, indent=2)
        f.write("\n")

    with open(out_path[:-len(".json")] + ".md" if out_path.endswith(".json") else out_path + ".md",
              "w") as f:
        f.write("| workload | baseline | ours | baseline time | ratio | target |\n")
        f.write("|---|---|---:|---:|---:|---|\n")
        for e in entries:
            f.write(f"| {e['workload']} | {e['baseline']} | {fmt(e['ours_ns'])} | "
                    f"{fmt(e['baseline_ns'])} | {e['ratio']:.3f} | {verdict_of(e)} |\n")

    print(f"{'workload':34} {'baseline':26} {'ours':>12} {'baseline':>12} {'ratio':>7}  target")
    for e in entries:
        verdict = verdict_of(e)
        print(f"{e['workload']:34} {e['baseline']:26} {fmt(e['ours_ns']):>12} "
              f"{fmt(e['baseline_ns']):>12} {e['ratio']:7.3f}  {verdict}")

    judged = [e for e in entries if "meets_target" in e]
    missed = [e for e in judged if not e["meets_target"]]
    print(f"\nbench: {len(judged) - len(missed)} of {len(judged)} targets met; wrote {out_path}")
    for e in missed:
        print(f"bench: missed: {e['workload']} vs {e['baseline']}: ratio {e['ratio']:.3f}")
    for e in errors:
        print(f"bench: benchmark failed: {e}")
    for m in missing:
        print(f"bench: no result for {m}")
    if errors or missing:
        return 1
    return 1 if strict and missed else 0


def verdict_of(e):
    if "target_max_ratio" not in e:
        return "(information)"
    bound = f"<= {e['target_max_ratio']:.3g}"
    if "target_min_ratio" in e:
        bound = f"{e['target_min_ratio']:.3g}..{e['target_max_ratio']:.3g}"
    return f"{bound} {'ok' if e['meets_target'] else 'MISSED'}"


def fmt(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} us"
    return f"{ns:.0f} ns"


if __name__ == "__main__":
    sys.exit(main())
