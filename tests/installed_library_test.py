"""A C program built against the installed tree, as someone else would
build theirs: once through find_package(panoctl CONFIG) and once through
pkg-config, each then run on the simulated machine; and the Python ctypes
example driving the installed shared library, as a scripting host would.

Usage: installed_library_test.py <cmake> <build tree> <examples folder> <consumer project>
"""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

# The built-in machine's first display starts at 60 of 100.
EXPECTED_STEP = "brightness 70\n"


def run(command, **options):
    done = subprocess.run(command, capture_output=True, text=True, timeout=300, check=False,
                          **options)
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, command))}: status {done.returncode}\n"
                           f"{done.stdout}{done.stderr}")
    return done.stdout


def library_folder(root):
    for folder in ("lib", "lib64") + tuple(str(p.relative_to(root)) for p in root.glob("lib/*-*")):
        if list((root / folder).glob("libpanoctl.*")):
            return root / folder
    raise RuntimeError("no libpanoctl installed")


def main(cmake, build, examples, consumer):
    examples = pathlib.Path(examples).resolve()
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder, "root")
        run([cmake, "--install", build, "--prefix", root])
        libdir = library_folder(root)
        env = dict(os.environ, PANOCTL_SIM_FAST="1", XDG_CACHE_HOME="/dev/null",
                   LD_LIBRARY_PATH=str(libdir), DYLD_LIBRARY_PATH=str(libdir))
        env.pop("PANOCTL_SIM_SCENARIO", None)
        env.pop("PANOCTL_SIM_STATE", None)
        failures = []

        tree = pathlib.Path(folder, "cmake-consumer")
        run([cmake, "-S", consumer, "-B", tree, f"-DCMAKE_PREFIX_PATH={root}",
             f"-DEXAMPLE={examples / 'brightness.c'}"])
        run([cmake, "--build", tree])
        got = run([tree / "brightness", "1", "+10"], env=env)
        if got != EXPECTED_STEP:
            failures.append(f"find_package build printed {got!r}")

        pc_env = dict(env, PKG_CONFIG_PATH=str(libdir / "pkgconfig"))
        static = not list(libdir.glob("libpanoctl.so*")) + list(libdir.glob("libpanoctl*.dylib"))
        flags = run(["pkg-config", "--cflags", "--libs"] + (["--static"] if static else [])
                    + ["panoctl"], env=pc_env).split()
        compiler = os.environ.get("CC") or shutil.which("cc")
        program = pathlib.Path(folder, "pkg-config-brightness")
        run([compiler, "-std=c99", examples / "brightness.c", "-o", program] + flags)
        got = run([program, "2", "-100"], env=env)
        if got != "brightness 0\n":
            failures.append(f"pkg-config build printed {got!r}")

        if not static:
            library = sorted(libdir.glob("libpanoctl.so.*") or libdir.glob("libpanoctl*.dylib"))[0]
            got = run([sys.executable, examples / "brightness_ctypes.py", library, "25"], env=env)
            expected = ("1 52721127-E5C3-A401-1720-0104B53C2278 Tessaro T27Q\n"
                        "2 458E2032-0000-0000-0A1F-0104B5462778 Quillon Q32\n"
                        "brightness 60 of 100\nbrightness 25\ndisplay 9: no_such_display\n")
            if got != expected:
                failures.append(f"the ctypes example printed {got!r}")
    print("\n".join(failures) or "built and ran against the installed tree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
