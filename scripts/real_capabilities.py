#!/usr/bin/env python3
"""Counts how many of the real monitors' capabilities strings a panoctl binary
reads whole (`capabilities`) and decodes to the expected vcp codes (`features`).

Usage: scripts/real_capabilities.py <panoctl binary> [tests/data/real_capabilities.json]

Each string is served by a simulated monitor (a scenario file of one display);
the binary must be a sim build.
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile

ID = "5A5A5A5A-0000-4000-8000-0000000CAB5E"


def scenario(caps):
    panel = {"name": "AppleCLCD2", "properties": {"EDID UUID": ID}}
    proxy = {"name": "DCPAVServiceProxy", "avservice": {"monitor": "m"}}
    monitor = {"vcp": {"0x10": {"current": 50, "max": 100}}, "capabilities": caps}
    return {"registry": {"name": "Root", "children": [panel, proxy]}, "monitors": {"m": monitor}}


def run(binary, scenario_path, word):
    env = dict(os.environ, PANOCTL_SIM_SCENARIO=scenario_path, PANOCTL_SIM_FAST="1")
    out = subprocess.run([binary, word, ID], env=env, capture_output=True, text=True).stdout
    return json.loads(out)


def main(binary, data=pathlib.Path(__file__).parent.parent / "tests/data/real_capabilities.json"):
    entries = json.loads(pathlib.Path(data).read_text())
    whole = decoded = 0
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "scenario.json")
        for entry in entries:
            caps = entry["caps"]
            pathlib.Path(path).write_text(json.dumps(scenario(caps)))
            whole += run(binary, path, "capabilities")["capabilities"] == caps.split("\0")[0]
            codes = [feature["code"] for feature in run(binary, path, "features").get("vcp", [])]
            ok = codes == [int(code, 16) for code in entry["vcp"]]
            decoded += ok
            if not ok:
                print(f"not as expected: {entry['maker']} {entry['model']}")
    print(f"{whole} of {len(entries)} read whole, {decoded} of {len(entries)} decoded as expected")


if __name__ == "__main__":
    main(*sys.argv[1:])
