#!/usr/bin/env python3
"""What the capabilities cache and a restore that writes only what differs
save, on the built-in simulated machine.

Usage: bench/cache_bench.py <panoctl binary> [runs, default 11]

1. `features 1`, pauses waited: the median wall time and the pauses traced,
   first with an empty cache (each run starts from one), then from the
   cache the first run filled.
2. `save 1`, then `restore 1` of that document with 0, 1 and all of its
   features changed on the monitor: the Set VCP Feature transactions the
   restore made (each is three writes on the bus) and its pauses.

Runs against a cache folder and a state file of its own in a temporary
folder; the user's cache is not touched.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

from sim_trace import paused_microseconds

SET_REQUEST = "write 0x37 0x51 84 03 "
CAPABILITIES_REQUEST = "write 0x37 0x51 83 f3 "


def run(binary, env, args, trace=None):
    env = dict(env)
    if trace is not None:
        env["PANOCTL_SIM_TRACE"] = trace
    started = time.monotonic()
    result = subprocess.run([binary, *args], env=env, capture_output=True, text=True, check=False)
    elapsed = time.monotonic() - started
    if result.returncode != 0:
        sys.exit(f"panoctl {' '.join(args)}: status {result.returncode}: {result.stderr}")
    return result.stdout, elapsed


def trace_lines(path):
    with open(path, encoding="utf-8") as lines:
        return lines.read().splitlines()


def timed_features(binary, env, folder, runs, empty_cache):
    walls, pauses, requests = [], [], []
    cache = os.path.join(folder, "cache", "panoctl")
    for n in range(runs):
        if empty_cache:
            subprocess.run(["rm", "-rf", cache], check=True)
        trace = os.path.join(folder, f"features-{empty_cache}-{n}.trace")
        _, elapsed = run(binary, env, ["features", "1"], trace)
        walls.append(elapsed)
        pauses.append(paused_microseconds(trace))
        requests.append(sum(line.startswith(CAPABILITIES_REQUEST) for line in trace_lines(trace)))
    return statistics.median(walls), statistics.median(pauses), max(requests)


def restore_writes(binary, env, folder, saved, changed):
    """Restores `saved` after setting `changed` of its features to other values."""
    for code in changed:
        value = saved["features"][code]
        run(binary, env, ["set", "1", code, str(1 if value != 1 else 2)])
    document = os.path.join(folder, "saved.json")
    trace = os.path.join(folder, f"restore-{len(changed)}.trace")
    with open(trace, "w", encoding="utf-8"):
        pass
    out, elapsed = run(binary, env, ["restore", "1", document], trace)
    answer = json.loads(out)
    expected = {code: "changed" if code in changed else "unchanged" for code in saved["features"]}
    if answer != {"ok": True, "features": expected}:
        sys.exit(f"restore answered {out}")
    lines = trace_lines(trace)
    sets = sum(line.startswith(SET_REQUEST) for line in lines) // 3
    return sets, paused_microseconds(trace), elapsed


def main(binary, runs):
    with tempfile.TemporaryDirectory() as folder:
        env = {k: v for k, v in os.environ.items() if not k.startswith("PANOCTL_SIM_")}
        env.update(XDG_CACHE_HOME=os.path.join(folder, "cache"),
                   PANOCTL_SIM_LOCKS=os.path.join(folder, "locks"))
        print(f"features 1 on the built-in machine, pauses waited, median of {runs} runs:")
        print("| capabilities from | wall | pauses | capabilities requests |")
        print("|---|---:|---:|---:|")
        for label, empty in (("the monitor (empty cache)", True), ("the cache", False)):
            wall, paused, requests = timed_features(binary, env, folder, runs, empty)
            print(f"| {label} | {wall * 1000:.1f} ms | {paused / 1000:.0f} ms | {requests} |")

        env.update(PANOCTL_SIM_FAST="1", PANOCTL_SIM_STATE=os.path.join(folder, "state.json"))
        out, _ = run(binary, env, ["save", "1"])
        saved = json.loads(out)
        with open(os.path.join(folder, "saved.json"), "w", encoding="utf-8") as document:
            document.write(out)
        codes = list(saved["features"])
        print(f"\nrestore 1 of `save 1` ({len(codes)} features), pauses traced:")
        print("| features that differ | set transactions | writes on the bus | pauses |")
        print("|---|---:|---:|---:|")
        for changed in ([], codes[:1], codes):
            sets, paused, _ = restore_writes(binary, env, folder, saved, changed)
            if sets != len(changed):
                sys.exit(f"{len(changed)} features differ but the restore made {sets} sets")
            print(f"| {len(changed)} | {sets} | {sets * 3} | {paused / 1000:.0f} ms |")


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) == 3 else 11)
