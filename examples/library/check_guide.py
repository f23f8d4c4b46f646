#!/usr/bin/env python3
"""Checks that the guide quotes each example whole and as it is.

A ```cpp block of the guide whose line above names examples/library/NAME.cc
must be that file, byte for byte; every example must be quoted.

    check_guide.py GUIDE.md EXAMPLES_DIR
"""
import pathlib
import re
import sys


def main():
    guide = pathlib.Path(sys.argv[1]).read_text(encoding="utf-8").split("\n")
    examples = pathlib.Path(sys.argv[2])
    quoted, problems = set(), []
    for i, line in enumerate(guide):
        if line != "```cpp":
            continue
        above = next((text for text in reversed(guide[:i]) if text.strip()), "")
        named = re.search(r"examples/library/(\w+\.cc)", above)
        if not named:
            continue
        end = guide.index("```", i + 1)
        block = "\n".join(guide[i + 1:end]) + "\n"
        name = named.group(1)
        quoted.add(name)
        if block != (examples / name).read_text(encoding="utf-8"):
            problems.append(f"the guide's copy of {name} (line {i + 2}) is not the file")
    for example in sorted(p.name for p in examples.glob("*.cc")):
        if example not in quoted:
            problems.append(f"the guide does not quote {example}")
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
