#!/usr/bin/env python3
"""One command over many displays: `set all brightness 50` as a process on
simulated machines with 1, 2, 4, 8 and 16 displays, the pauses really waited
(PANOCTL_SIM_FAST unset), the displays served at once and with
--one-at-a-time.

Prints one table row per machine: the median wall time of each way and its
ratio to the time of one display served at once, the pause floor of one
display (the sum of the `sleep` lines of its part of the trace) and the
peak resident memory of each way (maximum resident set size, as
`/usr/bin/time` reports it).

    bench/displays_bench.py [--runs N] [path/to/panoctl]

Needs Python 3 and /usr/bin/time (Debian packages python3-minimal, time).
The binary must be a build for the simulated platform.
"""

import argparse
import json
import os
import statistics
import sys
import tempfile

from process_runs import peak_memory_kib, spawn_and_wait
from sim_trace import paused_microseconds

DISPLAY_COUNTS = [1, 2, 4, 8, 16]
COMMAND = ["set", "all", "brightness", "50"]

# Variables of the sim build and of panoctl that would change what a run does.
CLEARED = ["PANOCTL_SIM_FAST", "PANOCTL_SIM_SCENARIO", "PANOCTL_SIM_TRACE",
           "PANOCTL_SIM_STATE", "PANOCTL_SIM_SEED", "DDC_DEBUG"]


def machine(displays):
    """A scenario with `displays` external monitors, each behind its own port."""
    children, monitors = [], {}
    for index in range(displays):
        key = f"m{index}"
        children.append({"name": f"port-{index}", "children": [{
            "name": "DCPAVServiceProxy",
            "properties": {"EDID UUID": f"0000{index:04X}-0000-4000-8000-000000000000"},
            "avservice": {"monitor": key}}]})
        monitors[key] = {"vcp": {"0x10": {"current": 20, "max": 100}}}
    return {"registry": {"name": "Root", "children": children}, "monitors": monitors}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", nargs="?", default="build/panoctl")
    parser.add_argument("--runs", type=int, default=21, help="timed runs per machine and way")
    parser.add_argument("--memory-runs", type=int, default=3)
    options = parser.parse_args()

    binary = os.path.abspath(options.binary)
    if not os.access(binary, os.X_OK):
        sys.exit(f"{binary}: not an executable (build panoctl first)")
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("/usr/bin/time is missing (apt-get install time)")
    env = {name: value for name, value in os.environ.items() if name not in CLEARED}

    ways = [("at once", [binary] + COMMAND),
            ("in turn", [binary, "--one-at-a-time"] + COMMAND)]
    with tempfile.TemporaryDirectory() as directory:
        env["PANOCTL_SIM_LOCKS"] = os.path.join(directory, "locks")
        machines = {}
        for displays in DISPLAY_COUNTS:
            path = os.path.join(directory, f"machine-{displays}.json")
            with open(path, "w") as scenario:
                json.dump(machine(displays), scenario)
            machines[displays] = dict(env, PANOCTL_SIM_SCENARIO=path)

        trace = os.path.join(directory, "trace")
        _, status = spawn_and_wait([binary] + COMMAND,
                                   dict(machines[1], PANOCTL_SIM_TRACE=trace))
        if status != 0:
            sys.exit(f"panoctl {' '.join(COMMAND)}: exit status {status}")
        floor = paused_microseconds(trace) / 1e6

        # Round robin, so that whatever else the machine does meanwhile falls
        # on every machine and way alike.
        walls = {(displays, way): [] for displays in DISPLAY_COUNTS for way, _ in ways}
        for _ in range(options.runs):
            for displays in DISPLAY_COUNTS:
                for way, argv in ways:
                    elapsed, status = spawn_and_wait(argv, machines[displays])
                    if status != 0:
                        sys.exit(f"{' '.join(argv)} on {displays} displays: status {status}")
                    walls[(displays, way)].append(elapsed)
        memory = {(displays, way): peak_memory_kib(argv, machines[displays],
                                                   options.memory_runs, directory)
                  for displays in DISPLAY_COUNTS for way, argv in ways}

    one = statistics.median(walls[(1, "at once")])
    print(f"`panoctl {' '.join(COMMAND)}`, {options.runs} runs each, real pauses "
          f"({floor * 1e3:.0f} ms a display); times are medians, ratios to one display.")
    print()
    print("| displays | at once | ratio | in turn | ratio | peak memory at once | in turn |")
    print("|---:|---:|---:|---:|---:|---:|---:|")
    for displays in DISPLAY_COUNTS:
        at_once = statistics.median(walls[(displays, "at once")])
        in_turn = statistics.median(walls[(displays, "in turn")])
        print(f"| {displays} | {at_once * 1e3:.2f} ms | {at_once / one:.2f} "
              f"| {in_turn * 1e3:.2f} ms | {in_turn / one:.2f} "
              f"| {memory[(displays, 'at once')] / 1024:.2f} MiB "
              f"| {memory[(displays, 'in turn')] / 1024:.2f} MiB |")


if __name__ == "__main__":
    main()
