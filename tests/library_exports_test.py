"""The shared library exports the C API and nothing else: every defined
dynamic symbol is a panoctl_ name, every function the header declares is
among them, and the library carries a SONAME (on Linux) with the major
version in it.

Usage: library_exports_test.py <shared library> <panoctl.h>
"""
import platform
import re
import subprocess
import sys


def exported(library):
    if platform.system() == "Darwin":
        listing = subprocess.run(["nm", "-gU", library], check=True, capture_output=True,
                                 text=True).stdout
        return {line.split()[-1].lstrip("_") for line in listing.splitlines() if line.strip()}
    listing = subprocess.run(["nm", "-D", "--defined-only", library], check=True,
                             capture_output=True, text=True).stdout
    return {line.split()[-1] for line in listing.splitlines() if line.strip()}


def declared(header):
    with open(header, encoding="utf-8") as text:
        return set(re.findall(r"PANOCTL_API[^;(]*?\b(panoctl_\w+)\s*\(", text.read(), re.S))


def soname_problems(library):
    if platform.system() == "Darwin":
        return []
    listing = subprocess.run(["objdump", "-p", library], check=True, capture_output=True,
                             text=True).stdout
    match = re.search(r"SONAME\s+(\S+)", listing)
    if not match or not re.fullmatch(r"libpanoctl\.so\.\d+", match[1]):
        return [f"SONAME is {match[1] if match else None}, not libpanoctl.so.<major>"]
    return []


def main(library, header):
    symbols = exported(library)
    found = [f"exported but not the API: {name}"
             for name in sorted(symbols) if not name.startswith("panoctl_")]
    functions = declared(header)
    if not functions:
        found.append("the header declares no function")
    found += [f"declared but not exported: {name}" for name in sorted(functions - symbols)]
    found += soname_problems(library)
    print("\n".join(found) or f"{len(symbols)} symbols, all of them the API")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
