"""Runs an example caller against the simulated build, as a caller would:
examples/brightness_step.py, one process per command, with monitors that
remember their values in a state file, or examples/batch_session.py, one
batch for all its commands.

Usage: example_test.py <example> <panoctl binary>
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile


def proxy(uuid, name, monitor):
    return {"name": "DCPAVServiceProxy", "properties": {"EDID UUID": uuid, "ProductName": name},
            "avservice": {"monitor": monitor}}


# One monitor that steps and one without a brightness control.
SCENARIO = {
    "registry": {"name": "Root", "children": [proxy("A-1", "Alpha", "a"), proxy("B-2", "Bravo", "b")]},
    "monitors": {
        "a": {"vcp": {"0x10": {"current": 60, "max": 100}}},
        "b": {"vcp": {"0x12": {"current": 1, "max": 2}}},
    },
}


def check_batch_session(example, binary):
    """One batch: every display's brightness set to each level and read back."""
    with tempfile.TemporaryDirectory() as folder:
        scenario = pathlib.Path(folder, "scenario.json")
        scenario.write_text(json.dumps(SCENARIO))
        env = dict(os.environ, PANOCTL_SIM_FAST="1", PANOCTL_SIM_SCENARIO=str(scenario))
        run = subprocess.run([sys.executable, example, "--panoctl", binary, "20", "80", "120"],
                             env=env, capture_output=True, text=True, timeout=60, check=False)
    # The monitor caps at its maximum; the other reports no brightness at all.
    expected = ["Alpha: brightness 20: held", "Alpha: brightness 80: held",
                "Alpha: brightness 120: not held, reads 100",
                "Bravo: brightness 20: cannot be read", "Bravo: brightness 80: cannot be read",
                "Bravo: brightness 120: cannot be read"]
    if (run.returncode, run.stdout.splitlines(), run.stderr) != (1, expected, ""):
        return [f"status {run.returncode}, printed:\n{run.stdout}{run.stderr}"]
    return []


def check_brightness_step(example, binary):
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        scenario = pathlib.Path(folder, "scenario.json")
        scenario.write_text(json.dumps(SCENARIO))
        state = pathlib.Path(folder, "monitors.json")
        env = dict(os.environ, PANOCTL_SIM_FAST="1", PANOCTL_SIM_SCENARIO=str(scenario),
                   PANOCTL_SIM_STATE=str(state))

        def expect(args, status, lines):
            run = subprocess.run([sys.executable, example, "--panoctl", binary, *args], env=env,
                                 capture_output=True, text=True, timeout=60, check=False)
            if (run.returncode, run.stdout.splitlines()) != (status, lines):
                failures.append(f"{args}: status {run.returncode}, printed:\n{run.stdout}{run.stderr}")

        expect(["--step", "30"], 1, [
            "Alpha (A-1): brightness 60 -> 90",
            "Bravo (B-2): cannot read brightness: it answers but does not report a brightness",
        ])
        # The next run starts from what the last one left, and the monitor caps at its maximum.
        expect(["--step", "30", "--id", "A-1"], 0, ["Alpha (A-1): brightness 90 -> 100 (asked for 120)"])
        expect(["--id", "Z-9"], 1, ["display (Z-9): cannot read brightness: no such display (unplugged?)"])
        if json.loads(state.read_text()) != {"a": {"0x10": 100}}:
            failures.append(f"state file holds {state.read_text()}")

        state.write_text('{"a": {"0x10": 101, "0x11": 0}}')
        expect([], 2, [])  # a state file that does not fit the scenario stops panoctl

    return failures


def main(example, binary):
    check = check_batch_session if pathlib.Path(example).name == "batch_session.py" else check_brightness_step
    failures = check(example, binary)
    print("\n".join(failures) or "the example behaved as a caller expects")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
