#!/usr/bin/env python3
"""What whole runs of panoctl cost beyond their pauses.

Runs each command as a process on the built-in simulated machine, with the
pauses really waited (PANOCTL_SIM_FAST unset), and prints one table row per
command: the median wall time, the pause floor (the sum of the `sleep` lines
of the run's trace), the overhead (median wall minus floor) and the peak
resident memory (maximum resident set size, as `/usr/bin/time -v` reports
it). A last row times `true`, a process that does nothing, for the cost of
starting any process on the machine.

    bench/process_bench.py [--runs N] [path/to/panoctl]

Needs Python 3 and /usr/bin/time (Debian packages python3-minimal, time).
The binary must be a build for the simulated platform.
"""

import argparse
import os
import shutil
import statistics
import sys
import tempfile

from process_runs import peak_memory_kib, spawn_and_wait
from sim_trace import paused_microseconds

LEFT = "52721127-E5C3-A401-1720-0104B53C2278"
RIGHT = "458E2032-0000-0000-0A1F-0104B5462778"

COMMANDS = [
    ["list"],
    ["get", LEFT, "0x10"],
    ["set", RIGHT, "16", "70"],
    ["capabilities", LEFT],
    ["probeaddr", LEFT],
]

# Variables of the sim build and of panoctl that would change what a run does.
CLEARED = ["PANOCTL_SIM_FAST", "PANOCTL_SIM_SCENARIO", "PANOCTL_SIM_TRACE",
           "PANOCTL_SIM_STATE", "DDC_DEBUG"]


def clean_environment():
    env = dict(os.environ)
    for name in CLEARED:
        env.pop(name, None)
    return env


def pause_floor(binary, args, env, directory):
    """Sum of the pauses, in seconds, that one traced run of the command makes."""
    trace = os.path.join(directory, "trace")
    if os.path.exists(trace):
        os.remove(trace)
    traced = dict(env, PANOCTL_SIM_TRACE=trace)
    _, status = spawn_and_wait([binary] + args, traced)
    if status != 0:
        sys.exit(f"panoctl {' '.join(args)}: exit status {status}")
    return paused_microseconds(trace) / 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", nargs="?", default="build/panoctl")
    parser.add_argument("--runs", type=int, default=21, help="timed runs per command")
    parser.add_argument("--memory-runs", type=int, default=3)
    options = parser.parse_args()

    binary = os.path.abspath(options.binary)
    empty = shutil.which("true")
    if not os.access(binary, os.X_OK):
        sys.exit(f"{binary}: not an executable (build panoctl first)")
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("/usr/bin/time is missing (apt-get install time)")
    env = clean_environment()

    rows = [(" ".join(["panoctl"] + args), [binary] + args) for args in COMMANDS]
    rows.append(("true (an empty process)", [empty]))
    with tempfile.TemporaryDirectory() as directory:
        floors = [pause_floor(binary, argv[1:], env, directory) for _, argv in rows[:-1]]
        floors.append(0.0)
        # Round robin, so that whatever else the machine does meanwhile
        # falls on every command alike.
        walls = [[] for _ in rows]
        for _ in range(options.runs):
            for index, (_, argv) in enumerate(rows):
                elapsed, status = spawn_and_wait(argv, env)
                if status != 0:
                    sys.exit(f"{' '.join(argv)}: exit status {status}")
                walls[index].append(elapsed)
        memory = [peak_memory_kib(argv, env, options.memory_runs, directory)
                  for _, argv in rows]

    print(f"{options.runs} runs each, real pauses, built-in machine; times are medians.")
    print()
    print("| command | wall | pause floor | overhead | peak memory |")
    print("|---|---:|---:|---:|---:|")
    for (name, _), wall, floor, kib in zip(rows, walls, floors, memory):
        median = statistics.median(wall)
        name = name.replace(LEFT, "<left>").replace(RIGHT, "<right>")
        print(f"| `{name}` | {median * 1e3:.2f} ms | {floor * 1e3:.0f} ms "
              f"| {(median - floor) * 1e3:.2f} ms | {kib / 1024:.2f} MiB |")


if __name__ == "__main__":
    main()
