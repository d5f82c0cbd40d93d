#!/usr/bin/env python3
"""What --retries buys on buses that fail.

Runs panoctl as a process against simulated monitors whose bus drops,
garbles or delays transfers (the scenario member `bus`), each run with its
own PANOCTL_SIM_SEED, and prints two tables, one row per bus and retry
setting:

- `get`: the share of runs that answered with a value, the number of wrong
  values (a value other than the monitor's), and the median time the run
  spent in pauses (the sum of the `sleep` lines of its trace);
- `set --verify`: the share of runs that said {"ok":true}, the number of
  those whose value the monitor did not keep (read from the state file after
  the run), and the median pause time.

Then the targets: no wrong value anywhere, at least 99.5 % answered with
--retries 3 at 5 % failures and 5 % corruption, at least 99 % with
--retries 3 on the monitor that answers after 40 ms. Exit status 1 when a
target is missed.

    bench/reliability.py [--gets N] [--sets N] [path/to/panoctl]

Pauses are traced, not waited (PANOCTL_SIM_FAST), so the figures come in
seconds; needs Python 3 and a build for the simulated platform.
"""

import argparse
import concurrent.futures
import json
import os
import statistics
import subprocess
import sys
import tempfile

from sim_trace import paused_microseconds

DISPLAY = "52721127-E5C3-A401-1720-0104B53C2278"
CURRENT = 50
BUSES = [
    ("5% fail, 5% corrupt", {"failRate": 0.05, "corruptRate": 0.05}),
    ("20% fail", {"failRate": 0.2}),
    ("replies after 40 ms", {"replyDelay": 40000}),
]
RETRIES = [0, 1, 3]
CLEARED = ["PANOCTL_SIM_SCENARIO", "PANOCTL_SIM_TRACE", "PANOCTL_SIM_STATE",
           "PANOCTL_SIM_SEED", "PANOCTL_SIM_LOCKS", "DDC_DEBUG"]


def scenario(bus):
    return {
        "registry": {"name": "Root", "children": [
            {"name": "AppleCLCD2", "properties": {"EDID UUID": DISPLAY}},
            {"name": "DCPAVServiceProxy", "avservice": {"monitor": "m"}},
        ]},
        "monitors": {"m": {"vcp": {"0x10": {"current": CURRENT, "max": 100}},
                           "bus": dict(bus, seed=1)}},
    }


def run(binary, args, env, trace):
    if os.path.exists(trace):
        os.remove(trace)
    done = subprocess.run([binary] + args, env=dict(env, PANOCTL_SIM_TRACE=trace),
                          capture_output=True, text=True, check=False)
    if done.returncode != 0:
        sys.exit(f"panoctl {' '.join(args)}: status {done.returncode}: {done.stderr.strip()}")
    return json.loads(done.stdout), paused_microseconds(trace) / 1000


def get_cell(binary, env, retries, runs, directory):
    def one(seed):
        trace = os.path.join(directory, f"get-{seed}.trace")
        document, paused = run(binary, ["--retries", str(retries), "get", DISPLAY, "0x10"],
                               dict(env, PANOCTL_SIM_SEED=str(seed)), trace)
        return document["value"], paused

    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        results = list(pool.map(one, range(runs)))
    answered = [value for value, _ in results if value is not None]
    wrong = sum(1 for value in answered if value != CURRENT)
    return len(answered) / runs, wrong, statistics.median(p for _, p in results)


def set_cell(binary, env, retries, runs, directory):
    # One state file for the whole cell, so each run must change what the
    # previous one left; every {"ok":true} is checked against the file.
    state = os.path.join(directory, f"state-{retries}.json")
    if os.path.exists(state):
        os.remove(state)
    env = dict(env, PANOCTL_SIM_STATE=state)
    said_ok, lost, pauses = 0, 0, []
    for seed in range(runs):
        value = 1 + (seed * 37) % 99
        trace = os.path.join(directory, "set.trace")
        document, paused = run(binary, ["--retries", str(retries), "--verify", "set", DISPLAY,
                                        "0x10", str(value)],
                               dict(env, PANOCTL_SIM_SEED=str(seed)), trace)
        pauses.append(paused)
        if document["ok"]:
            said_ok += 1
            with open(state) as kept:
                if json.load(kept).get("m", {}).get("0x10") != value:
                    lost += 1
    return said_ok / runs, lost, statistics.median(pauses)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("binary", nargs="?", default="build/panoctl")
    parser.add_argument("--gets", type=int, default=1000, help="get runs per cell")
    parser.add_argument("--sets", type=int, default=200, help="set --verify runs per cell")
    options = parser.parse_args()
    binary = os.path.abspath(options.binary)

    env = {k: v for k, v in os.environ.items() if k not in CLEARED}
    env["PANOCTL_SIM_FAST"] = "1"
    missed = []
    with tempfile.TemporaryDirectory() as directory:
        env["PANOCTL_SIM_LOCKS"] = os.path.join(directory, "locks")
        for command, cell, runs, columns in (
                ("get", get_cell, options.gets, "answered | wrong values"),
                ("set --verify", set_cell, options.sets, "said ok:true | ok:true but not kept")):
            print(f"\n{command}, {runs} runs per row\n")
            print(f"| bus | --retries | {columns} | median pauses |")
            print("|---|---:|---:|---:|---:|")
            for name, bus in BUSES:
                path = os.path.join(directory, "scenario.json")
                with open(path, "w") as out:
                    json.dump(scenario(bus), out)
                cell_env = dict(env, PANOCTL_SIM_SCENARIO=path)
                for retries in RETRIES:
                    share, wrong, paused = cell(binary, cell_env, retries, runs, directory)
                    print(f"| {name} | {retries} | {share * 100:.1f} % | {wrong} "
                          f"| {paused:.0f} ms |", flush=True)
                    if wrong:
                        missed.append(f"{command}, {name}, --retries {retries}: {wrong} wrong")
                    if command == "get" and retries == 3:
                        floor = {"5% fail, 5% corrupt": 0.995, "replies after 40 ms": 0.99}
                        if name in floor and share < floor[name]:
                            missed.append(f"get, {name}, --retries 3: {share * 100:.1f} % "
                                          f"answered, target {floor[name] * 100:.1f} %")
    print()
    for line in missed:
        print(f"missed: {line}")
    print("targets met" if not missed else "targets missed")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
