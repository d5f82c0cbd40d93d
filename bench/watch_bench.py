#!/usr/bin/env python3
"""What `panoctl watch` costs, whole-process, on a simulated machine whose
scenario file is rewritten under it:

- the time from a rewrite of the scenario file (a display plugged in or
  unplugged) to its event line, median and maximum over 20 changes
  (target: under 1 s);
- the CPU time, user and system, of a watch left idle for 60 s, its start
  and first discovery included (target: under 0.1 s);
- the I2C operations in the trace during the whole watch (target: none).

    bench/watch_bench.py [--changes N] [--idle-seconds S] [path/to/panoctl]

The scenario file is watched, so the simulation looks at it 10 times a
second all along: the idle figure includes that, which a Mac's registry
notifications do not cost. A rewrite is a new file renamed over the old, so
the watch never sees half a file. Exit status 1 when a target is missed.
"""

import argparse
import json
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from sim_trace import i2c_operations


def scenario(displays):
    children = [{"name": "DCPAVServiceProxy",
                 "properties": {"EDID UUID": f"UUID-{n}", "ProductName": f"Display {n}"},
                 "avservice": {"monitor": f"m{n}"}} for n in range(displays)]
    monitors = {f"m{n}": {"vcp": {"0x10": {"current": 50, "max": 100}}} for n in range(displays)}
    return json.dumps({"registry": {"name": "Root", "children": children}, "monitors": monitors})


def rewrite(path, text):
    new = f"{path}.new"
    with open(new, "w") as file:
        file.write(text)
    os.replace(new, path)


def start_watch(binary, env):
    """A watch, once it has printed `ready`."""
    watch = subprocess.Popen([binary, "watch"], env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True, bufsize=1)
    for line in watch.stdout:
        if json.loads(line)["event"] == "ready":
            return watch
    sys.exit("the watch ended before it was ready")


def cpu_seconds_when_ended(watch):
    """Ends the watch with SIGTERM and returns its user and system CPU time."""
    watch.send_signal(signal.SIGTERM)
    _, status, usage = os.wait4(watch.pid, 0)
    watch.returncode = os.waitstatus_to_exitcode(status)
    if watch.returncode != 0:
        sys.exit(f"the watch ended with status {watch.returncode}")
    return usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("binary", nargs="?", default="build/panoctl")
    parser.add_argument("--changes", type=int, default=20)
    parser.add_argument("--idle-seconds", type=float, default=60.0)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "machine.json")
        trace = os.path.join(folder, "bus.trace")
        rewrite(path, scenario(1))
        env = {key: value for key, value in os.environ.items() if not key.startswith("PANOCTL_SIM_")}
        env.update(PANOCTL_SIM_SCENARIO=path, PANOCTL_SIM_TRACE=trace)
        env.pop("DDC_DEBUG", None)

        # From a rewrite to its line: plugged in and unplugged in turn, each
        # change after the last one's line.
        watch = start_watch(args.binary, env)
        latencies = []
        for change in range(args.changes):
            rewrite(path, scenario(2 if change % 2 == 0 else 1))
            began = time.perf_counter()
            line = watch.stdout.readline()
            latencies.append(time.perf_counter() - began)
            expected = "added" if change % 2 == 0 else "removed"
            if json.loads(line)["event"] != expected:
                sys.exit(f"change {change}: expected {expected}, got {line!r}")
            # Settle, so that each change is a burst of its own.
            time.sleep(0.3)
        cpu_seconds_when_ended(watch)

        # Idle: started, then nothing happens.
        watch = start_watch(args.binary, env)
        time.sleep(args.idle_seconds)
        idle_cpu = cpu_seconds_when_ended(watch)
        operations = i2c_operations(trace)

    median = statistics.median(latencies)
    worst = max(latencies)
    print(f"rewrite to event line, {len(latencies)} changes: median {median * 1000:.0f} ms, "
          f"maximum {worst * 1000:.0f} ms (target: under 1000 ms)")
    print(f"CPU time of a watch idle for {args.idle_seconds:g} s: {idle_cpu * 1000:.1f} ms "
          f"(target: under 100 ms)")
    print(f"I2C operations in the trace during the watches: {operations} (target: none)")
    missed = worst >= 1.0 or idle_cpu >= 0.1 or operations != 0
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
