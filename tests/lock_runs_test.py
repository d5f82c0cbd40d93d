"""Display locks across runs of the real binary, with real pauses.

Usage: lock_runs_test.py <panoctl binary>

- Concurrent gets and sets on one display share a trace: it reads as whole
  transactions one after another, and every get reads the monitor's reply.
  Runs on a second display overlap them freely.
- A capabilities read lets a set in between its chunks.
- A run killed in the middle of a transaction holds nobody up.
- A lock folder or lock file that cannot be trusted: one warning line, the
  same document and status, no hang, nothing made outside the folder.
"""
import os
import pathlib
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

LEFT, RIGHT = "52721127-E5C3-A401-1720-0104B53C2278", "458E2032-0000-0000-0A1F-0104B5462778"
LEFT_FILE = f"display-{LEFT}.lock"
SLEEP = "sleep 10000"
GET_LENGTH, SET_LENGTH = 6, 6  # trace lines of one transaction


class Runner:
    def __init__(self, binary, folder):
        self.binary, self.folder = binary, pathlib.Path(folder)
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("PANOCTL_SIM_")}
        self.env["PANOCTL_SIM_LOCKS"] = str(self.folder / "locks")

    def start(self, *args, **extra):
        return self.start_as(None, *args, **extra)

    def start_as(self, preexec, *args, **extra):
        return subprocess.Popen([self.binary, *args], env=dict(self.env, **extra),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                preexec_fn=preexec)

    def run(self, *args, timeout=10, preexec=None, **extra):
        process = self.start_as(preexec, *args, **extra)
        try:
            out, err = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            raise
        return process.returncode, out, err


def split_transactions(lines):
    """Cuts a one-display trace of gets and sets into whole transactions, or
    says where it stops being one."""
    transactions, i = [], 0
    while i < len(lines):
        block = lines[i:i + GET_LENGTH]
        kinds = [line.split(" ")[0] for line in block]
        writes = {line for line in block if line.startswith("write")}
        if kinds == ["sleep", "write", "sleep", "write", "sleep", "read"] and len(writes) == 1 \
                and " 82 01 " in block[1]:
            transactions.append(("get", block))
        elif kinds == ["sleep", "write"] * 3 and len(writes) == 1 and " 84 03 " in block[1]:
            transactions.append(("set", block))
        else:
            return transactions, f"no whole transaction at line {i + 1}: {block}"
        i += len(block)
    return transactions, None


def check_one_display(runner, failures):
    trace = runner.folder / "one-display.trace"
    # Distinct values, so that two sets' writes can never pass for one set.
    runs = []
    for n in range(8):
        args = ("set", LEFT, "0x10", str(10 + n)) if n % 2 else ("get", LEFT, "0x10")
        runs.append((args, runner.start(*args, PANOCTL_SIM_TRACE=str(trace))))
    for args, process in runs:
        out, err = process.communicate(timeout=30)
        if process.returncode != 0 or err or not out.startswith("{"):
            failures.append(f"{' '.join(args)}: status {process.returncode}, {out!r}, {err!r}")
    lines = trace.read_text().splitlines()
    transactions, broken = split_transactions(lines)
    if broken:
        failures.append(f"one display: {broken}")
    elif [kind for kind, _ in transactions].count("set") != 4 or len(transactions) != 8:
        failures.append(f"one display: {len(transactions)} transactions in the trace, not 8")
    # A reply torn from its request would not be the monitor's answer.
    for kind, block in transactions:
        if kind == "get" and not block[-1].endswith(" 6e 88 02 00 10 00 00 64 00 3c fc 00"):
            failures.append(f"one display: a get read {block[-1]!r}")


def check_two_displays(runner, failures):
    """Sets on two displays: each display's writes come in whole sets, and
    the displays' sets overlap each other."""
    for attempt in range(3):
        trace = runner.folder / f"two-displays-{attempt}.trace"
        runs = [runner.start("set", display, code, str(20 + n), PANOCTL_SIM_TRACE=str(trace))
                for n in range(4) for display, code in ((LEFT, "0x10"), (RIGHT, "0x12"))]
        for process in runs:
            process.communicate(timeout=30)
        writes = [line for line in trace.read_text().splitlines() if line.startswith("write")]
        for code in ("10", "12"):
            mine = [line for line in writes if f" 84 03 {code} " in line]
            whole = len(mine) == 12 and all(len(set(mine[i:i + 3])) == 1 for i in range(0, 12, 3))
            if not whole:
                failures.append(f"two displays: the sets of code {code} are not whole: {mine}")
                return
        # Under one lock for both, the codes would alternate in runs of three.
        runs_of_one_code = [len(m.group(0)) for m in re.finditer(r"(.)\1*", "".join(
            "L" if " 84 03 10 " in line else "R" for line in writes))]
        if any(length % 3 for length in runs_of_one_code):
            return
    failures.append("two displays: in three tries the sets of two displays never overlapped")


