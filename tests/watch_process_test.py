"""The real binary's watch, driven as a caller drives it: displays plugged in
and unplugged by rewriting the scenario file under a running `panoctl watch`,
a burst of 1,000 rewrites, a rewrite that cannot be read, a scenario replaced
by a FIFO or a folder, SIGINT and SIGTERM (also right at the start),
standard output closed or full, --count, refusals, and never an I2C
operation.

Usage: watch_process_test.py <panoctl binary>
"""
import json
import os
import pathlib
import queue
import random
import signal
import subprocess
import sys
import tempfile
import threading
import time

FAILURES = []


def check(what, got, expected):
    if got != expected:
        FAILURES.append(f"{what}:\n  got      {got!r}\n  expected {expected!r}")


def proxy(key, uuid=None):
    return {"name": "DCPAVServiceProxy",
            "properties": {"EDID UUID": uuid or f"UUID-{key}", "ProductName": f"Name-{key}"},
            "avservice": {"monitor": key}}


def scenario(*keys, uuids=None):
    uuids = uuids or {}
    return json.dumps({
        "registry": {"name": "Root", "children": [proxy(key, uuids.get(key)) for key in keys]},
        "monitors": {key: {"vcp": {"0x10": {"current": 50, "max": 100}}} for key in keys},
    })


def log_documents(lines):
    """Watch lines go to the documents log that the schema check reads."""
    path = os.environ.get("PANOCTL_TEST_DOCUMENTS")
    if path:
        with open(path, "a", encoding="utf-8") as log:
            log.writelines(f"watch\t0\t{line}\n" for line in lines)


class Machine:
    """A scenario file rewritten whole, by renaming a new file over it, as a
    registry changes at once."""

    def __init__(self, folder, name="machine.json"):
        self.path = pathlib.Path(folder, name)
        self.writes = 0

    def write(self, text):
        self.writes += 1
        new = self.path.with_name(f"{self.path.name}.{self.writes}")
        new.write_text(text)
        os.replace(new, self.path)


def reader(stream, lines):
    for line in stream:
        lines.put(line)
    lines.put(None)


