#!/usr/bin/env python3
"""Steps the brightness of every external display (or of one) with panoctl.

    brightness_step.py [--panoctl PATH] [--step N] [--id ID]

A caller's view of panoctl: run one command per process, read the one JSON
document it prints, and act on what the document says. Each display gets a
line: what its brightness (VCP code 0x10) was, what was asked, and what the
monitor reports afterwards. Exit status: 0 when every display was stepped,
1 when one could not be, 2 when panoctl itself refused to run.

Without a Mac, point it at a simulated build, with PANOCTL_SIM_STATE set so
that the monitors remember the new values between runs:

    PANOCTL_SIM_FAST=1 PANOCTL_SIM_STATE=/tmp/monitors.json \\
        examples/brightness_step.py --panoctl build/panoctl --step 10
"""
import argparse
import json
import subprocess
import sys

BRIGHTNESS = "0x10"


class Refused(Exception):
    """panoctl refused the command line (status 2, a message on stderr)."""


def panoctl(binary, *args):
    """Runs one panoctl command; returns (document, exit status)."""
    run = subprocess.run([binary, *args], capture_output=True, text=True, check=False)
    if run.returncode == 2 or not run.stdout:
        raise Refused(run.stderr.strip() or f"exit status {run.returncode}")
    return json.loads(run.stdout), run.returncode


def read_brightness(binary, display_id):
    """The current brightness, or None when the read failed."""
    document, _ = panoctl(binary, "get", display_id, BRIGHTNESS)
    return document["value"]  # null, with "error": "read_failed", when the read failed


def why_unreadable(binary, display_id):
    """get cannot tell a display that is gone from one that does not answer;
    probeaddr can, and shows whether anything answered at the DDC/CI address."""
    document, status = panoctl(binary, "probeaddr", display_id, BRIGHTNESS)
    if status == 1 and document.get("error") == "no_such_display":
        return "no such display (unplugged?)"
    ddc = document["0x37/0x51"]
    if not ddc["write"]:
        return "nothing answers on its DDC/CI channel"
    return "it answers but does not report a brightness"


def step(binary, display, amount):
    """Steps one display; returns True when the monitor took the new value."""
    label = f"{display['name']} ({display['id']})"
    before = read_brightness(binary, display["id"])
    if before is None:
        print(f"{label}: cannot read brightness: {why_unreadable(binary, display['id'])}")
        return False
    # Values are 16-bit; the monitor itself caps a value at its maximum.
    target = min(max(before + amount, 0), 65535)
    document, _ = panoctl(binary, "set", display["id"], BRIGHTNESS, str(target))
    if not document["ok"]:
        print(f"{label}: brightness {before}: the monitor did not accept {target}")
        return False
    after = read_brightness(binary, display["id"])
    if after is None:
        print(f"{label}: brightness {before} -> {target} sent, but it cannot be read back")
        return False
    note = "" if after == target else f" (asked for {target})"
    print(f"{label}: brightness {before} -> {after}{note}")
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--panoctl", default="panoctl", help="the panoctl binary")
    parser.add_argument("--step", type=int, default=10, help="how much to add (may be negative)")
    parser.add_argument("--id", help="only this display")
    options = parser.parse_args()
    try:
        displays, _ = panoctl(options.panoctl, "list")
        if options.id is not None:
            # An id that list does not show may still be worth a try: the
            # display may have come back since; get and probeaddr will tell.
            known = [d for d in displays if d["id"] == options.id]
            displays = known or [{"id": options.id, "name": "display"}]
        if not displays:
            print("no external display answers DDC/CI")
            return 0
        results = [step(options.panoctl, display, options.step) for display in displays]
    except Refused as refusal:
        print(f"panoctl refused: {refusal}", file=sys.stderr)
        return 2
    except OSError as error:
        print(f"cannot run panoctl: {error}", file=sys.stderr)
        return 2
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
