"""Timing and measuring whole panoctl processes, for the benchmarks."""
import os
import subprocess
import time


def spawn_and_wait(argv, env):
    """Wall time of one run in seconds, and its exit status."""
    quiet = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
             (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)]
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, env, file_actions=quiet)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    return elapsed, os.waitstatus_to_exitcode(status)


def peak_memory_kib(argv, env, runs, directory):
    """Largest maximum resident set size, in KiB, over `runs` runs, as
    /usr/bin/time reports it."""
    report = os.path.join(directory, "time")
    peak = 0
    for _ in range(runs):
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + argv, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        with open(report) as text:
            peak = max(peak, int(text.read().split()[-1]))
    return peak
