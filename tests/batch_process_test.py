"""The real binary in batch mode, driven through pipes as a caller drives it:
displays plugged in and unplugged by rewriting the scenario mid-batch, a
scenario broken mid-batch, standard output closed or full, and a session
whose answers, bus traffic and kept values equal those of the same lines run
one process each.

Usage: batch_process_test.py <panoctl binary>
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile

FAILURES = []


def check(what, got, expected):
    if got != expected:
        FAILURES.append(f"{what}:\n  got      {got!r}\n  expected {expected!r}")


def proxy(key):
    return {"name": "DCPAVServiceProxy",
            "properties": {"EDID UUID": f"UUID-{key}", "ProductName": f"Name-{key}"},
            "avservice": {"monitor": key}}


BRIGHTNESS = {"a": 10, "b": 20}


def scenario(*keys):
    return json.dumps({
        "registry": {"name": "Root", "children": [proxy(key) for key in keys]},
        "monitors": {key: {"vcp": {"0x10": {"current": BRIGHTNESS[key], "max": 100}}} for key in keys},
    })


def listed(*keys):
    return json.dumps([{"id": f"UUID-{key}", "name": f"Name-{key}", "serial": "", "isBuiltin": False,
                        "supportsDdc": True} for key in keys], separators=(",", ":"))


def log_usage_answers(lines):
    """Usage answers go to the documents log that the schema check reads."""
    path = os.environ.get("PANOCTL_TEST_DOCUMENTS")
    if not path:
        return
    with open(path, "a", encoding="utf-8") as log:
        for line in lines:
            if line.startswith('{"error":"usage"'):
                log.write(f"batch\t0\t{line}\n")


class Batch:
    """A batch process, one line sent and its answer awaited at a time."""

    def __init__(self, binary, env, **streams):
        self.process = subprocess.Popen([binary, "batch"], env=env, stdin=subprocess.PIPE,
                                        stdout=streams.get("stdout", subprocess.PIPE),
                                        stderr=subprocess.PIPE, text=True)

    def ask(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline().rstrip("\n")
        log_usage_answers([answer])
        return answer

    def finish(self):
        out, err = self.process.communicate(timeout=30)
        return self.process.returncode, out, err


def plugged_and_unplugged(binary, folder, env):
    path = pathlib.Path(folder, "machine.json")
    path.write_text(scenario("a"))
    env = dict(env, PANOCTL_SIM_SCENARIO=str(path), DDC_DEBUG="")
    batch = Batch(binary, env)
    check("one display", batch.ask("list"), listed("a"))
    path.write_text(scenario("a", "b"))
    # Position 2 finds nothing in the table, so discovery runs again and finds b.
    check("plugged in, by position", batch.ask("get 2 16"), '{"value":20}')
    check("plugged in, listed", batch.ask("list"), listed("a", "b"))
    batch.ask("set 1 16 55")
    path.write_text(scenario("b"))
    check("unplugged, listed", batch.ask("list"), listed("b"))
    check("positions follow the latest discovery", batch.ask("get 1 16"), '{"value":20}')
    check("unplugged, by id", batch.ask("get UUID-a 16"), '{"value":null,"error":"read_failed"}')
    path.write_text(scenario("b", "a"))
    # A monitor plugged back is a new one: its value is the scenario's again.
    check("plugged back", batch.ask("get UUID-a brightness"), '{"value":10}')
    check("listed in the new order", batch.ask("list"), listed("b", "a"))
    status, _, err = batch.finish()
    check("replug status", status, 0)
    # Start and each list, and a second look for "2", "UUID-a" and "UUID-a".
    check("replug discoveries", [line.split(" added=")[1] for line in err.splitlines()[:-1]],
          ["1", "1", "2", "2", "1", "1", "2", "2"])
    check("replug counters at the end", err.splitlines()[-1].startswith("[dbg] writes="), True)


def broken_mid_batch(binary, folder, env):
    path = pathlib.Path(folder, "broken.json")
    path.write_text(scenario("a"))
    batch = Batch(binary, dict(env, PANOCTL_SIM_SCENARIO=str(path)))
    check("before the break", batch.ask("get 1 16"), '{"value":10}')
    path.write_text('{"registry": ')
    batch.process.stdin.write("list\nget 1 16\n")
    batch.process.stdin.flush()
    status, out, err = batch.finish()
    check("broken: no answer", out, "")
    check("broken: status", status, 2)
    check("broken: one error line", len(err.splitlines()), 1)
    check("broken: names the scenario", err.startswith(f"panoctl: scenario {path}: "), True)


def output_to_full_device(binary, env, lines):
    with open("/dev/full", "w") as full_device:
        full = subprocess.run([binary, "batch"], env=env, input=lines, stdout=full_device,
                              stderr=subprocess.PIPE, text=True, timeout=30, check=False)
    check("full: status", full.returncode, 3)
    check("full: said once", full.stderr,
          "panoctl: cannot write standard output: No space left on device\n")


def output_that_fails(binary, env):
    lines = "get 1 16\n" * 1000
    if not os.path.exists("/dev/full"):
        print("skipped the full device: this system has no /dev/full")
    else:
        output_to_full_device(binary, env, lines)

    # The caller stops reading and closes its end: the next answer fails.
    batch = Batch(binary, env)
    check("closed: first answer", batch.ask("get 1 16"), '{"value":60}')
    batch.process.stdout.close()
    try:
        batch.process.stdin.write("get 1 16\n" * 10)
        batch.process.stdin.close()
    except BrokenPipeError:
        pass
    batch.process.wait(timeout=30)
    check("closed: status", batch.process.returncode, 3)
    check("closed: said once", batch.process.stderr.read(),
          "panoctl: cannot write standard output: Broken pipe\n")


SESSION = [
    "get 2 brightness", "set 2 brightness + 7", "set 1 0x12 33", "get 1 contrast",
    "probeaddr 2", "capabilities 2", "set 2 16 - 200", "get 2 16", "get 3 16", "list",
    "set 1 input dp1", "get 1 input", "features 1", "set 1 16 +", "set 9 16 1",
]


def same_as_one_shot_runs(binary, folder, env):
    runs = {}
    for mode in ("batch", "one-shot"):
        trace = pathlib.Path(folder, f"{mode}.trace")
        state = pathlib.Path(folder, f"{mode}.state")
        mode_env = dict(env, PANOCTL_SIM_TRACE=str(trace), PANOCTL_SIM_STATE=str(state))
        if mode == "batch":
            run = subprocess.run([binary, "batch"], env=mode_env, input="\n".join(SESSION) + "\n",
                                 capture_output=True, text=True, timeout=30, check=False)
            answers = run.stdout.splitlines()
            log_usage_answers(answers)
        else:
            answers = []
            for line in SESSION:
                one = subprocess.run([binary, *line.split()], env=mode_env, capture_output=True,
                                     text=True, timeout=30, check=False)
                answers.append(json.dumps({"error": "usage", "message": one.stderr.rstrip("\n")},
                                          separators=(",", ":"))
                               if one.returncode == 2 else one.stdout.rstrip("\n"))
        runs[mode] = (answers, trace.read_text(), json.loads(state.read_text()))
    for index, what in enumerate(("answers", "trace", "state file")):
        check(f"batch and one-shot {what}", runs["batch"][index], runs["one-shot"][index])


def main(binary):
    env = dict(os.environ, PANOCTL_SIM_FAST="1")
    for name in ("PANOCTL_SIM_SCENARIO", "PANOCTL_SIM_TRACE", "PANOCTL_SIM_STATE", "DDC_DEBUG"):
        env.pop(name, None)
    with tempfile.TemporaryDirectory() as folder:
        plugged_and_unplugged(binary, folder, env)
        broken_mid_batch(binary, folder, env)
        output_that_fails(binary, env)
        same_as_one_shot_runs(binary, folder, env)
    print("\n".join(FAILURES) or "batch runs behaved as callers expect")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))