def wait_for_line(path, count, deadline):
    while time.monotonic() < deadline:
        if path.exists() and len(path.read_text().splitlines()) >= count:
            return True
        time.sleep(0.001)
    return False


def check_capabilities_lets_a_set_in(runner, failures):
    """A set started during a long capabilities read gets its turn between
    two chunks, not after the last one."""
    trace = runner.folder / "capabilities.trace"
    reader = runner.start("capabilities", LEFT, PANOCTL_SIM_TRACE=str(trace))
    wait_for_line(trace, 8, time.monotonic() + 10)  # into the chunks
    code, out, err = runner.run("set", LEFT, "0x10", "33", PANOCTL_SIM_TRACE=str(trace))
    reader.communicate(timeout=30)
    if (code, out, err) != (0, '{"ok":true}\n', ""):
        failures.append(f"set during capabilities: {code}, {out!r}, {err!r}")
    lines = trace.read_text().splitlines()
    set_writes = [i for i, line in enumerate(lines) if " 84 03 10 " in line]
    if not set_writes or set_writes[-1] > max(i for i, line in enumerate(lines) if line.startswith("read")):
        failures.append(f"a set waited for a whole capabilities read: set at {set_writes} of {len(lines)} lines")


def check_killed_run(runner, failures):
    trace = runner.folder / "killed.trace"
    victim = runner.start("set", LEFT, "0x10", "44", PANOCTL_SIM_TRACE=str(trace))
    if not wait_for_line(trace, 2, time.monotonic() + 10):  # its first write
        failures.append("killed run: the set never wrote")
    victim.send_signal(signal.SIGKILL)
    victim.communicate(timeout=10)
    started = time.monotonic()
    code, out, err = runner.run("get", LEFT, "0x10", PANOCTL_SIM_TRACE=str(trace))
    took = time.monotonic() - started
    if (code, err) != (0, "") or not out.startswith('{"value":'):
        failures.append(f"after a kill: {code}, {out!r}, {err!r}")
    if took > 1.0:  # 30 ms of pauses; a lock left behind would hold it for good
        failures.append(f"after a kill the next run took {took:.2f} s")
    print(f"the run after a killed one took {took * 1000:.0f} ms")


