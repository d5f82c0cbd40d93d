"""Runs examples against the simulated build, as a user or a caller would:
examples/brightness_step.py, one process per command, with monitors that
remember their values in a state file; examples/batch_session.py, one batch
for all its commands; or every example that README.md and the manual page
show, as written.

Usage: example_test.py <example> <panoctl binary>
       example_test.py docs <README.md> <manual page> <panoctl binary> <python3 with jsonschema>

Examples in the documentation follow one convention, so that adding one is
writing it down:

- An example is a session: the lines that start with "$ " in one indented
  block of README.md, or in one literal display of the manual page (.Bd
  -literal or .Dl), as `mandoc -Tascii` renders it, which is what a reader
  types. The lines after a "$ " line, up to the next one or the end of the
  block, are what that command prints on standard output, line for line; "…"
  (in the manual page "...", as ASCII has no "…") stands for any text, and a
  line of nothing else for any number of lines. A command shown without output may print anything.
  A line that ends with a backslash continues on the next.
- Every command must succeed (status 0), unless its output is shown and its
  status is part of what the session shows (`|| echo ...`).
- Each session runs in one shell, in a new folder, on the built-in machine
  with pauses waited: `panoctl` and `build/panoctl` are the binary under test,
  schema/ and examples/ are the project's, and /tmp/ is the session's own
  folder. Values last from one command to the next only through a state file
  that the session itself exports (PANOCTL_SIM_STATE); a session that depends
  on an earlier command must say so, and show it.
- In README.md's prose, "`panoctl <words>` prints `<document>`" is a session
  of one command too.
- Any other README.md block line that runs panoctl must be set-up (a build,
  an install, the test or bench scripts): SETUP below. Anything else is an
  example this test cannot see, and fails it.
"""
import json
import os
import pathlib
import re
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


# Block lines that build, install or measure rather than use panoctl.
SETUP = re.compile(r"^(apt-get |brew |cmake |sudo cmake |scripts/|bench/|build-bench/)")
PROJECT = pathlib.Path(__file__).resolve().parent.parent


def readme_sessions(text):
    """Sessions of README.md's indented blocks, each a list of (command, expected lines or None),
    and the block lines that run panoctl outside any session and are no set-up."""
    sessions, unseen, block = [], [], []
    for line in text.splitlines() + [""]:
        if line.startswith("    "):
            block.append(line[4:])
            continue
        if block:
            session = parse_session(block)
            if session:
                sessions.append(session)
            else:
                unseen += [b for b in block if "panoctl " in b and not SETUP.match(b)]
            block = []
    prose = " ".join(text.split())
    for command, document in re.findall(r"`((?:build/)?panoctl [^`<>…]+)` prints `([^`]+)`", prose):
        sessions.append([(command, [document])])
    return sessions, unseen


def parse_session(lines):
    """(command, expected) pairs of a block whose lines start with "$ "; [] for another block."""
    if not lines or not lines[0].startswith("$ "):
        return []
    session = []
    for line in lines:
        if line.startswith("$ "):
            session.append([line[2:], None])
        elif session[-1][0].endswith("\\") and session[-1][1] is None:
            session[-1][0] = session[-1][0][:-1] + line.strip()
        else:
            session[-1][1] = (session[-1][1] or []) + [line]
    return [tuple(pair) for pair in session]


def manual_sessions(rendered):
    """Sessions of the rendered manual page: "$ " lines and the lines after
    them at the same indentation, a blank or other line ending a session."""
    text = re.sub(".\b", "", rendered)  # overstrike of bold and underline
    sessions, block, indent = [], [], None
    for line in text.splitlines() + [""]:
        stripped = line.lstrip(" ")
        depth = len(line) - len(stripped)
        if stripped.startswith("$ ") and (indent is None or depth == indent):
            block.append(stripped)
            indent = depth
        elif block and stripped and depth == indent:
            block.append(stripped)
        else:
            if block:
                sessions.append(parse_session(block))
            block, indent = ([stripped], depth) if stripped.startswith("$ ") else ([], None)
    return sessions


def matches(expected, got):
    if expected is None:
        return True
    lines = []
    for line in expected:
        parts = re.split("…|\\.\\.\\.", line)
        lines.append("[\\s\\S]*" if parts == ["", ""] else ".*".join(map(re.escape, parts)))
    return re.fullmatch("\n".join(lines), "\n".join(got)) is not None


def run_session(session, binary, python):
    """Runs the session's commands in one shell; returns its failures."""
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        (root / "bin").mkdir()
        (root / "build").mkdir()
        for link in (root / "bin" / "panoctl", root / "build" / "panoctl"):
            link.symlink_to(binary)
        (root / "bin" / "python3").symlink_to(python)
        for shared in ("schema", "examples"):
            (root / shared).symlink_to(PROJECT / shared)
        marker = "@@example-status"
        script = "".join(f"{command.replace('/tmp/', folder + '/')}\necho {marker} $?\n"
                         for command, _ in session)
        env = {name: value for name, value in os.environ.items()
               if not name.startswith(("PANOCTL_SIM_", "DDC_DEBUG"))}
        env["PATH"] = f"{root / 'bin'}:{env.get('PATH', '')}"
        run = subprocess.run(["bash", "-c", script], cwd=folder, env=env, capture_output=True,
                             text=True, timeout=120, check=False)
        outputs, current = [], []
        for line in run.stdout.splitlines():
            if line.startswith(marker):
                outputs.append((int(line.split()[1]), current))
                current = []
            else:
                current.append(line.replace(folder + "/", "/tmp/"))
    failures = []
    for (command, expected), (status, got) in zip(session, outputs + [(None, [])] * len(session)):
        if status != 0 or not matches(expected, got):
            failures.append(f"$ {command}\n  status {status}, printed {got}\n  shown {expected}\n"
                            f"  {run.stderr.strip()}")
    return failures


def check_documentation(readme, manual, binary, python):
    sessions, unseen = readme_sessions(pathlib.Path(readme).read_text(encoding="utf-8"))
    failures = [f"README.md runs panoctl in a block that is no example and no set-up: {line}"
                for line in unseen]
    rendered = subprocess.run(["mandoc", "-Tascii", manual], capture_output=True, text=True,
                              check=True).stdout
    manual_found = manual_sessions(rendered)
    if not manual_found or not sessions:
        failures.append("no examples found: the convention above changed?")
    for session in sessions + manual_found:
        failures += run_session(session, binary, python)
    count = sum(len(session) for session in sessions + manual_found)
    print(f"{len(sessions) + len(manual_found)} sessions, {count} commands")
    return failures


def main(example, *args):
    if example == "docs":
        failures = check_documentation(*args)
    elif pathlib.Path(example).name == "batch_session.py":
        failures = check_batch_session(example, *args)
    else:
        failures = check_brightness_step(example, *args)
    print("\n".join(failures) or "the examples behaved as the text shows")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
