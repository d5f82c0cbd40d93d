"""The real binary's `watch --values`, driven as a menu-bar slider drives it:
initial lines, changes made by `set` and `batch` in other processes (from
the journal, without a read), presses of the monitors' own buttons on
monitors whose 0x02 is faithful, stuck or silent and on one that lists no
0x02, a monitor put to sleep (never woken), journals that are no journal,
`set` killed at any moment (never an entry for a value not kept), and
refusals of bad --values and --every, and a configuration's aliases and
features of one's own on its lines.

Usage: watch_values_test.py <panoctl binary>
"""
import json
import os
import pathlib
import random
import signal
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import watch_process_test as wp  # noqa: E402  (the Watch reader and check)

check = wp.check

KINDS = {"faithful": "faithful", "stuck": "stuck", "never": "never", "plain": None}


def machine(kinds):
    children, monitors = [], {}
    for i, key in enumerate(kinds):
        children.append({"name": "DCPAVServiceProxy",
                         "properties": {"EDID UUID": uid(key), "ProductName": f"Name-{key}"},
                         "avservice": {"monitor": key}})
        listed = "02 52 " if KINDS[key] else ""
        monitor = {"vcp": {"0x10": {"current": 30, "max": 100}, "0x12": {"current": 50, "max": 100},
                           "0xD6": {"current": 1, "max": 5}},
                   "capabilities": f"(prot(monitor)vcp({listed}10 12 D6(01 04)))"}
        if KINDS[key]:
            monitor["newControlValue"] = KINDS[key]
        monitors[key] = monitor
    return json.dumps({"registry": {"name": "Root", "children": children}, "monitors": monitors})


def uid(key):
    """Upper case, so the journal's file name is the id as it is."""
    return f"UUID-{key.upper()}"


def changed(position, key, code, value, source, maximum=100):
    names = {0x10: "brightness", 0x12: "contrast"}
    return json.dumps({"event": "changed", "display": position, "id": uid(key), "code": code,
                       "name": names[code], "value": value, "max": maximum, "source": source},
                      separators=(",", ":"))


class Setup:
    def __init__(self, binary, folder, kinds, name):
        self.binary = binary
        self.folder = pathlib.Path(folder, name)
        self.folder.mkdir()
        scenario = self.folder / "machine.json"
        scenario.write_text(machine(kinds))
        self.panel = self.folder / "panel"
        self.panel.write_text("")
        self.trace = self.folder / "bus.trace"
        self.state = self.folder / "state.json"
        self.locks = self.folder / "locks"
        self.env = dict(os.environ, PANOCTL_SIM_SCENARIO=str(scenario),
                        PANOCTL_SIM_PANEL=str(self.panel), PANOCTL_SIM_TRACE=str(self.trace),
                        PANOCTL_SIM_STATE=str(self.state), PANOCTL_SIM_LOCKS=str(self.locks),
                        XDG_CACHE_HOME="/dev/null", DDC_DEBUG="1")
        self.env.pop("PANOCTL_SIM_FAST", None)

    def press(self, key, code, value):
        with open(self.panel, "a") as panel:
            panel.write(f"{key} {code} {value}\n")

    def run(self, *args, stdin=None, **extra):
        # Their own trace: the watch's tells what the watch did.
        extra.setdefault("PANOCTL_SIM_TRACE", str(self.folder / "runs.trace"))
        return subprocess.run([self.binary, *args], env=dict(self.env, **extra), input=stdin,
                              capture_output=True, text=True, timeout=30)

    def watch(self, *options):
        return wp.Watch(self.binary, self.env, options)

    def trace_lines(self):
        return self.trace.read_text().splitlines() if self.trace.exists() else []


def line_within(watch, seconds):
    return watch.line(timeout=seconds)


def start(watch, kinds, codes=(0x10,)):
    expected = [wp.added(i + 1, key, uid(key)) for i, key in enumerate(kinds)]
    for i, key in enumerate(kinds):
        expected += [changed(i + 1, key, code, {0x10: 30, 0x12: 50}[code], "initial")
                     for code in codes]
    got = [watch.line(timeout=10) for _ in range(len(expected) + 1)]
    check("start: added, initial values, ready", got, expected + [wp.READY])


