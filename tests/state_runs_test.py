"""Monitor state shared by many runs of the real binary (PANOCTL_SIM_STATE).

Usage: state_runs_test.py <panoctl binary>

- Concurrent `set` runs on different codes lose no update, and the state file
  parses whenever anyone looks.
- Runs killed around their write-back leave the old state or the new one,
  the runs after them work, and the new files they left are removed once a
  minute old; so do runs killed at any point of their
  retries and read back on a flaky bus (`--retries 3 --verify`).
- A run that cannot write the state back, or finds a link planted at it,
  prints nothing on standard output: one line on standard error, status 2.
- Monitors unplugged and plugged back between runs and batch lines keep
  their values in the state file, and have them back when they return.
- A batch holds the state file only while a line runs: other runs and
  batches get in between its lines, every change it answered is in the file
  by the time the answer arrives (a SIGKILL then loses nothing), and a line
  whose change cannot be written gets no answer and ends the batch.
"""
import json
import os
import pathlib
import random
import resource
import signal
import subprocess
import sys
import tempfile
import threading
import time

LEFT, RIGHT = "52721127-E5C3-A401-1720-0104B53C2278", "458E2032-0000-0000-0A1F-0104B5462778"
FLAKY = "5A5A5A5A-0000-4000-8000-00000000F1A7"
# Codes of the built-in scenario's monitors: (display, monitor key, code as spelled there, max).
CODES = [(LEFT, "left", c, m) for c, m in [("0x10", 100), ("0x12", 100), ("0x14", 11), ("0x16", 100),
                                           ("0x18", 100), ("0x1A", 100), ("0x60", 18), ("0x62", 100)]]
CODES += [(RIGHT, "right", c, m) for c, m in [("0x10", 100), ("0x12", 100), ("0x14", 11), ("0x62", 100)]]


def one_monitor(bus=None):
    monitor = {"vcp": {"0x10": {"current": 50, "max": 100}}}
    if bus:
        monitor["bus"] = bus
    return {"registry": {"name": "Root", "children": [
                {"name": "AppleCLCD2", "properties": {"EDID UUID": FLAKY}},
                {"name": "DCPAVServiceProxy", "avservice": {"monitor": "flaky"}}]},
            "monitors": {"flaky": monitor}}


