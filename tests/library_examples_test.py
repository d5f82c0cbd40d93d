"""The library's examples that README.md shows are the files the tests
build and run: each example file appears in README.md whole, as an indented
block, so the documentation cannot drift from the code that is tested.

Usage: library_examples_test.py <README.md> <example file>...
"""
import sys


def indented(text):
    return "".join(("    " + line) if line.strip() else line for line in text.splitlines(True))


def main(readme, examples):
    with open(readme, encoding="utf-8") as file:
        shown = file.read()
    found = []
    for example in examples:
        with open(example, encoding="utf-8") as file:
            if indented(file.read()) not in shown:
                found.append(f"{example}: not shown whole in {readme}")
    print("\n".join(found) or f"{len(examples)} examples shown as they are")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
