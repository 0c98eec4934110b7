"""One life at a time: simulate_full_life against simulate_async's round trip.

    python bench/sync_or_async.py [--lives N] [--rounds R]

For the example game (examples/config.py) and the large and dense benchmark
shapes (bench/large_config.py), prints the median wall time of one
synchronous life, with the CPU time of the caller's thread, and of one
asynchronous life from the call until the await returns with nothing else
in flight, with the CPU time the event loop's thread spent on it (the
call, the wake-up and the delivery). Never fails because the machine is
slow.
"""

import argparse
import asyncio
import gc
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "examples"))

import sablewick_core as core  # noqa: E402
import config as example_game  # noqa: E402
from large_config import build_config, player_choices  # noqa: E402

EXAMPLE_CHOICE = ([1001, 1003, 1012], {"CHR": 5, "INT": 5, "STR": 5, "MNY": 5})


def sync_lives(choices, lives):
    times, cpu = [], []
    for k in range(lives):
        talents, points = choices[k % len(choices)]
        start, start_cpu = time.perf_counter(), time.thread_time()
        core.simulate_full_life(talents, points, set())
        times.append(time.perf_counter() - start)
        cpu.append(time.thread_time() - start_cpu)
    return statistics.median(times), statistics.median(cpu)


async def async_lives(choices, lives):
    round_trips, loop_cpu = [], []
    for k in range(lives):
        talents, points = choices[k % len(choices)]
        start, start_cpu = time.perf_counter(), time.thread_time()
        await core.simulate_async(talents, points, set())
        round_trips.append(time.perf_counter() - start)
        loop_cpu.append(time.thread_time() - start_cpu)
    return statistics.median(round_trips), statistics.median(loop_cpu)


def measure(name, config, choices, lives, rounds):
    core.init_config(config)
    asyncio.run(async_lives(choices, 20))  # the pool's threads started
    rows = []
    gc.disable()
    for _ in range(rounds):  # the two sides alternate
        rows.append(sync_lives(choices, lives) + asyncio.run(async_lives(choices, lives)))
    gc.enable()
    s, s_cpu, t, t_cpu = (statistics.median(column) * 1e6 for column in zip(*rows))
    print(f"{name:<13} synchronous: {s:7.1f} us, {s_cpu:7.1f} us CPU on the caller's thread | "
          f"asynchronous round trip: {t:7.1f} us ({t / s:4.2f} x), {t_cpu:5.1f} us CPU on the loop's thread")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lives", type=int, default=200, help="lives per side and round")
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    print(f"medians of {args.rounds} alternating rounds of {args.lives} lives; "
          f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} CPUs")
    measure("example game", example_game.build_config(), [EXAMPLE_CHOICE], args.lives, args.rounds)
    for shape in ("large", "dense"):
        measure(f"{shape} shape", build_config(shape=shape), player_choices(), args.lives, args.rounds)


if __name__ == "__main__":
    main()