def changes_made_by_panoctl(binary, folder):
    kinds = ["plain", "faithful"]
    setup = Setup(binary, folder, kinds, "panoctl")
    # A tick so long that the watch makes none: what comes, comes from the journal.
    watch = setup.watch("--values", "brightness,contrast", "--every", "3600")
    start(watch, kinds, (0x10, 0x12))
    before = len(setup.trace_lines())
    run = setup.run("set", "2", "brightness", "44")
    check("set", run.stdout, '{"ok":true}\n')
    check("set in another process", line_within(watch, 2), changed(2, "faithful", 0x10, 44, "panoctl"))
    run = setup.run("batch", stdin="set all contrast +5\nset 1 brightness 10%\n")
    check("batch lines", line_within(watch, 2), changed(1, "plain", 0x12, 55, "panoctl"))
    check("batch lines", line_within(watch, 2), changed(2, "faithful", 0x12, 55, "panoctl"))
    check("batch lines", line_within(watch, 2), changed(1, "plain", 0x10, 10, "panoctl"))
    # The same value again is no change; a restore of other values is.
    setup.run("set", "2", "brightness", "44")
    check("same value: no line", watch.line(timeout=1), "<no line>")
    saved = setup.folder / "saved.json"
    saved.write_text(json.dumps({"id": uid("plain"), "features": {"0x10": 20, "0x12": 55}}))
    setup.run("restore", "1", str(saved))
    check("restore", line_within(watch, 2), changed(1, "plain", 0x10, 20, "panoctl"))
    # Not one transfer of the watch's since it was ready.
    check("the journal's changes cost the watch no transfer", setup.trace_lines()[before:], [])
    status, rest = watch.end(signal.SIGTERM)
    check("SIGTERM ends it", (status, rest), (0, []))


def changes_made_on_the_monitor(binary, folder):
    kinds = ["faithful", "stuck", "never", "plain"]
    setup = Setup(binary, folder, kinds, "monitor")
    watch = setup.watch("--values", "brightness", "--every", "0.5")
    start(watch, kinds)
    for i, key in enumerate(kinds):
        setup.press(key, "0x10", 60 + i)
    got = sorted(line for line in watch.lines_until_quiet(quiet=6))
    expected = sorted(changed(i + 1, key, 0x10, 60 + i, "monitor") for i, key in enumerate(kinds))
    check("each press found, whatever the monitor's 0x02", got, expected)
    trace = "\n".join(setup.trace_lines())
    check("0x02 reset as MCCS says", "write 0x37 0x51 84 03 02 00 01" in trace, True)
    # A faithful monitor's press, once more: found within a tick or two.
    setup.press("faithful", "0x10", 70)
    check("faithful press", line_within(watch, 2), changed(1, "faithful", 0x10, 70, "monitor"))
    status, _ = watch.end(signal.SIGINT)
    check("SIGINT ends it", status, 0)
    errors = "".join(watch.error_lines())
    check("stuck falls back", "display 2 UUID-STUCK: 0x02 reports new values and 0x52 names none"
          in errors, True)
    check("silent falls back",
          "display 3 UUID-NEVER: 0x02 did not report a change that polling found" in errors, True)
    check("faithful does not", "display 1 UUID-FAITHFUL" in errors, False)
    check("nothing woken", "wake" in trace, False)
    # Every write of the watch is 0x02's reset.
    writes = {line.split(" -> ")[0] for line in setup.trace_lines() if line.startswith("write")
              and " 84 03 " in line}
    check("no write but 0x02's reset", {line[:30] for line in writes}, {"write 0x37 0x51 84 03 02 00 01"})


