#!/usr/bin/env python3
"""What the library costs, driven through ctypes on the built-in simulated
machine, against the command line doing the same.

1. A `get` beyond its pauses (pauses traced, not waited): per call through
   the library, per line of one `panoctl batch`, and per one-shot
   `panoctl get` process, each the median of several rounds.
2. `panoctl_set_latest`, pauses waited: 1,000 calls spread over one second,
   then panoctl_flush: the calls made against the set transactions sent,
   the bound those may reach (the spread over one set's time, plus two),
   and the time from the last call until the monitor holds its value.
3. The session's resident memory before and after 100,000 `get`s (pauses
   not waited): flat when the library keeps nothing per call.

    bench/library_bench.py build/libpanoctl.so build/panoctl

Exit status 1 when set_latest sends more than its bound, misses the last
value, or memory grows by more than two pages.
"""
import ast
import ctypes
import os
import statistics
import subprocess
import sys
import time

LEFT = b"52721127-E5C3-A401-1720-0104B53C2278"


class FlushEntry(ctypes.Structure):
    _fields_ = [("id", ctypes.c_char * 40), ("code", ctypes.c_uint), ("value", ctypes.c_uint),
                ("calls", ctypes.c_uint), ("sent", ctypes.c_uint), ("status", ctypes.c_int)]


def resident_kib():
    with open("/proc/self/status", encoding="ascii") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def open_session(lib):
    session = ctypes.c_void_p()
    if lib.panoctl_open(None, ctypes.byref(session)) != 0:
        sys.exit("cannot open a session")
    return session


def library_get_micros(lib, session, calls=2000):
    value = ctypes.c_uint()
    rounds = []
    for _ in range(5):
        start = time.perf_counter()
        for _ in range(calls):
            lib.panoctl_get(session, LEFT, 0x10, ctypes.byref(value), None)
        rounds.append((time.perf_counter() - start) / calls * 1e6)
    return statistics.median(rounds)


def batch_get_micros(binary, lines=2000):
    text = (f"get {LEFT.decode()} 0x10\n" * lines).encode()
    rounds = []
    for _ in range(5):
        start = time.perf_counter()
        subprocess.run([binary, "batch"], input=text, capture_output=True, check=True)
        rounds.append((time.perf_counter() - start) / lines * 1e6)
    return statistics.median(rounds)


def one_shot_get_micros(binary, runs=100):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run([binary, "get", LEFT.decode(), "0x10"], capture_output=True, check=True)
        times.append((time.perf_counter() - start) * 1e6)
    return statistics.median(times)


def latest_value(lib):
    """Pauses waited: run in a process of its own (see main)."""
    session = open_session(lib)
    lib.panoctl_set(session, LEFT, 0x10, 1)
    one_set = min(timed(lambda: lib.panoctl_set(session, LEFT, 0x10, 1)) for _ in range(5))
    calls = 1000
    start = time.perf_counter()
    for i in range(calls):
        lib.panoctl_set_latest(session, LEFT, 0x10, i % 100)
        pause = start + (i + 1) / 1000 - time.perf_counter()
        if pause > 0:
            time.sleep(pause)
    last_call = time.perf_counter()
    spread = last_call - start
    entries = (FlushEntry * 4)()
    count = ctypes.c_size_t()
    status = lib.panoctl_flush(session, 5000, entries, 4, ctypes.byref(count))
    landed = time.perf_counter() - last_call
    value = ctypes.c_uint()
    lib.panoctl_get(session, LEFT, 0x10, ctypes.byref(value), None)
    lib.panoctl_close(ctypes.byref(session))
    return {"status": status, "calls": entries[0].calls, "sent": entries[0].sent,
            "bound": int(spread / one_set) + 2, "one_set_ms": one_set * 1e3,
            "landed_ms": landed * 1e3, "value": value.value}


def timed(action):
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def main(library, binary):
    os.environ.update(PANOCTL_SIM_FAST="1", XDG_CACHE_HOME="/dev/null")
    for name in ("PANOCTL_SIM_SCENARIO", "PANOCTL_SIM_STATE", "PANOCTL_SIM_TRACE", "DDC_DEBUG"):
        os.environ.pop(name, None)
    lib = ctypes.CDLL(library)
    session = open_session(lib)
    in_library = library_get_micros(lib, session)
    in_batch = batch_get_micros(binary)
    one_shot = one_shot_get_micros(binary)
    print(f"get beyond its pauses: library {in_library:.1f} us, batch line {in_batch:.1f} us, "
          f"one-shot process {one_shot:.0f} us")

    value = ctypes.c_uint()
    before = resident_kib()
    for _ in range(100_000):
        lib.panoctl_get(session, LEFT, 0x10, ctypes.byref(value), None)
    after = resident_kib()
    lib.panoctl_close(ctypes.byref(session))
    print(f"resident memory over 100,000 gets: {before} KiB before, {after} KiB after")

    # The simulation is set up once per process: pauses waited need another.
    env = {k: v for k, v in os.environ.items() if k != "PANOCTL_SIM_FAST"}
    child = subprocess.run([sys.executable, __file__, "--latest", library], env=env,
                           capture_output=True, text=True, check=True)
    latest = ast.literal_eval(child.stdout)  # the dict the child printed
    print(f"set_latest: {latest['calls']} calls over 1 s, {latest['sent']} set transactions "
          f"(bound {latest['bound']}, one set {latest['one_set_ms']:.1f} ms), last value landed "
          f"{latest['landed_ms']:.1f} ms after the last call, monitor at {latest['value']}")
    failed = (latest["status"] != 0 or latest["sent"] > latest["bound"] or latest["value"] != 99
              or after - before > 8)
    return 1 if failed else 0


if __name__ == "__main__":
    if sys.argv[1] == "--latest":
        print(latest_value(ctypes.CDLL(sys.argv[2])))
        sys.exit(0)
    sys.exit(main(sys.argv[1], sys.argv[2]))