class Watch:
    """A running `panoctl [options] watch`, its lines read as they come."""

    def __init__(self, binary, env, options=(), stdout=subprocess.PIPE):
        self.process = subprocess.Popen([binary, *options, "watch"], env=env, stdout=stdout,
                                        stderr=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        self.errors = queue.Queue()
        if stdout == subprocess.PIPE:
            threading.Thread(target=reader, args=(self.process.stdout, self.lines), daemon=True).start()
        threading.Thread(target=reader, args=(self.process.stderr, self.errors), daemon=True).start()
        self.seen = []

    def line(self, timeout=5):
        try:
            line = self.lines.get(timeout=timeout)
        except queue.Empty:
            return "<no line>"
        if line is None:
            return "<end>"
        check("each line whole", line.endswith("\n"), True)
        line = line.rstrip("\n")
        self.seen.append(line)
        return line

    def lines_until_quiet(self, quiet=1.5):
        got = []
        while (line := self.line(timeout=quiet)) not in ("<no line>", "<end>"):
            got.append(line)
        return got

    def error_lines(self):
        got = []
        while True:
            try:
                line = self.errors.get(timeout=0.2)
            except queue.Empty:
                return got
            if line is None:
                return got
            got.append(line)

    def end(self, sig=None, timeout=10):
        if sig is not None:
            self.process.send_signal(sig)
        status = self.process.wait(timeout=timeout)
        rest = []
        while (line := self.line(timeout=2)) != "<end>" and line != "<no line>":
            rest.append(line)
        log_documents(self.seen)
        return status, rest


def added(position, key, uuid=None):
    return json.dumps({"event": "added", "display": position, "id": uuid or f"UUID-{key}",
                       "name": f"Name-{key}", "serial": "", "isBuiltin": False,
                       "supportsDdc": True}, separators=(",", ":"))


def removed(key, uuid=None):
    return json.dumps({"event": "removed", "id": uuid or f"UUID-{key}", "name": f"Name-{key}",
                       "serial": ""}, separators=(",", ":"))


READY = '{"event":"ready"}'


def plugged_and_unplugged(binary, folder, env):
    machine = Machine(folder)
    machine.write(scenario("a", "b"))
    watch = Watch(binary, dict(env, PANOCTL_SIM_SCENARIO=str(machine.path)))
    check("start", [watch.line(), watch.line(), watch.line()], [added(1, "a"), added(2, "b"), READY])
    steps = [
        (("a", "c", "b"), [added(2, "c")]),
        (("c", "b"), [removed("a")]),
        # Back again, at the front: a new arrival, not a move.
        (("a", "c", "b"), [added(1, "a")]),
        (("a", "b"), [removed("c")]),
        (("a", "b", "c"), [added(3, "c")]),
        # Both gone and a new one in one rewrite.
        (("d",), [removed("a"), removed("b"), removed("c"), added(1, "d")]),
        ((), [removed("d")]),
    ]
    for keys, events in steps:
        machine.write(scenario(*keys))
        check(f"events for {keys}", [watch.line() for _ in events], events)
    # Rewritten with nothing changed, and touched: no line.
    machine.write(scenario())
    os.utime(machine.path)
    check("no change, no line", watch.line(timeout=1), "<no line>")
    status, rest = watch.end(signal.SIGINT)
    check("SIGINT status", status, 0)
    check("SIGINT: nothing more", rest, [])
    check("SIGINT: nothing on standard error", watch.error_lines(), [])


def signalled_again_while_ending(binary, env):
    # Signals one after another until the watch has gone (timeout(1) signals
    # the process and then its group; a person presses Ctrl-C twice): one
    # arriving while the watch ends must not kill it, so the status is 0.
    for attempt in range(10):
        watch = Watch(binary, env)
        watch.lines_until_quiet(quiet=0.5)
        deadline = time.monotonic() + 2
        while watch.process.poll() is None and time.monotonic() < deadline:
            try:
                os.kill(watch.process.pid, signal.SIGINT)
            except ProcessLookupError:
                break
        status, _ = watch.end()
        check(f"SIGINT again and again, attempt {attempt}", status, 0)


def same_ids(binary, folder, env):
    machine = Machine(folder, "same.json")
    uuids = {"p": "SAME", "q": "SAME", "r": "OTHER"}
    machine.write(scenario("p", "q", uuids=uuids))
    watch = Watch(binary, dict(env, PANOCTL_SIM_SCENARIO=str(machine.path)))
    check("same ids at start", [watch.line(), watch.line(), watch.line()],
          [added(1, "p", "SAME"), added(2, "q", "SAME"), READY])
    # Told apart by their order among the displays with that id: with one
    # left, it is the first, so the second is the one removed, whichever
    # was unplugged.
    machine.write(scenario("q", uuids=uuids))
    check("second of two same ids removed", watch.line(), removed("q", "SAME"))
    machine.write(scenario("r", "p", "q", uuids=uuids))
    check("same ids: the first stays first", [watch.line(), watch.line()],
          [added(1, "r", "OTHER"), added(3, "q", "SAME")])
    status, _ = watch.end(signal.SIGTERM)
    check("SIGTERM status", status, 0)


def unreadable_rewrite(binary, folder, env):
    machine = Machine(folder, "broken.json")
    machine.write(scenario("a"))
    watch = Watch(binary, dict(env, PANOCTL_SIM_SCENARIO=str(machine.path)))
    check("before the break", [watch.line(), watch.line()], [added(1, "a"), READY])
    machine.write('{"registry": ')
    check("broken: no event", watch.line(timeout=1), "<no line>")
    errors = watch.error_lines()
    check("broken: one scenario line", len(errors), 1)
    check("broken: names the file", errors[0].startswith(f"panoctl: scenario {machine.path}: ")
          if errors else None, True)
    # The next good version is compared with the last good table.
    machine.write(scenario("a", "b"))
    check("after the break", watch.line(), added(2, "b"))
    machine.path.unlink()
    check("removed file: no event", watch.line(timeout=1), "<no line>")
    check("removed file: one line", [line.split(": ", 2)[2] for line in watch.error_lines()],
          ["cannot open (no such file or directory)\n"])
    machine.write(scenario("b"))
    check("file back", watch.line(), removed("a"))
    status, _ = watch.end(signal.SIGINT)
    check("after the break: status", status, 0)


def odd_lines(watch):
    """What the watch reported, but for the missing file that a check may
    find between the unlink and the new FIFO or folder (itself one line)."""
    return [line.split(": ", 2)[2] for line in watch.error_lines()
            if not line.endswith(": cannot open (no such file or directory)\n")]


def not_a_file(binary, folder, env):
    """A scenario replaced by a FIFO, or by a folder, is reported once and
    wedges nothing: a good file after it is read, and a signal while it is
    there ends the watch."""
    machine = Machine(folder, "odd.json")
    machine.write(scenario("a"))
    watch = Watch(binary, dict(env, PANOCTL_SIM_SCENARIO=str(machine.path)))
    check("odd: start", [watch.line(), watch.line()], [added(1, "a"), READY])
    machine.path.unlink()
    os.mkfifo(machine.path)
    check("FIFO: no event", watch.line(timeout=1.5), "<no line>")
    check("FIFO: one line", odd_lines(watch), ["not a regular file\n"])
    machine.write(scenario("a", "b"))
    check("FIFO replaced by a good file", watch.line(), added(2, "b"))
    machine.path.unlink()
    machine.path.mkdir()
    # Checked ten times a second for four seconds, while its time stamp is
    # too recent to trust and after: one line all the same.
    check("folder: no event", watch.line(timeout=4), "<no line>")
    check("folder: one line", odd_lines(watch), ["not a regular file\n"])
    machine.path.rmdir()
    machine.write(scenario("b"))
    check("folder replaced by a good file", watch.line(), removed("a"))
    machine.path.unlink()
    os.mkfifo(machine.path)
    time.sleep(0.5)
    try:
        status, _ = watch.end(signal.SIGINT, timeout=5)
    except subprocess.TimeoutExpired:
        watch.process.kill()
        status, _ = watch.end()
    check("SIGINT while the scenario is a FIFO", status, 0)
    machine.path.unlink()


def block_stop_signals():
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT, signal.SIGTERM})