def refusal_cases(root):
    """(name, spoil: scratch folder -> the lock folder to use, the end of the
    warning for that lock folder, run as nobody)."""
    nobody = pwd.getpwnam("nobody")
    as_nobody = (lambda: os.setuid(nobody.pw_uid)) if root else None

    def give_away(path):
        os.chown(path, nobody.pw_uid, nobody.pw_gid)

    def folder_of_mode(mode):
        def spoil(scratch):
            (scratch / "locks").mkdir()
            (scratch / "locks").chmod(mode)
            return scratch / "locks"
        return spoil

    def folder_link(scratch):
        (scratch / "real").mkdir(mode=0o700)
        (scratch / "locks").symlink_to(scratch / "real")
        return scratch / "locks"

    def folder_file(scratch):
        (scratch / "locks").write_text("")
        return scratch / "locks"

    def lock_file(make):
        def spoil(scratch):
            (scratch / "locks").mkdir(mode=0o700)
            make(scratch, scratch / "locks" / LEFT_FILE)
            return scratch / "locks"
        return spoil

    def link_to_file(scratch, path):
        (scratch / "target").write_text("keep")
        path.symlink_to(scratch / "target")

    def folder_of_nobody(scratch, mode):
        scratch.chmod(0o755)
        (scratch / "locks").mkdir(mode=mode)
        give_away(scratch / "locks")
        return scratch / "locks"

    def lock_file_of_nobody(scratch, path):
        path.write_text("")
        give_away(path)

    file_ = f"/{LEFT_FILE}"
    cases = [
        ("folder writable by all", folder_of_mode(0o777), " is writable by other users", None),
        ("folder writable by the group", folder_of_mode(0o770), " is writable by other users", None),
        ("folder is a link", folder_link, " is a symbolic link", None),
        ("folder is a file", folder_file, " is not a directory", None),
        ("folder's parent missing", lambda scratch: scratch / "missing" / "locks",
         ": No such file or directory", None),
        ("lock file links nowhere", lock_file(lambda scratch, path: path.symlink_to(scratch / "target")),
         file_ + " is a symbolic link", None),
        ("lock file links to a file", lock_file(link_to_file), file_ + " is a symbolic link", None),
        ("queue file links nowhere", lock_file(lambda scratch, path: path.with_suffix(".queue").symlink_to(scratch / "target")),
         file_.replace(".lock", ".queue") + " is a symbolic link", None),
        ("lock file is a folder", lock_file(lambda _, path: path.mkdir()), file_ + " is not a regular file", None),
        ("lock file is a FIFO", lock_file(lambda _, path: os.mkfifo(path)), file_ + " is not a regular file", None),
    ]
    if root:
        # Root ignores modes: the read-only folder is nobody's, and nobody runs.
        return cases + [
            ("folder of another user", lambda scratch: folder_of_nobody(scratch, 0o700),
             " belongs to another user", None),
            ("lock file of another user", lock_file(lock_file_of_nobody), file_ + " belongs to another user", None),
            ("read-only folder", lambda scratch: folder_of_nobody(scratch, 0o500),
             file_ + ": Permission denied", as_nobody),
        ]
    return cases + [
        ("folder of another user", lambda _: pathlib.Path("/"), " belongs to another user", None),
        ("read-only folder", folder_of_mode(0o500), file_ + ": Permission denied", None),
    ]


def check_refusals(binary, root, failures):
    """Each command that locks, on a spoiled lock folder: the document and
    status of a run with a sound one, and one warning line."""
    commands = [("get", LEFT, "0x10"), ("capabilities", LEFT), ("probeaddr", LEFT),
                ("set", LEFT, "0x10", "7")]
    with tempfile.TemporaryDirectory() as clean:
        expected = {c: Runner(binary, clean).run(*c, PANOCTL_SIM_FAST="1")[:2] for c in commands}
    for name, spoil, ending, preexec in refusal_cases(root):
        with tempfile.TemporaryDirectory() as scratch:
            scratch = pathlib.Path(scratch)
            runner = Runner(binary, scratch)
            locks = spoil(scratch)
            runner.env["PANOCTL_SIM_LOCKS"] = str(locks)
            if preexec is not None:
                # Another user may not reach the build tree (a private
                # clone): it runs a copy from the scratch folder it can read.
                scratch.chmod(0o755)
                runner.binary = str(scratch / "panoctl")
                shutil.copy(binary, runner.binary)
                # Nor the configuration file the suite names: one it can reach,
                # and that is no more there than the suite's.
                runner.env["PANOCTL_CONFIG"] = str(scratch / "no-config.toml")
            # Lock files may be made in the lock folder, and nowhere else.
            outside = lambda: sorted(str(p) for p in scratch.rglob("*") if p.parent != locks)
            before = outside()
            warning = f"panoctl: cannot lock display {LEFT}: {locks}{ending}\n"
            for command in commands:
                try:
                    code, out, err = runner.run(*command, preexec=preexec, timeout=5, PANOCTL_SIM_FAST="1")
                except subprocess.TimeoutExpired:
                    failures.append(f"{name}: {command[0]} hangs")
                    continue
                if (code, out) != expected[command]:
                    failures.append(f"{name}: {command[0]} gives {code}, {out!r}")
                if err != warning:
                    failures.append(f"{name}: {command[0]} warns {err!r}, not {warning!r}")
            after = outside()
            target = scratch / "target"
            if before != after or (target.exists() and target.read_text() != "keep"):
                failures.append(f"{name}: files changed: {before} -> {after}")


def main(binary):
    failures = []
    root = os.geteuid() == 0
    with tempfile.TemporaryDirectory() as scratch:
        runner = Runner(binary, scratch)
        check_one_display(runner, failures)
        check_two_displays(runner, failures)
        check_capabilities_lets_a_set_in(runner, failures)
        check_killed_run(runner, failures)
    check_refusals(binary, root, failures)
    print("\n".join(failures) or "transactions whole per display, refusals warned and harmless")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