def killed_retrying_runs(binary, folder):
    """`--retries 3 --verify set` on a bus that fails a third of its
    transfers, killed after a random number of traced operations: the state
    file holds the old value or the new one, never anything else, and a run
    on a sound bus right after reads what the file holds (no lock is left)."""
    failures = []
    state = pathlib.Path(folder, "flaky-state.json")
    scenarios = {}
    for name, bus in (("flaky", {"failRate": 0.3, "corruptRate": 0.1}), ("sound", None)):
        scenarios[name] = pathlib.Path(folder, f"{name}.json")
        scenarios[name].write_text(json.dumps(one_monitor(bus)))
    env = dict(os.environ, PANOCTL_SIM_FAST="1", PANOCTL_SIM_STATE=str(state))
    trace = pathlib.Path(folder, "flaky-trace")
    os.mkfifo(trace)
    value, held = 50, 50
    outcomes = {"old": 0, "new": 0}
    for attempt in range(30):
        value = 1 + (value + 37) % 99
        process = subprocess.Popen(
            [binary, "--retries", "3", "--verify", "set", FLAKY, "0x10", str(value)],
            env=dict(env, PANOCTL_SIM_SCENARIO=str(scenarios["flaky"]), PANOCTL_SIM_TRACE=str(trace),
                     PANOCTL_SIM_SEED=str(attempt)),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        with open(trace, encoding="ascii") as lines:
            for _ in range(random.randint(1, 24)):
                if not lines.readline():
                    break
            process.send_signal(signal.SIGKILL)
            process.communicate(timeout=60)
        after = json.loads(state.read_text())["flaky"]["0x10"] if state.exists() else 50
        if after not in (held, value):
            failures.append(f"killed retrying run: 0x10 is {after}, neither {held} nor {value}")
        outcomes["new" if after == value else "old"] += 1
        held = after
        for stray in pathlib.Path(folder).glob("flaky-state.json.tmp-*"):
            stray.unlink()
        check = subprocess.run([binary, "get", FLAKY, "0x10"], capture_output=True, text=True,
                               env=dict(env, PANOCTL_SIM_SCENARIO=str(scenarios["sound"])), timeout=10)
        if check.stdout != json.dumps({"value": held}, separators=(",", ":")) + "\n":
            failures.append(f"after a killed retrying run a run reads {check.stdout!r}, the file holds {held}")
    print("killed retrying runs:", outcomes)
    return failures


class Batch:
    """A batch process sharing the state file, one line answered at a time."""

    def __init__(self, binary, env, **extra):
        self.process = subprocess.Popen([binary, "batch"], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                        **extra)

    def ask(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().rstrip("\n")


def batches_between_lines(binary, folder):
    failures = []
    state = pathlib.Path(folder, "batch-state.json")
    env = dict(os.environ, PANOCTL_SIM_FAST="1", PANOCTL_SIM_STATE=str(state))
    env.pop("PANOCTL_SIM_SCENARIO", None)

    def expect(what, got, expected):
        if got != expected:
            failures.append(f"batch: {what}: got {got!r}, expected {expected!r}")

    def one_shot(*args):
        # A batch that kept the lock between lines would make this time out.
        return subprocess.run([binary, *args], env=env, capture_output=True, text=True,
                              timeout=10, check=False).stdout.rstrip("\n")

    def kept():
        return json.loads(state.read_text()) if state.exists() else {}

    first, second = Batch(binary, env), Batch(binary, env)
    expect("set", first.ask(f"set {LEFT} 0x10 11"), '{"ok":true}')
    expect("written before the answer", kept().get("left"), {"0x10": 11})
    expect("a one-shot get meanwhile", one_shot("get", LEFT, "0x10"), '{"value":11}')
    expect("a one-shot set meanwhile", one_shot("set", LEFT, "0x12", "22"), '{"ok":true}')
    expect("the batch sees it", first.ask(f"get {LEFT} contrast"), '{"value":22}')
    expect("another batch meanwhile", second.ask(f"set {LEFT} 0x10 + 4"), '{"ok":true,"value":15}')
    expect("and the first sees that", first.ask(f"get {LEFT} 16"), '{"value":15}')
    expect("a step", first.ask(f"set {LEFT} 0x16 30%"), '{"ok":true,"value":30}')
    second.process.stdin.close()
    expect("the other ends", second.process.wait(timeout=10), 0)
    # Killed right after each answer: the answered change is in the file.
    for value in range(30, 40):
        expect(f"set {value}", first.ask(f"set {RIGHT} 0x12 {value}"), '{"ok":true}')
        if value == 39:
            first.process.kill()
            first.process.wait(timeout=10)
        expect(f"kept {value}", kept().get("right", {}).get("0x12"), value)
    expect("after the kill", kept(), {"left": {"0x10": 15, "0x12": 22, "0x16": 30},
                                      "right": {"0x12": 39}})
    expect("a run after the kill", one_shot("get", RIGHT, "contrast"), '{"value":39}')

    # A change that cannot be written back gets no answer and ends the batch.
    def limit_file_size():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (4, resource.RLIM_INFINITY))

    before = state.read_text()
    run = subprocess.run([binary, "batch"], env=env, preexec_fn=limit_file_size, capture_output=True,
                         text=True, timeout=30, check=False,
                         input=f"get {LEFT} 16\nset {LEFT} 16 1\nget {LEFT} 16\n")
    expect("unkept: answers", run.stdout, '{"value":15}\n')
    expect("unkept: status", run.returncode, 2)
    expect("unkept: one line", (run.stderr.startswith(f"panoctl: state file {state}: cannot write"),
                                run.stderr.count("\n")), (True, 1))
    expect("unkept: the file as it was", state.read_text(), before)
    return failures


def unplugged_between_runs(binary, folder):
    """Two monitors unplugged and plugged back in at random, 1,000 times,
    between the lines of one batch and between one-shot runs, all with one
    state file: every answer is right, a monitor's values wait in the file
    while it is away, and every value comes back with it."""
    failures = []
    ids = {"desk1": "11111111-0000-4000-8000-000000000001", "desk2": "22222222-0000-4000-8000-000000000002"}
    scenario = pathlib.Path(folder, "plugs.json")
    state = pathlib.Path(folder, "plugs-state.json")

    def plug(present):
        children, monitors = [], {}
        for key in present:
            children.append({"name": "dispext", "children": [
                {"name": "AppleCLCD2", "properties": {"EDID UUID": ids[key]}},
                {"name": "DCPAVServiceProxy", "avservice": {"monitor": key}}]})
            monitors[key] = {"vcp": {"0x10": {"current": 50, "max": 100}}}
        scratch = scenario.with_suffix(".new")
        scratch.write_text(json.dumps({"registry": {"name": "Root", "children": children}, "monitors": monitors}))
        os.replace(scratch, scenario)

    plug(["desk1", "desk2"])
    env = dict(os.environ, PANOCTL_SIM_FAST="1", PANOCTL_SIM_STATE=str(state), PANOCTL_SIM_SCENARIO=str(scenario))
    batch = subprocess.Popen([binary, "batch"], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, bufsize=1)
    values = {"desk1": 50, "desk2": 50}
    generator = random.Random(24)
    choices = [["desk1", "desk2"], ["desk1"], ["desk2"], []]

    def ask(line, one_shot):
        if one_shot:
            run = subprocess.run([binary, *line.split()], env=env, capture_output=True, text=True, timeout=30,
                                 check=False)
            if run.stderr:
                failures.append(f"{line}: {run.stderr.strip()}")
            return run.stdout.strip()
        try:
            batch.stdin.write(line + "\n")
            batch.stdin.flush()
        except (BrokenPipeError, ValueError):
            return "<the batch has ended>"
        return batch.stdout.readline().strip() or "<the batch has ended>"

    for turn in range(1000):
        if len(failures) > 5 or batch.poll() is not None:
            break
        present = choices[generator.randrange(4)]
        plug(present)
        one_shot = turn % 5 == 0
        how = "run" if one_shot else "line"
        listed = ask("list", one_shot)
        try:
            seen = sorted(display["id"] for display in json.loads(listed))
        except ValueError:
            failures.append(f"turn {turn}: list {how} answered {listed!r}")
            continue
        if seen != sorted(ids[key] for key in present):
            failures.append(f"turn {turn}: list {how} shows {seen}, plugged: {present}")
        for key in present:
            if generator.random() < 0.5:
                values[key] = generator.randrange(101)
                answer, expected = ask(f"set {ids[key]} 16 {values[key]}", one_shot), '{"ok":true}'
            else:
                answer, expected = ask(f"get {ids[key]} 16", one_shot), json.dumps({"value": values[key]},
                                                                                  separators=(",", ":"))
            if answer != expected:
                failures.append(f"turn {turn}: {key} by {how}: {answer!r}, expected {expected!r}")
    try:
        batch.stdin.close()
    except BrokenPipeError:
        pass
    batch.stdout.read()
    err = batch.stderr.read()
    batch.wait(timeout=60)
    if batch.returncode != 0 or err:
        failures.append(f"the batch ended with status {batch.returncode}: {err.strip()!r}")
    plug(["desk1", "desk2"])
    for key, value in values.items():
        run = subprocess.run([binary, "get", ids[key], "16"], env=env, capture_output=True, text=True, timeout=30,
                             check=False)
        if run.stdout.strip() != json.dumps({"value": value}, separators=(",", ":")):
            failures.append(f"back after the unplugs, {key} reads {run.stdout.strip()!r}, not {value}")
    print("unplugs:", "answers all right" if not failures else f"{len(failures)} failures")
    return failures


def killed_restores(binary, folder):
    """200 restores killed around their write-back leave the old state or
    the new one; the new files they leave are removed by the next run once
    they are a minute old, and nothing else is: not a new file being
    written now, nor a file of another name."""
    failures = []
    state = pathlib.Path(folder, "restore-state.json")
    env = dict(os.environ, PANOCTL_SIM_FAST="1", PANOCTL_SIM_STATE=str(state))
    env.pop("PANOCTL_SIM_SCENARIO", None)
    documents = []
    for value in (20, 80):
        subprocess.run([binary, "set", LEFT, "0x10", str(value)], env=env, check=True, capture_output=True)
        saved = pathlib.Path(folder, f"restore-{value}.json")
        saved.write_text(subprocess.run([binary, "save", LEFT], env=env, check=True, capture_output=True,
                                        text=True).stdout)
        documents.append(saved)
    full = pathlib.Path(folder, "restore-full-trace")
    subprocess.run([binary, "restore", LEFT, str(documents[0])], env=dict(env, PANOCTL_SIM_TRACE=str(full)),
                   check=True, capture_output=True)
    operations = len(full.read_text().splitlines())
    trace = pathlib.Path(folder, "restore-trace")
    os.mkfifo(trace)
    chooser = random.Random(8)
    for attempt in range(200):
        process = subprocess.Popen([binary, "restore", LEFT, str(documents[attempt % 2])],
                                   env=dict(env, PANOCTL_SIM_TRACE=str(trace)), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        with open(trace, encoding="ascii") as lines:
            for _ in range(operations):
                lines.readline()
            time.sleep(chooser.uniform(0, 0.004))
            process.send_signal(signal.SIGKILL)
            process.communicate(timeout=60)
        try:
            json.loads(state.read_text())
        except ValueError as error:
            failures.append(f"restore killed: the state file does not parse: {error}")
            break
    strays = list(pathlib.Path(folder).glob("restore-state.json.tmp-*"))
    print(f"killed restores: {len(strays)} new files left in 200")
    old = time.time() - 120
    for stray in strays:
        os.utime(stray, (old, old))
    fresh = pathlib.Path(folder, "restore-state.json.tmp-Fresh1")
    fresh.write_text("{}")
    other = pathlib.Path(folder, "restore-state.json.tmp-toolong1")
    other.write_text("{}")
    os.utime(other, (old, old))
    subprocess.run([binary, "get", LEFT, "0x10"], env=env, check=True, capture_output=True)
    after = sorted(path.name for path in pathlib.Path(folder).glob("restore-state.json.tmp-*"))
    if after != sorted([fresh.name, other.name]):
        failures.append(f"after the killed restores, {len(after)} new files left: {after[:3]} …")
    return failures


def main(binary, folder):
    failures = []
    state = pathlib.Path(folder, "state.json")
    env = dict(os.environ, PANOCTL_SIM_FAST="1", PANOCTL_SIM_STATE=str(state))
    env.pop("PANOCTL_SIM_SCENARIO", None)

    def run(*args, **extra):
        return subprocess.Popen([binary, *args], env=dict(env, **extra), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)

    def saved():
        return json.loads(state.read_text()) if state.exists() else {}

    # Every code set once per round, all at the same time; a reader keeps
    # parsing the file meanwhile.
    done = threading.Event()
    unparsable = []

    def watch():
        while not done.is_set():
            try:
                saved()
            except ValueError as error:
                unparsable.append(str(error))

    watcher = threading.Thread(target=watch, daemon=True)
    watcher.start()
    for round_ in range(5):
        values = {(key, code): (round_ * 7 + i) % (top + 1) for i, (_, key, code, top) in enumerate(CODES)}
        runs = [run("set", display, code, str(values[key, code])) for display, key, code, _ in CODES]
        for process in runs:
            out, err = process.communicate(timeout=60)
            if (process.returncode, out, err) != (0, '{"ok":true}\n', ""):
                failures.append(f"set: status {process.returncode}, {out!r}, {err!r}")
        try:
            kept = saved()
        except ValueError as error:
            failures.append(f"round {round_}: the state file does not parse: {error}")
            break
        lost = {k: v for k, v in values.items() if kept.get(k[0], {}).get(k[1]) != v}
        if lost:
            failures.append(f"round {round_}: updates lost: {lost}")
    done.set()
    watcher.join()
    if unparsable:
        failures.append(f"the state file did not parse {len(unparsable)} times: {unparsable[0]}")
    out, _ = run("get", RIGHT, "0x14").communicate(timeout=60)
    if json.loads(out) != {"value": saved()["right"]["0x14"]}:
        failures.append(f"a later run reads {out.strip()}, the file holds {saved()['right']['0x14']}")

    # A `set` traces its three writes, then writes the state back: a trace
    # that is a pipe shows when the write-back starts, and the run is killed
    # soon after, sooner or later each time.
    trace = pathlib.Path(folder, "trace")
    os.mkfifo(trace)
    outcomes = {"old": 0, "new": 0, "stray temporary": 0}
    for attempt in range(40):
        before = saved()["left"]["0x10"]
        value = 1 if before != 1 else 2
        process = run("set", LEFT, "0x10", str(value), PANOCTL_SIM_TRACE=str(trace))
        with open(trace, encoding="ascii") as lines:
            for _ in range(6):
                lines.readline()
            time.sleep(random.uniform(0, 0.004) if attempt % 4 else 0)
            process.send_signal(signal.SIGKILL)
            process.communicate(timeout=60)
        try:
            after = saved()["left"]["0x10"]
        except ValueError as error:
            failures.append(f"after a kill the state file does not parse: {error}")
            break
        if after not in (before, value):
            failures.append(f"after a kill 0x10 is {after}, neither {before} nor {value}")
        outcomes["old" if after == before else "new"] += 1
        strays = list(pathlib.Path(folder).glob("state.json.tmp-*"))
        outcomes["stray temporary"] += len(strays)
        for stray in strays:
            stray.unlink()
        probe = run("get", LEFT, "0x10")
        out, _ = probe.communicate(timeout=10)  # a lock left behind would hang here
        if json.loads(out) != {"value": after}:
            failures.append(f"after a kill a run reads {out.strip()}, the file holds {after}")
    print("killed runs:", outcomes)

    failures += killed_retrying_runs(binary, folder)
    failures += batches_between_lines(binary, folder)
    failures += unplugged_between_runs(binary, folder)
    failures += killed_restores(binary, folder)

    out, _ = run("set", LEFT, "0x10", "42").communicate(timeout=60)
    if saved()["left"]["0x10"] != 42 or list(pathlib.Path(folder).glob("state.json.tmp-*")):
        failures.append("a run after the kills did not write back cleanly")

    # A write-back that fails (here: a file size limit, as a full disk would)
    # and a link planted at the state path each end the run without a document.
    def limit_file_size():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (4, resource.RLIM_INFINITY))

    victim = pathlib.Path(folder, "victim")
    victim.write_text("untouched")
    before = state.read_text()
    for what, prepare, extra in [
        ("full", lambda: None, {"preexec_fn": limit_file_size}),
        ("link", lambda: (state.unlink(), state.symlink_to(victim)), {}),
    ]:
        prepare()
        process = subprocess.Popen([binary, "set", LEFT, "0x10", "43"], env=env, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True, **extra)
        out, err = process.communicate(timeout=60)
        if process.returncode != 2 or out != "" or not err.startswith("panoctl: state file ") or err.count("\n") != 1:
            failures.append(f"{what}: status {process.returncode}, {out!r}, {err!r}")
    if victim.read_text() != "untouched" or not state.is_symlink():
        failures.append("the link planted at the state path was followed")
    state.unlink()
    state.write_text(before)

    print("\n".join(failures) or "no update lost, every state seen was whole")
    return 1 if failures else 0


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as scratch:
        sys.exit(main(sys.argv[1], scratch))