def signalled_at_start(binary, env):
    """A stop signal at any moment of the start, before the first line
    included, ends the watch with status 0. No program can catch a signal
    that arrives before it runs at all (a loaded machine may not schedule it
    for milliseconds after exec), so the watch is started with the stop
    signals blocked, as a supervisor may start it: it must catch them before
    anything else, unblock them, and take the one that came meanwhile."""
    chooser = random.Random(6)
    statuses = {}
    for attempt in range(200):
        process = subprocess.Popen([binary, "watch"], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, preexec_fn=block_stop_signals)
        time.sleep(chooser.uniform(0, 0.030))
        process.send_signal(signal.SIGINT if attempt % 2 else signal.SIGTERM)
        try:
            status = process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            status = "hung"
        statuses[status] = statuses.get(status, 0) + 1
        if statuses.get("hung", 0) >= 3:
            break
    check("signalled 0 to 30 ms after start, 200 times", statuses, {0: 200})


def burst(binary, folder, env):
    """1,000 rewrites within about a second: the events, applied in order to a
    copy of the table, give the last table, and every line is whole JSON."""
    machine = Machine(folder, "burst.json")
    keys = list("abcdefgh")
    machine.write(scenario(*keys[:3]))
    watch = Watch(binary, dict(env, PANOCTL_SIM_SCENARIO=str(machine.path)))
    table = []
    chooser = random.Random(18)
    start = [watch.line() for _ in range(4)]
    check("burst: start", start[-1], READY)
    for line in start[:-1]:
        table.append(json.loads(line)["id"])
    began = time.monotonic()
    for number in range(1000):
        chosen = chooser.sample(keys, chooser.randint(0, len(keys)))
        machine.write(scenario(*chosen))
        # Spread over a second; a busy machine writes them as fast as it can.
        time.sleep(max(0.0, began + number / 1000 - time.monotonic()))
    lines = watch.lines_until_quiet()
    for line in lines:
        event = json.loads(line)
        if event["event"] == "removed":
            table.remove(event["id"])
        else:
            table.insert(event["display"] - 1, event["id"])
    check("burst ends in the last table", table, [f"UUID-{key}" for key in chosen])
    listed = subprocess.run([binary, "list"], env=dict(env, PANOCTL_SIM_SCENARIO=str(machine.path)),
                            capture_output=True, text=True, check=False)
    check("burst ends in list's table", table, [item["id"] for item in json.loads(listed.stdout)])
    status, _ = watch.end(signal.SIGTERM)
    check("burst: status", status, 0)
    check("burst: nothing on standard error", watch.error_lines(), [])


def escaped_as_list(binary, folder, env):
    """A display's members are list's, byte for byte."""
    machine = Machine(folder, "odd.json")
    odd = json.loads(scenario("a"))
    odd["registry"]["children"][0]["properties"] = {
        "EDID UUID": 'quote"back\\slash', "ProductName": "tab\tbell\u0007caf\u00e9"}
    machine.write(json.dumps(odd))
    run_env = dict(env, PANOCTL_SIM_SCENARIO=str(machine.path))
    listed = subprocess.run([binary, "list"], env=run_env, capture_output=True, text=True,
                            check=False).stdout
    watch = Watch(binary, run_env)
    first = watch.line()
    check("members as list's", first, '{"event":"added","display":1,' + listed[2:-3] + "}")
    watch.end(signal.SIGINT)


