"""Resident-size probe: simulates many lives, calls every GameSession method,
drops them, and prints how much the process grew, as JSON.

    python tests/python/reliability_probe.py sync|async|churn LIVES [--check]

--check exits with status 1 when the resident size grew by 5 MB or more, or
the heap in use by 1 MB or more.

Run in a fresh process (the tests start it with subprocess): a warm-up
round first lets the allocator, the condition cache and the background pool
reach their steady size, so what is measured afterwards is per-life growth.
"""

import asyncio
import ctypes
import gc
import json
import os
import sys
import time

import sablewick_core as core

PAGE = os.sysconf("SC_PAGE_SIZE")


class MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks",
                 "uordblks", "fordblks", "keepcost")]


_libc = ctypes.CDLL(None)
_libc.mallinfo2.restype = MallInfo2


def heap_bytes():
    """Bytes the C heap has handed out and not taken back, over all arenas:
    unlike the resident size, blind to memory the allocator keeps for reuse."""
    info = _libc.mallinfo2()
    return info.uordblks + info.hblkhd


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


def config():
    """Lives of a few dozen years that touch every part of the engine:
    conditions, a weighted draw, branches, replacement, achievements, judges."""
    talents = {
        i: {"id": i, "name": f"Talent {i}", "description": f"talent {i} fires", "grade": i % 4,
            "condition": f"AGE?[{i},{i + 10},{i + 20}]", "effect": {"RDM": 1, "SPR": 1},
            "exclude": [i + 100]}
        for i in range(1, 11)
    }
    talents[11] = {"id": 11, "name": "Swap", "description": "replaced", "grade": 1,
                   "replacement": {"grade": {"2": 1.0, "3": 2.0}, "talent": {"3": 1.0}}}
    events = {
        1: {"id": 1, "event": "A quiet year.", "grade": 0, "effect": {"CHR": 1}},
        2: {"id": 2, "event": "A storm.", "grade": 2, "include": "AGE>5", "effect": {"STR": -1},
            "branch": [{"condition": "STR<0", "event_id": 3}, {"condition": "STR>=0", "event_id": 4}]},
        3: {"id": 3, "event": "You were hurt.", "grade": 3, "effect": {"LIF": -1}, "no_random": True},
        4: {"id": 4, "event": "You held on.", "grade": 1, "post_event": " Barely.", "no_random": True},
        5: {"id": 5, "event": "Old age.", "grade": 0, "include": "AGE>=40", "effect": {"LIF": -1}},
    }
    ages = {a: {"age": a, "talents": [a % 10 + 1] if a % 7 == 0 else [],
                "events": [(1, 3.0), (2, 1.0), (5, 1.0 + a)]}
            for a in range(60)}
    achievements = {
        1: {"id": 1, "name": "Hurt", "description": "d", "grade": 2, "opportunity": "TRAJECTORY",
            "condition": "EVT?[3]"},
        2: {"id": 2, "name": "Old", "description": "d", "grade": 1, "opportunity": "SUMMARY",
            "condition": "HAGE>=40"},
        3: {"id": 3, "name": "Born", "description": "d", "opportunity": "START", "condition": "TLT?[11]"},
    }
    judge = {key: [{"min": 0, "grade": 0, "text": "low"}, {"min": 10, "grade": 2, "text": "high"}]
             for key in ("HCHR", "HINT", "HSTR", "HMNY", "HSPR", "HAGE", "SUM")}
    return {"talents": talents, "events": events, "ages": ages, "achievements": achievements,
            "judge": judge}


# Lives gathered at once: enough to keep the pool busy, few enough that its
# thread count (each thread holds its own interpreter state and allocator
# arena) stays put while growth is measured.
BATCH = int(os.environ.get("PROBE_BATCH", "16"))

ARGS = ([1, 11, 5], {"CHR": 2, "INT": 3, "STR": 1, "MNY": 4}, {2})
KWARGS = {"tms": 3, "aevt": [1, 2], "atlt": [4], "cachv": 1}


def read_all(session):
    """Every property and method, including the out-of-range answers."""
    n = session.total_years
    session.total_pages, session.total_score, session.final_age, session.is_ended
    for i in range(n):
        session.get_year(i)
        session.get_year_formatted(i)
    session.get_year(n)
    session.get_year_formatted(n)
    session.get_years_range(0, n)
    session.get_years_range(n, 0)
    session.get_page_data(1)
    session.get_page_data(1, 10)
    session.get_page_data(10**6)
    session.get_summary()
    session.get_new_achievements()
    session.get_triggered_events()
    session.get_replacements()
    for bad in ((-1,), ("x",)):
        try:
            session.get_year(*bad)
        except (OverflowError, TypeError):
            pass


def sync_round(lives):
    for _ in range(lives):
        read_all(core.simulate_full_life(*ARGS, **KWARGS))


def async_round(lives):
    async def run():
        done = 0
        while done < lives:
            batch = min(BATCH, lives - done)
            for session in await asyncio.gather(*(core.simulate_async(*ARGS, **KWARGS)
                                                  for _ in range(batch))):
                read_all(session)
            done += batch
    asyncio.run(run())


def threads():
    return len(os.listdir("/proc/self/task"))


# The pool lets an idle thread go after ten seconds (src/sablewick/runtime/pool.hpp,
# kIdleTimeout); the churn round waits that long so that every thread it
# started has ended before it measures.
IDLE_WAIT = 12


def churn_round(lives):
    """Wide batches: hundreds of lives queued at once in the pool, whose
    threads beyond the keep-alive count then end."""
    global BATCH
    wide, BATCH = BATCH, 500
    try:
        async_round(lives)
    finally:
        BATCH = wide
    time.sleep(IDLE_WAIT)


ROUNDS = {"sync": sync_round, "async": async_round, "churn": churn_round}
LIMITS = {"growth_bytes": 5 * 2**20, "heap_growth_bytes": 2**20}


def main(mode, lives, check):
    core.init_config(config())
    run = ROUNDS[mode]
    run(min(lives, 5_000))  # warm-up
    gc.collect()
    before, heap_before, threads_before = resident_bytes(), heap_bytes(), threads()
    start = time.perf_counter()
    run(lives)
    elapsed = time.perf_counter() - start
    gc.collect()
    after, heap_after, threads_after = resident_bytes(), heap_bytes(), threads()
    figures = {"mode": mode, "lives": lives, "seconds": round(elapsed, 2),
               "growth_bytes": after - before, "heap_growth_bytes": heap_after - heap_before,
               "resident_bytes": after, "threads": [threads_before, threads_after]}
    print(json.dumps(figures))
    over = [key for key, limit in LIMITS.items() if figures[key] >= limit]
    if check and over:
        print(f"over the limit: {over}", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), "--check" in sys.argv[3:])
