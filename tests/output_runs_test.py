"""The real binary writing into standard outputs that fail: a pipe whose reader
has gone and a full device. Every run, one-shot or batch, ends with status 3
and the one-line message; none is killed by a signal.

Usage: output_runs_test.py <panoctl binary>
"""
import os
import subprocess
import sys

FAILURES = []

# (arguments, standard input): every kind of document, and a batch.
RUNS = [
    (["list"], ""),
    (["get", "1", "brightness"], ""),
    (["set", "2", "brightness", "40"], ""),
    (["set", "2", "brightness", "+5"], ""),
    (["capabilities", "1"], ""),
    (["features", "1"], ""),
    (["probeaddr", "1"], ""),
    (["probeaddr", "9"], ""),
    (["help"], ""),
    (["version"], ""),
    (["batch"], "get 1 16\nlist\n"),
    (["--fail", "get", "9", "16"], ""),
]

REASONS = {
    "closed pipe": "panoctl: cannot write standard output: Broken pipe\n",
    "full device": "panoctl: cannot write standard output: No space left on device\n",
}


def run_into(binary, args, text, target, env):
    """Runs the binary with standard output `target` ("closed pipe" or "full device")."""
    if target == "closed pipe":
        reader, writer = os.pipe()
        os.close(reader)  # no reader at all: the first write fails
        try:
            return subprocess.run([binary, *args], env=env, input=text, stdout=writer,
                                  stderr=subprocess.PIPE, text=True, timeout=30, check=False)
        finally:
            os.close(writer)
    with open("/dev/full", "w", encoding="utf-8") as full:
        return subprocess.run([binary, *args], env=env, input=text, stdout=full,
                              stderr=subprocess.PIPE, text=True, timeout=30, check=False)


def main(binary):
    env = dict(os.environ, PANOCTL_SIM_FAST="1")
    for name in ("PANOCTL_SIM_SCENARIO", "PANOCTL_SIM_TRACE", "PANOCTL_SIM_STATE", "DDC_DEBUG"):
        env.pop(name, None)
    targets = dict(REASONS)
    if not os.path.exists("/dev/full"):
        print("skipped the full device: this system has no /dev/full")
        del targets["full device"]
    for args, text in RUNS:
        for target, message in targets.items():
            run = run_into(binary, args, text, target, env)
            got = (run.returncode, run.stderr)
            # A display that is not there is named first, for the person.
            if "9" in args:
                message = "panoctl: no display 9 (panoctl list shows them)\n" + message
            if got != (3, message):
                FAILURES.append(f"{' '.join(args)} into a {target}: status {run.returncode} "
                                f"(negative: killed by that signal), stderr {run.stderr!r}")
    print("\n".join(FAILURES) or "every run reported its failed output with status 3")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
