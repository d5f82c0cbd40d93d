"""Loads the zsh completion the build made, then completes command lines with
it and checks the candidates offered.

Usage: completion_test.py <completion folder> <panoctl binary>

zsh's own _describe and _call_program are replaced by stand-ins that print
the candidates and run the command, so the test sees what the completion
offers without a terminal.
"""
import os
import re
import subprocess
import sys
import tempfile

LOADS = r"""
fpath=("$1" $fpath)
autoload -Uz compinit && compinit -u -d "$2/zcompdump"
[[ $_comps[panoctl] == _panoctl ]] || { print "compinit did not register _panoctl"; exit 1 }
autoload +X _panoctl
"""

COMPLETES = r"""
fpath=("$1" $fpath)
autoload -Uz _panoctl
_describe() {
  shift 3
  local name
  for name; do
    [[ $name == -- ]] && continue
    print -l -- "${(@P)name}"
  done
}
_call_program() { shift; eval "$*" }
words=("$2" "${(@)argv[3,-1]}")
CURRENT=$#words
PREFIX=$words[CURRENT]
_panoctl
"""

CASES = [
    # (words after the program, the last one being completed; offered; not offered)
    ([""], ["list:", "get:", "set:", "features:", "help:", "version:", "batch:"], ["--help:"]),
    (["-"], ["--help:print this text", "-h:", "--version:"], []),
    (["--help", ""], ["get:", "probeaddr:"], []),
    (["-"], ["--retries:", "--verify:", "--count:", "--fail:", "--max:", "--one-at-a-time:"], []),
    ([""], ["watch:a line for each display present"], []),
    (["--count", "5", ""], ["watch:"], ["5"]),
    (["--count", ""], [], ["watch:", "1:Tessaro T27Q"]),
    (["watch", ""], [], ["1:Tessaro T27Q", "watch:"]),
    (["--fail", "--max", ""], ["get:", "set:"], []),
    (["--one-at-a-time", ""], ["set:"], []),
    (["--retries", ""], ["3", "10"], ["get:"]),
    (["--retries", "3", "--verify", ""], ["set:"], ["3"]),
    (["--retries", "3", "get", ""], ["1:Tessaro T27Q"], []),
    (["--retries=3", "get", ""], ["1:Tessaro T27Q"], []),
    # Options stand anywhere: between the arguments too.
    (["get", "--max", ""], ["1:Tessaro T27Q"], ["get:"]),
    (["get", "1", "--retries", "2", ""], ["brightness:"], []),
    (["get", "1", "--"], ["--max:"], ["brightness:"]),
    (["--", ""], ["get:"], ["--help:"]),
    (["get", ""], ["1:Tessaro T27Q", "2:Quillon Q32",
                   "52721127-E5C3-A401-1720-0104B53C2278:Tessaro T27Q"], []),
    (["features", ""], ["1:Tessaro T27Q"], ["all:"]),
    (["set", ""], ["all:every display", "2:Quillon Q32"], []),
    (["get", ""], ["all:"], []),
    ([""], ["save:", "restore:"], []),
    (["-"], ["--refresh:"], []),
    (["--refresh", "save", ""], ["1:Tessaro T27Q"], []),
    (["restore", ""], ["2:Quillon Q32"], []),
    (["help", ""], ["features:"], ["get:"]),
    (["get", "1", ""], ["brightness:luminance of the image (0x10)", "input:input source (0x60)",
                        "power:power mode (0xD6)", "restore-factory-defaults:"], []),
    # Named values, and steps only for levels.
    (["set", "1", "input", ""], ["hdmi-1:0x11", "displayport-1:0x0F"], ["+:", "-:", "50%:"]),
    (["set", "1", "0X60", ""], ["hdmi-2:0x12"], ["+10%:"]),
    (["set", "1", "Input", ""], ["hdmi-2:0x12"], []),
    (["set", "1", "0x8d", ""], ["on:0x01", "off:0x02"], ["standby:0x02"]),
    (["set", "1", "214", ""], ["standby:0x02", "suspend:0x03"], ["+:"]),
    (["set", "1", "brightness", ""], ["+:raise by an amount", "50%:", "+10%:", "-10%:"],
     ["on:0x01", "hdmi-1:0x11"]),
    (["set", "1", "0xE0", ""], ["+:raise by an amount"], []),
    (["list", ""], [], ["1:Tessaro T27Q", "get:"]),
]