def a_sleeping_monitor(binary, folder):
    kinds = ["faithful"]
    setup = Setup(binary, folder, kinds, "sleep")
    watch = setup.watch("--values", "brightness", "--every", "0.5")
    start(watch, kinds)
    setup.press("faithful", "0xD6", 4)
    setup.press("faithful", "0x10", 90)
    time.sleep(4)
    status, rest = watch.end(signal.SIGINT)
    check("no line while it sleeps", (status, rest), (0, []))
    lines = setup.trace_lines()
    check("never woken", [line for line in lines if line.startswith("wake")], [])
    asleep = [i for i, line in enumerate(lines)
              if line.startswith("read") and "02 00 d6 00 00 05 00 04" in line]
    check("its sleep seen", len(asleep) >= 1, True)
    after = [line for line in lines[asleep[0] + 1:] if line.startswith(("write", "read"))]
    check("nothing read while it sleeps (0xD6 once a minute)", after, [])


def journal_that_is_no_journal(binary, folder):
    kinds = ["plain"]
    setup = Setup(binary, folder, kinds, "garbage")
    setup.run("set", "1", "brightness", "30")
    journal = setup.locks / "display-UUID-PLAIN.journal"
    check("set made the journal", journal.stat().st_size, 16 + 256 * 16)
    watch = setup.watch("--values", "brightness", "--every", "3600")
    start(watch, kinds)
    journal.write_bytes(b"garbage that is no journal")
    check("garbage: no line", watch.line(timeout=1.5), "<no line>")
    run = setup.run("set", "1", "brightness", "33")
    check("a set after it", line_within(watch, 2), changed(1, "plain", 0x10, 33, "panoctl"))
    check("the set's own run says nothing of it",
          [line for line in run.stderr.splitlines() if not line.startswith("[dbg]")], [])
    watch.end(signal.SIGINT)
    warnings = [line for line in watch.error_lines() if line.startswith("panoctl:")]
    check("one warning", warnings,
          [f"panoctl: journal {setup.locks}/display-UUID-PLAIN.journal has the wrong size: "
           "ignored, and a new one made\n"])
    # A link planted there is replaced, not followed.
    target = setup.folder / "elsewhere"
    journal.unlink()
    journal.symlink_to(target)
    run = setup.run("set", "1", "brightness", "34")
    check("link: the set's warning",
          [line for line in run.stderr.splitlines() if not line.startswith("[dbg]")],
          [f"panoctl: journal {setup.locks}/display-UUID-PLAIN.journal is a symbolic link: "
           "ignored, and a new one made"])
    check("link replaced", (journal.is_symlink(), target.exists()), (False, False))


def entry(journal, code):
    data = journal.read_bytes() if journal.exists() else b""
    if len(data) != 16 + 256 * 16:
        return 0, None
    sequence, slot_code, _, value = struct.unpack_from("<IBBH", data, 16 + code * 16)
    return sequence, value


def killed_sets(binary, folder):
    kinds = ["plain"]
    setup = Setup(binary, folder, kinds, "killed")
    journal = setup.locks / "display-UUID-PLAIN.journal"
    rng = random.Random(27)
    env = dict(setup.env)
    env.pop("DDC_DEBUG")
    last = entry(journal, 0x10)[0]
    for attempt in range(25):
        value = 40 + attempt
        process = subprocess.Popen([binary, "set", "1", "brightness", str(value)], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0, 0.12))
        process.send_signal(signal.SIGKILL)
        process.wait()
        sequence, told = entry(journal, 0x10)
        kept = json.loads(setup.state.read_text())["plain"]["0x10"] if setup.state.exists() else 30
        if sequence != last:
            check(f"kill {attempt}: the entry tells a value kept", told, kept)
        last = sequence
    check("no new file left beside the journal",
          sorted(p.name for p in setup.locks.iterdir() if "journal" in p.name) if setup.locks.exists() else [],
          ["display-UUID-PLAIN.journal"] if journal.exists() else [])


def plugged_in(binary, folder):
    setup = Setup(binary, folder, ["plain"], "plugged")
    scenario = pathlib.Path(setup.env["PANOCTL_SIM_SCENARIO"])
    watch = setup.watch("--values", "contrast", "--every", "3600")
    start(watch, ["plain"], (0x12,))
    new = scenario.with_name("machine.new")
    new.write_text(machine(["faithful", "plain"]))
    os.replace(new, scenario)
    check("a display plugged in: added, then its values",
          [watch.line(timeout=5), watch.line(timeout=5)],
          [wp.added(1, "faithful", uid("faithful")), changed(1, "faithful", 0x12, 50, "initial")])
    new.write_text(machine(["faithful"]))
    os.replace(new, scenario)
    check("unplugged", watch.line(timeout=5), wp.removed("plain", uid("plain")))
    # The one left is still watched, at its new place.
    setup.run("set", "1", "contrast", "9")
    check("watched at its place", watch.line(timeout=2), changed(1, "faithful", 0x12, 9, "panoctl"))
    status, rest = watch.end(signal.SIGINT)
    check("ends", (status, rest), (0, []))


