"""Prints the functions with the highest own cost in a callgrind profile.

    python callgrind_top.py CALLGRIND_OUT [N]
"""

import re
import subprocess
import sys


def short(name):
    """Drops template arguments, parameter lists and the binary's path."""
    name = re.sub(r"\s*\[[^\]]*\]\s*$", "", name)
    # "file:function": the file part (a path, or ??? without debug lines) goes.
    head, sep, rest = name.partition(":")
    if sep and rest and not rest.startswith(":") and ("/" in head or "." in head or head == "???"):
        name = rest
    out, depth = [], 0
    for ch in name:
        if ch in "<(":
            depth += 1
        elif ch in ">)":
            depth -= 1
            continue
        if depth == 0:
            out.append(ch)
    return "".join(out).replace(" const", "").strip()


def main():
    path = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    text = subprocess.run(["callgrind_annotate", "--inclusive=no", "--threshold=100", "--auto=no", path],
                          check=True, capture_output=True, text=True).stdout
    total = None
    shares = {}
    for line in text.splitlines():
        m = re.match(r"\s*([\d,]+)\s+\(\s*([\d.]+)%\)\s+(.*)", line)
        if not m:
            continue
        if "PROGRAM TOTALS" in m.group(3):
            total = int(m.group(1).replace(",", ""))
            continue
        # With debug lines a function's cost is split by the file each line
        # came from (inlined headers): add the pieces up.
        name = short(m.group(3))
        shares[name] = shares.get(name, 0.0) + float(m.group(2))
    rows = sorted(((share, name) for name, share in shares.items()), reverse=True)
    print(f"  instructions collected: {total:,}" if total else "  (no totals)")
    for share, name in rows[:count]:
        print(f"  {share:6.2f}%  {name}")


if __name__ == "__main__":
    main()