def counted(binary, folder, env):
    machine = Machine(folder, "count.json")
    machine.write(scenario("a"))
    watch = Watch(binary, dict(env, PANOCTL_SIM_SCENARIO=str(machine.path)), ["--count", "2"])
    check("count: start not counted", [watch.line(), watch.line()], [added(1, "a"), READY])
    machine.write(scenario("a", "b", "c", "d"))
    status, rest = watch.end(timeout=10)
    check("count: status", status, 0)
    check("count: ends after two changes", rest, [added(2, "b"), added(3, "c")])

    machine.write(scenario("a"))
    watch = Watch(binary, dict(env, PANOCTL_SIM_SCENARIO=str(machine.path)), ["--count", "1"])
    check("count 1: start", [watch.line(), watch.line()], [added(1, "a"), READY])
    machine.write(scenario())
    status, rest = watch.end(timeout=10)
    check("count 1", (status, rest), (0, [removed("a")]))


def output_that_fails(binary, folder, env):
    if not os.path.exists("/dev/full"):
        print("skipped the full device: this system has no /dev/full")
    else:
        with open("/dev/full", "w", encoding="utf-8") as full:
            watch = Watch(binary, env, stdout=full)
            status = watch.process.wait(timeout=10)
        check("full: status", status, 3)
        check("full: said once", watch.error_lines(),
              ["panoctl: cannot write standard output: No space left on device\n"])

    # The reader goes away while the watch waits: the next line fails.
    machine = Machine(folder, "closed.json")
    machine.write(scenario("a"))
    process = subprocess.Popen([binary, "watch"], env=dict(env, PANOCTL_SIM_SCENARIO=str(machine.path)),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    check("closed: ready", [process.stdout.readline(), process.stdout.readline()][1], READY + "\n")
    process.stdout.close()
    machine.write(scenario("a", "b"))
    status = process.wait(timeout=10)
    check("closed: status", status, 3)
    check("closed: said once", process.stderr.read(),
          "panoctl: cannot write standard output: Broken pipe\n")
    process.stderr.close()


def state_file_shared(binary, folder, env):
    """A watch never holds the monitor state file that other runs share."""
    machine = Machine(folder, "state-machine.json")
    machine.write(scenario("a"))
    state = pathlib.Path(folder, "monitors.json")
    run_env = dict(env, PANOCTL_SIM_SCENARIO=str(machine.path), PANOCTL_SIM_STATE=str(state))
    watch = Watch(binary, run_env)
    check("state: ready", [watch.line(), watch.line()], [added(1, "a"), READY])
    try:
        # Its own trace: the set's writes are not the watch's.
        set_env = dict(run_env, PANOCTL_SIM_TRACE=str(pathlib.Path(folder, "set.trace")))
        run = subprocess.run([binary, "set", "1", "16", "70"], env=set_env, capture_output=True,
                             text=True, timeout=10, check=False)
        check("state: a set beside the watch", run.stdout, '{"ok":true}\n')
    except subprocess.TimeoutExpired:
        check("state: a set beside the watch", "waited for the watch", '{"ok":true}\n')
    status, _ = watch.end(signal.SIGTERM)
    check("state: status", status, 0)
    check("state: the set was kept", json.loads(state.read_text()) if state.exists() else None,
          {"a": {"0x10": 70}})


def refused(binary, env):
    cases = [
        (["watch", "now"], "panoctl: unexpected word: now\n"),
        (["--count", "0", "watch"], "panoctl: out of range: --count 0 (1 to 1000000)\n"),
        (["--count", "1000001", "watch"],
         "panoctl: out of range: --count 1000001 (1 to 1000000)\n"),
        (["--count", "many", "watch"], "panoctl: invalid number: many\n"),
    ]
    for args, err in cases:
        run = subprocess.run([binary, *args], env=env, capture_output=True, text=True, timeout=10,
                             check=False)
        check(f"refused {args}", (run.returncode, run.stdout, run.stderr), (2, "", err))


def main(binary):
    env = dict(os.environ, PANOCTL_SIM_FAST="1")
    for name in ("PANOCTL_SIM_SCENARIO", "PANOCTL_SIM_STATE", "DDC_DEBUG"):
        env.pop(name, None)
    with tempfile.TemporaryDirectory() as folder:
        trace = pathlib.Path(folder, "bus.trace")
        env["PANOCTL_SIM_TRACE"] = str(trace)
        plugged_and_unplugged(binary, folder, env)
        same_ids(binary, folder, env)
        signalled_again_while_ending(binary, env)
        unreadable_rewrite(binary, folder, env)
        not_a_file(binary, folder, env)
        signalled_at_start(binary, env)
        burst(binary, folder, env)
        escaped_as_list(binary, folder, env)
        counted(binary, folder, env)
        output_that_fails(binary, folder, env)
        state_file_shared(binary, folder, env)
        refused(binary, env)
        # Every watch and refusal above, and the lists: not one I2C operation.
        check("trace", trace.read_text() if trace.exists() else "", "")
    print("\n".join(FAILURES) or "watch runs behaved as callers expect")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
