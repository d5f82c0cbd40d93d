"""No mutable object with static storage in the core: a run's state lives in
its session. Reads the symbols of the object files given (those of cli/,
ddc/, discovery/ and mccs/) with nm and fails on every symbol in a writable
data or zero-filled section (.data, .bss and their thread-local forms).
Constants the compiler keeps in .data.rel.ro (tables of pointers) are not
writable once loaded and pass. One flag that a signal handler sets, a
lock-free atomic whose name ends in "SignalFlag", is allowed. Names
that begin with two underscores are reserved to the compiler: sanitizers and
coverage instrumentation put their own data there (source locations, counter
tables), and no code of ours can define them."""
import subprocess
import sys

WRITABLE_CLASSES = set("bBdD")
READ_ONLY_SECTIONS = (".data.rel.ro", ".rodata")


def mutable_symbols(path):
    listing = subprocess.run(["nm", "-C", "--format=sysv", "--defined-only", path],
                             check=True, capture_output=True, text=True).stdout
    for line in listing.splitlines():
        fields = [field.strip() for field in line.split("|")]
        if len(fields) < 7 or fields[2] not in WRITABLE_CLASSES:
            continue
        name, section = fields[0], fields[6]
        if section.startswith(READ_ONLY_SECTIONS) or name.startswith("__"):
            continue
        yield name, section


def main(objects):
    found = []
    signal_flags = []
    for path in objects:
        for name, section in mutable_symbols(path):
            if name.endswith("SignalFlag"):
                signal_flags.append(name)
            else:
                found.append(f"{path}: {name} in {section}")
    if len(signal_flags) > 1:
        found.append("more than one signal flag: " + ", ".join(signal_flags))
    if not objects:
        found.append("no object files given")
    print("\n".join(found) or f"no mutable statics in {len(objects)} object files")
    return 1 if found else 0


if __name__ == "__main__":
    # CMake hands a target's object files over as one ';'-separated list.
    sys.exit(main([path for arg in sys.argv[1:] for path in arg.split(";") if path]))
