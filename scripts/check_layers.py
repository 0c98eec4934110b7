#!/usr/bin/env python3
"""Fails when a file of the engine includes one from a folder above its own.

The folders of src/sablewick in layer order, lowest first; folders on one
line are side by side and include nothing of each other. A file includes
from its own folder and from lower layers only, so each folder can be read
with what lies below it. CONTRIBUTING.md shows the same order.

    python3 scripts/check_layers.py [SRC_SABLEWICK]
"""
import pathlib
import re
import sys

LAYERS = [
    {"process"},  # the fork lifecycle, per-thread slots, the shared lock
    {"utf8"},
    {"hashing"},
    {"base"},  # errors, the random source, containers, debug text
    {"property"},
    {"condition"},
    {"config", "result"},
    {"talent", "achievement"},
    {"simulator"},
    {"runtime", "testing"},  # the thread pool; what only tests link
]
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"sablewick/([^"]+)"', re.M)


def folder_of(relative: str) -> str:
    parts = relative.split("/")
    return parts[0] if len(parts) > 1 else ""


def problems(root: pathlib.Path) -> list[str]:
    found = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".hpp", ".cpp", ".h"):
            continue
        own = folder_of(path.relative_to(root).as_posix())
        if own not in RANK:
            found.append(f"{path}: folder {own or '(top)'!r} has no place in the layers")
            continue
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            other = folder_of(target)
            if other == own:
                continue
            if other not in RANK:
                found.append(f"{path}: includes {target}, whose folder has no place in the layers")
            elif RANK[other] >= RANK[own]:
                found.append(f"{path}: includes {target}, from a folder not below {own}/")
    return found


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "src/sablewick")
    if not root.is_dir():
        print(f"no such folder: {root}", file=sys.stderr)
        return 2
    found = problems(root)
    for line in found:
        print(line, file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
