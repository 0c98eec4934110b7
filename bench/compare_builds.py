"""Compares builds of sablewick_core side by side on the large configuration.

    python bench/compare_builds.py DIR [DIR...] [--rounds N] [--loads N] [--lives N]

Each DIR holds a built sablewick_core extension (a CMake build folder, say).
Every round runs one fresh process per build, the builds in turn, so that a
busy machine weighs on all of them alike; each process reports

  load   the median time of --loads calls of init_config(build_config())
  heap   the heap in use that the stored configuration added (mallinfo2)
  rss    the resident size that the first init_config added
  lives  lives per second over --lives synchronous lives (after one warm-up
         batch of the same size, so that every condition is parsed)

and the medians over the rounds are printed, with each build's ratio to the
first. Prints figures only; never fails because the machine was slow.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

WORKER = r"""
import ctypes, gc, json, os, sys, time
sys.path.insert(0, HERE)
import sablewick_core as core
from large_config import build_config, player_choices

class MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks",
        "uordblks", "fordblks", "keepcost")]

libc = ctypes.CDLL(None)
libc.mallinfo2.restype = MallInfo2

def heap():
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd

def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

config = build_config()
gc.collect()
gc.disable()
heap0, rss0 = heap(), rss()
start = time.perf_counter()
core.init_config(config)
first = time.perf_counter() - start
heap1, rss1 = heap(), rss()
times = [first]
for _ in range(LOADS - 1):
    start = time.perf_counter()
    core.init_config(config)
    times.append(time.perf_counter() - start)
gc.enable()

choices = player_choices()
def lives(count):
    for k in range(count):
        talents, points = choices[k % len(choices)]
        core.simulate_full_life(talents, points, set())
lives(LIVES)
start = time.perf_counter()
lives(LIVES)
rate = LIVES / (time.perf_counter() - start)

times.sort()
print(json.dumps({"load": times[len(times) // 2], "heap": heap1 - heap0, "rss": rss1 - rss0,
                  "lives": rate, "module": core.__file__}))
"""


def run_one(build, loads, lives):
    env = dict(os.environ, PYTHONPATH=build)
    code = WORKER.replace("HERE", repr(HERE)).replace("LOADS", str(loads)).replace("LIVES", str(lives))
    out = subprocess.run([sys.executable, "-c", code], env=env, check=True,
                         capture_output=True, text=True).stdout
    result = json.loads(out.strip().splitlines()[-1])
    module = os.path.realpath(result["module"])
    if not module.startswith(os.path.realpath(build) + os.sep):
        raise SystemExit(f"{build}: imported {module} instead")
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("builds", nargs="+")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--loads", type=int, default=15)
    parser.add_argument("--lives", type=int, default=100)
    args = parser.parse_args()

    results = {b: [] for b in args.builds}
    for r in range(args.rounds):
        for b in args.builds:
            results[b].append(run_one(b, args.loads, args.lives))
        print(f"round {r + 1} of {args.rounds} done", flush=True)

    def med(b, key):
        return statistics.median(x[key] for x in results[b])

    base = args.builds[0]
    print(f"{'build':40} {'load ms':>9} {'heap MiB':>9} {'rss MiB':>8} {'lives/s':>8}"
          f"   ratios to the first: load, heap, lives/s")
    for b in args.builds:
        print(f"{b:40} {med(b, 'load') * 1e3:9.2f} {med(b, 'heap') / 2**20:9.2f} "
              f"{med(b, 'rss') / 2**20:8.2f} {med(b, 'lives'):8.1f}   "
              f"{med(b, 'load') / med(base, 'load'):.3f}, {med(b, 'heap') / med(base, 'heap'):.3f}, "
              f"{med(b, 'lives') / med(base, 'lives'):.3f}")
    with open("/proc/loadavg") as f:
        print("load average at the end:", " ".join(f.read().split()[:3]))


if __name__ == "__main__":
    main()
