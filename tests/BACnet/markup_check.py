#!/usr/bin/python3
"""Independent reader of the JSON markup writer's documents, for the markup tests: markup_check.py FILE...

Parses each file with Python's own json module and prints one JSON array with, per file, {"tree": NODE}
or {"error": TEXT}. A NODE is [base, name, value text or null, kind ("s", "n", "b" or ""), children in
document order]. Numbers keep their literal text.
"""

import json
import sys


class Number(str):
    """A JSON number, kept as its literal text."""


def reject_constant(name):
    raise ValueError("not JSON: " + name)


def json_value(value):
    if isinstance(value, bool):
        return ("true" if value else "false"), "b"
    if isinstance(value, Number):
        return str(value), "n"
    if isinstance(value, str):
        return value, "s"
    raise ValueError("unexpected $value " + repr(value))


def json_node(name, pairs):
    """pairs: the element object's members in document order."""
    members = dict(pairs)
    if len(members) != len(pairs):
        raise ValueError("duplicate member in element " + repr(name))
    value, kind = (None, "")
    if "$value" in members:
        value, kind = json_value(members["$value"])
    children = []
    for key, member in pairs:
        if not key.startswith("$"):
            children.append(json_node(key, member))
    for item in members.get("$items", []):
        item_members = dict(item)
        children.append(json_node(item_members["$name"], [p for p in item if p[0] != "$name"]))
    return [members["$base"], name, value, kind, children]


def read_json(data):
    document = json.loads(data.decode("utf-8"), object_pairs_hook=list, parse_int=Number, parse_float=Number,
                          parse_constant=reject_constant)
    if len(document) != 1:
        raise ValueError("document object must have exactly one member")
    name, element = document[0]
    return json_node(name, element)


def check(path):
    with open(path, "rb") as source:
        data = source.read()
    try:
        return {"tree": read_json(data)}
    except Exception as error:  # every failure is a finding for the test, reported per file
        return {"error": "%s: %s" % (type(error).__name__, error)}


if __name__ == "__main__":
    json.dump([check(path) for path in sys.argv[1:]], sys.stdout, ensure_ascii=True)
