#!/usr/bin/env python3
"""Follows a brightness schedule on every external display through one
panoctl batch: one process, one discovery, then one line per command.

    batch_session.py [--panoctl PATH] LEVEL...

A program that drives monitors all day (a slider, a schedule, the built-in
display's brightness) keeps `panoctl batch` open, writes a command line,
waits for its one-line answer, and goes on. This one sets each display's
brightness (VCP code 0x10) to each LEVEL in turn and reads it back, printing
a line per step. Exit status: 0 when every step held, 1 otherwise.

Without a Mac, point it at a simulated build:

    PANOCTL_SIM_FAST=1 examples/batch_session.py --panoctl build/panoctl 20 80
"""
import argparse
import json
import subprocess
import sys


class Batch:
    """A panoctl batch: ask() sends one command line and returns its answer."""

    def __init__(self, binary):
        self.process = subprocess.Popen([binary, "batch"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)

    def ask(self, *words):
        self.process.stdin.write(" ".join(words) + "\n")
        self.process.stdin.flush()  # the answer comes only once the line is sent
        answer = self.process.stdout.readline()
        if not answer:
            raise RuntimeError(f"panoctl ended (status {self.process.wait()})")
        document = json.loads(answer)
        if isinstance(document, dict) and document.get("error") == "usage":
            raise ValueError(f"panoctl refused {' '.join(words)!r}: {document['message']}")
        return document

    def close(self):
        self.process.stdin.close()  # end of input ends the batch with status 0
        return self.process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--panoctl", default="panoctl", help="the panoctl binary")
    parser.add_argument("levels", nargs="+", type=int, metavar="LEVEL")
    options = parser.parse_args()

    batch = Batch(options.panoctl)
    all_held = True
    # list discovers again, so a display plugged in since the batch began is seen.
    for display in batch.ask("list"):
        for level in options.levels:
            written = batch.ask("set", display["id"], "brightness", str(level))
            reading = batch.ask("get", display["id"], "brightness")
            value = reading["value"]  # null, with "error": "read_failed", when the read failed
            held = written["ok"] and value == level
            all_held = all_held and held
            outcome = "held" if held else "cannot be read" if value is None else f"not held, reads {value}"
            print(f"{display['name']}: brightness {level}: {outcome}")
    status = batch.close()
    return 0 if all_held and status == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