# With a configuration file: its aliases and groups beside the displays,
# and its own features beside the table's.
CONFIG = """
[display.left]
id = "52721127-E5C3-A401-1720-0104B53C2278"
[group]
desk = ["left"]
[feature.kvm]
code = 0xF1
type = "non-continuous"
"""
CONFIG_CASES = [
    (["get", ""], ["left:alias", "desk:group", "1:Tessaro T27Q"], []),
    (["features", ""], ["left:alias"], ["desk:group"]),
    (["get", "left", ""], ["kvm:non-continuous feature of one's own, code 241", "brightness:"], []),
]


def check_cases(folder, binary, env, cases):
    failures = []
    for words, offered, absent in cases:
        run = subprocess.run(["zsh", "-f", "-c", COMPLETES, "zsh", folder, binary] + words,
                             capture_output=True, text=True, env=env)
        lines = run.stdout.splitlines()
        if run.stderr:
            failures.append(f"{words}: standard error: {run.stderr}")
        for candidate in offered:
            if not any(line.startswith(candidate) for line in lines):
                failures.append(f"{words}: {candidate!r} not offered in {lines}")
        for candidate in absent:
            if any(line.startswith(candidate) for line in lines):
                failures.append(f"{words}: {candidate!r} offered")
    return failures


def offered_words(folder, binary, env, words):
    run = subprocess.run(["zsh", "-f", "-c", COMPLETES, "zsh", folder, binary] + words,
                         capture_output=True, text=True, env=env)
    return {line.split(":", 1)[0] for line in run.stdout.splitlines() if line}


def table_agreement(folder, binary, env):
    """The command words of the usage line, of help and of the completion
    are the same: all three come from one command table. So are the
    options of help and of the completion."""
    failures = []
    usage = subprocess.run([binary], capture_output=True, text=True, env=env).stderr
    match = re.search(r"<([a-z|]+)>", usage)
    in_usage = set(match.group(1).split("|")) if match else set()
    text = subprocess.run([binary, "help"], capture_output=True, text=True, env=env).stdout
    commands = text.split("commands:\n", 1)[1].split("\n\n", 1)[0]
    in_help = {line.split()[0] for line in commands.splitlines() if line.startswith("  ")
               and not line.startswith("   ") and not line.strip().startswith("set's")}
    options = text.split("options:\n", 1)[1].split("\n\n", 1)[0]
    help_options = set(re.findall(r"(--?[a-z-]+)", " ".join(line.split("  ")[1]
                                                          for line in options.splitlines())))
    completed = offered_words(folder, binary, env, [""])
    completed_options = offered_words(folder, binary, env, ["-"]) - completed
    if not in_usage or in_usage != in_help or in_help != completed:
        failures.append(f"command words differ: usage {sorted(in_usage)}, help {sorted(in_help)}, "
                        f"completion {sorted(completed)}")
    if not help_options or help_options != completed_options:
        failures.append(f"options differ: help {sorted(help_options)}, "
                        f"completion {sorted(completed_options)}")
    return failures


def main(folder, binary):
    scratch = os.environ.get("TMPDIR", "/tmp")
    env = dict(os.environ, PANOCTL_SIM_FAST="1")
    for name in ("PANOCTL_SIM_SCENARIO", "PANOCTL_SIM_STATE", "PANOCTL_SIM_TRACE", "DDC_DEBUG"):
        env.pop(name, None)
    failures = []
    loaded = subprocess.run(["zsh", "-f", "-c", LOADS, "zsh", folder, scratch],
                            capture_output=True, text=True, env=env)
    if loaded.returncode != 0 or loaded.stderr:
        failures.append(f"loading: status {loaded.returncode}: {loaded.stdout}{loaded.stderr}")
    failures += check_cases(folder, binary, env, CASES)
    failures += table_agreement(folder, binary, env)
    with tempfile.TemporaryDirectory() as config_folder:
        config = os.path.join(config_folder, "config.toml")
        with open(config, "w", encoding="utf-8") as file:
            file.write(CONFIG)
        os.chmod(config, 0o600)
        failures += check_cases(folder, binary, dict(env, PANOCTL_CONFIG=config), CONFIG_CASES)
    for failure in failures:
        print(failure)
    print(f"{len(CASES) + len(CONFIG_CASES)} command lines completed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
