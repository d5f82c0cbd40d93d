"""Checks every document the test suite saw panoctl print against its JSON Schema.

Usage: validate_documents.py <schema folder> <document log>

The log has one line per document, "<command word>\t<status>\t<document>", as
the in-process runs and the case runs append them. An empty or missing log
fails: it means the tests logged nothing, not that everything is fine.

A command word with several forms of document (`set` and its relative step,
for one display or several) has a schema for each; a document must match
one of them.
"""
import json
import pathlib
import sys

import jsonschema

SCHEMAS = {
    ("list", "0"): ["list"],
    ("get", "0"): ["get", "get-several"],
    ("set", "0"): ["set", "set-step", "set-several", "set-step-several"],
    ("capabilities", "0"): ["capabilities"],
    ("probeaddr", "0"): ["probeaddr"],
    ("probeaddr", "1"): ["probeaddr-no-such-display"],
    ("features", "0"): ["features"],
    ("features", "1"): ["features-no-such-display", "features"],
    # With --fail, a document that reports a failure comes with status 1.
    ("get", "1"): ["get", "get-several"],
    ("set", "1"): ["set", "set-step", "set-several", "set-step-several"],
    ("capabilities", "1"): ["capabilities"],
    ("save", "0"): ["save"],
    ("save", "1"): ["save-error"],
    ("restore", "0"): ["restore"],
    ("restore", "1"): ["restore-no-such-display", "restore"],
    ("config", "0"): ["config"],
    # Each line of a watch.
    ("watch", "0"): ["watch"],
    # A batch's answer to a refused line (other answers are logged as the
    # one-shot documents they equal).
    ("batch", "0"): ["usage-error"],
}


def strict_object(pairs):
    keys = [key for key, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError(f"duplicate member in {keys}")
    return dict(pairs)


def reject_constant(name):
    raise ValueError(f"{name} is not JSON")


def main(schema_dir, log_path):
    validators = {}
    for name in {name for names in SCHEMAS.values() for name in names}:
        schema = json.loads((pathlib.Path(schema_dir) / f"{name}.schema.json").read_text())
        jsonschema.Draft202012Validator.check_schema(schema)
        validators[name] = jsonschema.Draft202012Validator(schema)

    log = pathlib.Path(log_path)
    lines = log.read_text(encoding="utf-8").splitlines() if log.exists() else []
    if not lines:
        print(f"{log_path}: no documents were logged")
        return 1

    failures, counts = [], {}
    for number, line in enumerate(lines, 1):
        word, status, document = (line.split("\t", 2) + ["", ""])[:3]
        names = SCHEMAS.get((word, status))
        if names is None:
            failures.append(f"line {number}: no document expected from {word!r} with status {status!r}: {line}")
            continue
        try:
            value = json.loads(document, object_pairs_hook=strict_object, parse_constant=reject_constant)
        except ValueError as error:
            failures.append(f"line {number}: not JSON ({error}): {document}")
            continue
        errors = {name: list(validators[name].iter_errors(value)) for name in names}
        matched = [name for name in names if not errors[name]]
        if not matched:
            for name in names:
                for error in errors[name]:
                    where = "/".join(str(part) for part in error.absolute_path)
                    failures.append(f"line {number}: {name}.schema.json at /{where}: {error.message}: {document}")
            continue
        counts[matched[0]] = counts.get(matched[0], 0) + 1

    for failure in failures[:20]:
        print(failure)
    if len(failures) > 20:
        print(f"... and {len(failures) - 20} more")
    print(", ".join(f"{name}: {count}" for name, count in sorted(counts.items())), "documents checked")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