def refused(binary, folder):
    setup = Setup(binary, folder, ["plain"], "refused")
    for args, message in [
        (["--values", "brigtness", "watch"],
         "panoctl: unknown feature: brigtness (did you mean brightness?)\n"),
        (["--values", "brightness,,contrast", "watch"],
         "panoctl: unknown feature:  (panoctl help features lists them)\n"),
        (["--values", "brightness", "--every", "0.1", "watch"],
         "panoctl: out of range: --every 0.1 (0.5 to 3600 seconds)\n"),
        (["watch", "--every", "soon", "--values", "brightness"], "panoctl: invalid number: soon\n"),
    ]:
        run = setup.run(*args)
        check(f"{args}: refused", (run.returncode, run.stdout, run.stderr), (2, "", message))
    check("refusals touch no bus", setup.trace_lines(), [])


def with_a_configuration(binary, folder):
    """An alias on every line of a display, null on the others', and a
    feature of one's own watched by its name."""
    setup = Setup(binary, folder, ["plain", "faithful"], "configured")
    scenario = json.loads((setup.folder / "machine.json").read_text())
    scenario["monitors"]["plain"]["vcp"]["0xE0"] = {"current": 3, "max": 9}
    scenario["monitors"]["plain"]["capabilities"] = "(prot(monitor)vcp(10 12 D6(01 04) E0))"
    (setup.folder / "machine.json").write_text(json.dumps(scenario))
    config = setup.folder / "config.toml"
    config.write_text(f'[display.left]\nid = "{uid("plain")}"\n\n'
                      '[feature.glow]\ncode = 0xE0\ntype = "continuous"\n')
    config.chmod(0o600)
    setup.env["PANOCTL_CONFIG"] = str(config)
    watch = setup.watch("--values", "brightness,glow", "--every", "3600")

    def line(event, position, key, alias, **members):
        head = {"event": event, "display": position, "id": uid(key)}
        if event == "added":
            head.update(name=f"Name-{key}", serial="", alias=alias, isBuiltin=False,
                        supportsDdc=True)
        else:
            head["alias"] = alias
        return json.dumps(dict(head, **members), separators=(",", ":"))

    def value(position, key, alias, code, name, current, maximum, source):
        return line("changed", position, key, alias, code=code, name=name, value=current,
                    max=maximum, source=source)

    got = [watch.line(timeout=10) for _ in range(6)]
    check("configured start", got, [
        line("added", 1, "plain", "left"), line("added", 2, "faithful", None),
        value(1, "plain", "left", 0x10, "brightness", 30, 100, "initial"),
        value(1, "plain", "left", 0xE0, "glow", 3, 9, "initial"),
        value(2, "faithful", None, 0x10, "brightness", 30, 100, "initial"), wp.READY])
    check("set by alias", setup.run("set", "left", "glow", "7").stdout, '{"ok":true}\n')
    check("set by alias reaches the watch", line_within(watch, 2),
          value(1, "plain", "left", 0xE0, "glow", 7, 9, "panoctl"))
    status, _ = watch.end(signal.SIGTERM)
    check("SIGTERM ends it", status, 0)


def main(binary):
    with tempfile.TemporaryDirectory() as folder:
        refused(binary, folder)
        with_a_configuration(binary, folder)
        changes_made_by_panoctl(binary, folder)
        plugged_in(binary, folder)
        changes_made_on_the_monitor(binary, folder)
        a_sleeping_monitor(binary, folder)
        journal_that_is_no_journal(binary, folder)
        killed_sets(binary, folder)
    print("\n".join(wp.FAILURES) or "watch --values runs behaved as a slider expects")
    return 1 if wp.FAILURES else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
