"""The folders of src/ are layers, and a file includes only from its own
folder or from a lower layer: the platform at the bottom, the entry points
at the top. Folders that share a layer (the command line and the library,
two faces of the same core) include nothing of each other.

Reads every #include "..." in src/, resolves it to the folder it names (a
bare name, such as "sim_control.h", to the folder of the including file or,
failing that, to the platform folder CMake puts on the include path), fails
on every include that climbs, on a folder of src/ that no layer names, and
on a README whose "## Layout" section lists the src/ folders in another
order than LAYERS.

Usage: include_layers_test.py <source root>
"""
import os
import re
import sys

# Lowest first. The one place the order is declared.
LAYERS = [
    ["platform"],
    ["files"],
    ["mccs"],
    ["ddc"],
    ["discovery"],
    ["config"],
    ["ops"],
    ["cli", "lib"],
    ["main"],
]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
PLATFORM_FOLDERS = ("platform/sim", "platform/macos")


def layer_of(folder):
    for index, folders in enumerate(LAYERS):
        if folder in folders:
            return index
    return None


def resolve(src, including_dir, name):
    """The path below src/ that an include names, or None when it is not ours."""
    candidates = [os.path.join(including_dir, name), name]
    candidates += [os.path.join(folder, name) for folder in PLATFORM_FOLDERS]
    for candidate in candidates:
        if os.path.isfile(os.path.join(src, candidate)):
            return os.path.normpath(candidate)
    return None


def include_problems(src):
    found = []
    for root, _, files in os.walk(src):
        for file_name in sorted(files):
            if not file_name.endswith((".h", ".cpp")):
                continue
            path = os.path.relpath(os.path.join(root, file_name), src)
            folder = path.split(os.sep)[0]
            if layer_of(folder) is None:
                found.append(f"src/{path}: folder {folder}/ is in no layer")
                continue
            with open(os.path.join(src, path), encoding="utf-8") as source:
                text = source.read()
            for name in INCLUDE.findall(text):
                target = resolve(src, os.path.dirname(path), name)
                if target is None:
                    continue  # generated or third-party
                target_folder = target.split(os.sep)[0]
                if target_folder == folder:
                    continue
                mine, theirs = layer_of(folder), layer_of(target_folder)
                if theirs is None or theirs >= mine:
                    found.append(f"src/{path} includes {name}: {target_folder}/ is not below "
                                 f"{folder}/")
    return found


def readme_order(readme):
    with open(readme, encoding="utf-8") as text:
        lines = text.read().splitlines()
    order = []
    inside = False
    for line in lines:
        if line.startswith("## "):
            inside = line.strip() == "## Layout"
            continue
        match = re.match(r"^- `src/([a-z]+)/`", line)
        if inside and match and match[1] not in order:
            order.append(match[1])
    return order


def layout_problems(readme):
    expected = [folder for folders in LAYERS for folder in folders]
    listed = readme_order(readme)
    if listed != expected:
        return [f"README's Layout lists src/ folders as {listed}, the layers are {expected}"]
    return []


def main(root):
    found = include_problems(os.path.join(root, "src"))
    found += layout_problems(os.path.join(root, "README.md"))
    print("\n".join(found) or "every include goes down, and the README agrees")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
