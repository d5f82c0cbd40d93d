#!/usr/bin/env python3
"""What a batch saves: 1,000 `get`s as one `panoctl batch` and as 1,000
processes, whole-process, on the built-in simulated machine.

Prints the wall time of each, their ratio, the pause floor (the sum of the
`sleep` lines a traced run makes), what the batch costs beyond that floor,
and the budget it must keep: the floor, plus one one-shot `panoctl list`
(one process start and one discovery, measured as a median), plus 20 ms.
Then the batch's peak resident memory (`/usr/bin/time -v`'s maximum
resident set size, the largest of three runs) after 1,000 and after 100,000
lines, which must be the same (pauses not waited there). "The same" allows
two pages (8 KiB) of run-to-run jitter: a byte kept per line would show as
97 KiB.

    bench/batch_bench.py [--waited] [--lines N] [path/to/panoctl]

By default pauses are not waited (PANOCTL_SIM_FAST), so the times are
everything but the pauses; with --waited they are waited, as on a monitor
(about a minute for the default 1,000 lines). A waited batch is the pause
floor, plus the pauses' own lateness (a sleep wakes a little after its
deadline, more so on a busy machine), plus the batch's work; the work is
what an unwaited batch takes, so the lateness is what remains, and the
budget is checked against the work. Exit status 1 when a target is missed.
Needs Python 3 and /usr/bin/time (Debian's time).
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

from sim_trace import paused_microseconds

LEFT = "52721127-E5C3-A401-1720-0104B53C2278"
LINE = f"get {LEFT} 0x10"
CLEARED = ["PANOCTL_SIM_FAST", "PANOCTL_SIM_SCENARIO", "PANOCTL_SIM_TRACE",
           "PANOCTL_SIM_STATE", "DDC_DEBUG"]


def run(argv, env, stdin_path=None):
    """Wall time in seconds of one process, output discarded; fails on a bad status."""
    with open(stdin_path or os.devnull, "rb") as stdin:
        start = time.perf_counter()
        status = subprocess.run(argv, env=env, stdin=stdin, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, check=False).returncode
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{' '.join(argv)}: exit status {status}")
    return elapsed


def batch_input(directory, lines):
    path = os.path.join(directory, f"lines-{lines}")
    with open(path, "w") as text:
        text.write((LINE + "\n") * lines)
    return path


def pause_floor(binary, env, stdin_path, directory):
    """Seconds of pauses that a traced batch of these lines makes."""
    trace = os.path.join(directory, "trace")
    run([binary, "batch"], dict(env, PANOCTL_SIM_TRACE=trace, PANOCTL_SIM_FAST="1"), stdin_path)
    total = paused_microseconds(trace)
    os.remove(trace)
    return total / 1e6


def peak_memory_kib(binary, env, stdin_path, directory):
    report = os.path.join(directory, "time")
    with open(stdin_path, "rb") as stdin:
        subprocess.run(["/usr/bin/time", "-v", "-o", report, binary, "batch"], env=env,
                       stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    with open(report) as text:
        for line in text:
            if "Maximum resident set size" in line:
                return int(line.split(":")[1])
    sys.exit("no maximum resident set size in /usr/bin/time's report")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", nargs="?", default="build/panoctl")
    parser.add_argument("--waited", action="store_true", help="wait the pauses, as on a monitor")
    parser.add_argument("--lines", type=int, default=1000)
    parser.add_argument("--repeats", type=int, default=5, help="batches timed (median)")
    options = parser.parse_args()

    binary = os.path.abspath(options.binary)
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("/usr/bin/time is missing (apt-get install time)")
    env = {name: value for name, value in os.environ.items() if name not in CLEARED}
    if not options.waited:
        env["PANOCTL_SIM_FAST"] = "1"

    with tempfile.TemporaryDirectory() as directory:
        lines = batch_input(directory, options.lines)
        floor = pause_floor(binary, env, lines, directory) if options.waited else 0.0
        batch = statistics.median(run([binary, "batch"], env, lines) for _ in range(options.repeats))
        fast = dict(env, PANOCTL_SIM_FAST="1")
        work = statistics.median(run([binary, "batch"], fast, lines) for _ in range(5))
        processes = sum(run([binary] + LINE.split(), env) for _ in range(options.lines))
        one_shot_list = statistics.median(run([binary, "list"], env) for _ in range(21))
        # Memory does not depend on the pauses: not waited, even with --waited.
        memory_small = max(peak_memory_kib(binary, fast, batch_input(directory, 1000), directory)
                           for _ in range(3))
        memory_large = max(peak_memory_kib(binary, fast, batch_input(directory, 100000), directory)
                           for _ in range(3))

    budget = one_shot_list + 0.020
    pauses = "waited" if options.waited else "not waited (PANOCTL_SIM_FAST)"
    print(f"{options.lines} x `{LINE.replace(LEFT, '<left>')}` on the built-in machine, pauses {pauses}")
    print()
    print("| measure | value |")
    print("|---|---:|")
    print(f"| {options.lines} lines as one batch (median of {options.repeats}) | {batch * 1e3:.1f} ms |")
    print(f"| {options.lines} one-shot processes | {processes * 1e3:.1f} ms |")
    print(f"| ratio, processes / batch | {processes / batch:.1f} |")
    print(f"| pause floor | {floor * 1e3:.0f} ms |")
    print(f"| batch beyond its pause floor | {(batch - floor) * 1e3:.1f} ms |")
    if options.waited:
        pauses = round(floor / 0.010)
        print(f"| of which the batch's work (the batch unwaited, median of 5) | {work * 1e3:.1f} ms |")
        print(f"| and the pauses' lateness ({pauses} pauses of 10 ms) | {(batch - floor - work) * 1e3:.1f} ms |")
    print(f"| budget for the work: one `panoctl list` ({one_shot_list * 1e3:.1f} ms) + 20 ms | {budget * 1e3:.1f} ms |")
    print(f"| peak memory, 1,000 lines | {memory_small} KiB |")
    print(f"| peak memory, 100,000 lines | {memory_large} KiB |")

    missed = []
    if work > budget:
        missed.append("the batch's work beyond its pauses exceeds its budget")
    if memory_large > memory_small + 8:
        missed.append("peak memory grows with the number of lines")
    for target in missed:
        print(f"target missed: {target}")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
