#!/usr/bin/env python3
"""Wall time of N concurrent `set` runs, pauses waited: all on one display,
then spread over different displays.

Usage: bench/lock_bench.py <panoctl binary> [runs, default 20]

A `set` holds its display's lock for its 30 ms of pauses, so runs on one
display take turns and runs on different displays overlap. The display table
holds at most 16 displays, so the simulated machine has up to 16 and the
runs beyond them go round again (20 runs: four displays get two).
"""
import json
import os
import subprocess
import sys
import tempfile
import time

MAX_DISPLAYS = 16


def scenario(count):
    ids = [f"5A5A5A5A-0000-4000-8000-{n:012X}" for n in range(count)]
    children = [{
        "name": f"dispext{n}", "children": [
            {"name": "AppleCLCD2", "properties": {"EDID UUID": uuid}},
            {"name": "DCPAVServiceProxy", "properties": {"Location": "External"},
             "avservice": {"monitor": f"m{n}"},
             "children": [{"name": "AppleDCPDisplayEndpoint", "properties": {"EDID UUID": uuid}}]},
        ]} for n, uuid in enumerate(ids)]
    monitors = {f"m{n}": {"vcp": {"0x10": {"current": 50, "max": 100}}} for n in range(count)}
    return ids, {"registry": {"name": "Root", "children": children}, "monitors": monitors}


def timed(binary, env, displays):
    started = time.monotonic()
    runs = [subprocess.Popen([binary, "set", display, "0x10", str(n % 100)], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            for n, display in enumerate(displays)]
    outputs = [run.communicate() for run in runs]
    elapsed = time.monotonic() - started
    if any(out != ('{"ok":true}\n', "") for out in outputs):
        sys.exit(f"a run failed: {outputs}")
    return elapsed


def main(binary, count):
    with tempfile.TemporaryDirectory() as folder:
        ids, machine = scenario(min(count, MAX_DISPLAYS))
        path = os.path.join(folder, "scenario.json")
        with open(path, "w", encoding="utf-8") as out:
            json.dump(machine, out)
        env = {k: v for k, v in os.environ.items() if not k.startswith("PANOCTL_SIM_")}
        env.update(PANOCTL_SIM_SCENARIO=path, PANOCTL_SIM_LOCKS=os.path.join(folder, "locks"))
        one = timed(binary, env, [ids[0]] * count)
        spread = timed(binary, env, [ids[n % len(ids)] for n in range(count)])
        print(f"{count} concurrent sets on one display: {one * 1000:.0f} ms")
        print(f"{count} concurrent sets on {len(ids)} displays: {spread * 1000:.0f} ms")


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 20)
