"""Runs examples/batch_session.py against the simulated build, as a caller
would: one monitor that takes every level and one that caps brightness at 50.

Usage: batch_example_test.py <example> <panoctl binary>
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


SCENARIO = {
    "registry": {"name": "Root", "children": [proxy("A-1", "Alpha", "a"), proxy("B-2", "Bravo", "b")]},
    "monitors": {
        "a": {"vcp": {"0x10": {"current": 60, "max": 100}}},
        "b": {"vcp": {"0x10": {"current": 10, "max": 50}}},
    },
}


def main(example, binary):
    with tempfile.TemporaryDirectory() as folder:
        scenario = pathlib.Path(folder, "scenario.json")
        scenario.write_text(json.dumps(SCENARIO))
        env = dict(os.environ, PANOCTL_SIM_FAST="1", PANOCTL_SIM_SCENARIO=str(scenario))
        run = subprocess.run([sys.executable, example, "--panoctl", binary, "20", "80"], env=env,
                             capture_output=True, text=True, timeout=60, check=False)
    expected = ["Alpha: brightness 20: held", "Alpha: brightness 80: held",
                "Bravo: brightness 20: held", "Bravo: brightness 80: not held, reads 50"]
    if (run.returncode, run.stdout.splitlines(), run.stderr) != (1, expected, ""):
        print(f"status {run.returncode}, printed:\n{run.stdout}{run.stderr}")
        return 1
    print("the batch example behaved as a caller expects")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
