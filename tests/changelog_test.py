"""The changelog and the version agree: CHANGELOG.md opens with an
"Unreleased" section, its newest release is the project's version, releases
run newest first with dates that do not go forward, and `panoctl --version`
prints that version (a simulated build adds " (simulated displays)").

Usage: changelog_test.py <CHANGELOG.md> <project version> <panoctl binary>
"""
import datetime
import re
import subprocess
import sys

RELEASE = re.compile(r"^\[(\d+)\.(\d+)\.(\d+)\] - (\d{4}-\d{2}-\d{2})$")


def problems(text, version):
    found = []
    headings = [line[3:].strip() for line in text.splitlines() if line.startswith("## ")]
    if not headings or headings[0] != "[Unreleased]":
        found.append(f"the first section is {headings[:1]}, not [Unreleased]")
    releases = []
    for heading in headings[1:]:
        match = RELEASE.match(heading)
        if not match:
            found.append(f"section {heading!r} is not '[X.Y.Z] - YYYY-MM-DD'")
            continue
        try:
            day = datetime.date.fromisoformat(match[4])
        except ValueError:
            found.append(f"section {heading!r}: no such day")
            continue
        releases.append((tuple(int(n) for n in match.groups()[:3]), day, heading))
    if not releases:
        found.append("no released section")
    elif ".".join(map(str, releases[0][0])) != version:
        found.append(f"the newest release is {releases[0][2]!r}, the project's version {version}")
    for newer, older in zip(releases, releases[1:]):
        if not (newer[0] > older[0] and newer[1] >= older[1]):
            found.append(f"{newer[2]!r} is not newer than {older[2]!r}")
    return found


def main():
    changelog, version, binary = sys.argv[1:4]
    with open(changelog, encoding="utf-8") as file:
        found = problems(file.read(), version)
    printed = subprocess.run([binary, "--version"], capture_output=True, text=True, check=False).stdout
    if printed not in (f"panoctl {version}\n", f"panoctl {version} (simulated displays)\n"):
        found.append(f"panoctl --version prints {printed!r}")
    print("\n".join(found) or f"changelog and panoctl agree on {version}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
