"""Many lives at once while the configuration is swapped underneath them.

Two configurations whose lives can be told apart by every year line (text,
emoji and length of life): each session must be complete and come wholly
from one of them, whichever was stored when its simulation started.
"""

import asyncio
import threading

import pytest

import sablewick_core as core
from builders import make_config

pytestmark = pytest.mark.slow

ASYNC_LIVES = 2_000
SYNC_THREADS = 8


def marked_config(mark, years):
    """A life of exactly `years` years whose every line says `mark`."""
    end = {"id": 900, "name": f"{mark} end", "description": f"{mark} ends.",
           "condition": f"AGE>={years - 1}", "effect": {"LIF": -1}}
    events = {1000 + a: {"id": 1000 + a, "event": f"{mark} year {a}.", "grade": a % 2,
                         "effect": {"CHR": 1}}
              for a in range(years)}
    ages = {a: {"age": a, "events": [(1000 + a, 1.0)]} for a in range(years)}
    return make_config(talents={900: end}, events=events, ages=ages)


CONFIGS = {
    "A": (marked_config("A", 20), {0: "<a0>", 1: "<a1>"}, 20),
    "B": (marked_config("B", 35), {0: "<b0>", 1: "<b1>"}, 35),
}


def load(mark):
    config, emoji, _ = CONFIGS[mark]
    core.init_config(config, emoji)


def origin(session):
    """The one configuration the session was built from; fails on any mix."""
    assert session.is_ended is True
    years = session.get_years_range(0, session.total_years)
    assert years, "a session without years"
    mark = years[0]["display_text"].split("> ", 1)[1][0]
    m = mark.lower()
    _, _, length = CONFIGS[mark]
    assert session.total_years == length
    for age, year in enumerate(years):
        lines = year["display_text"].split("\n")
        assert lines[-1] == f"<{m}{age % 2}> {mark} year {age}.", lines
        assert year["age"] == age
        assert year["is_end"] is (age == length - 1)
        assert year["properties"]["CHR"] == age + 1
    assert years[-1]["display_text"].split("\n")[0] == f"<{m}0> {mark} ends."
    return mark


@pytest.mark.timeout(300, method="thread")
def test_async_and_threaded_lives_while_the_configuration_is_swapped():
    load("A")
    stop = threading.Event()
    swaps = [0]
    errors = []
    sync_counts = {"A": 0, "B": 0}
    lock = threading.Lock()

    def swapper():
        marks = "BA"
        while not stop.is_set():
            load(marks[swaps[0] % 2])
            swaps[0] += 1
            stop.wait(0.0005)

    def sync_worker():
        try:
            while not stop.is_set():
                mark = origin(core.simulate_full_life([900], {"CHR": 0}, set()))
                with lock:
                    sync_counts[mark] += 1
        except BaseException as error:  # reported by the main thread
            errors.append(error)

    threads = [threading.Thread(target=swapper)]
    threads += [threading.Thread(target=sync_worker) for _ in range(SYNC_THREADS)]
    for thread in threads:
        thread.start()

    async def gather_lives():
        futures = []
        for i in range(ASYNC_LIVES):
            futures.append(core.simulate_async([900], {"CHR": 0}, set()))
            if i % 100 == 0:
                await asyncio.sleep(0)  # let completions in while calls go on
        return await asyncio.gather(*futures)

    try:
        sessions = asyncio.run(gather_lives())
    finally:
        stop.set()
        for thread in threads:
            thread.join(timeout=60)
    assert not any(thread.is_alive() for thread in threads), "a thread did not finish"
    assert not errors, errors[0]

    assert len(sessions) == ASYNC_LIVES
    assert len({id(s) for s in sessions}) == ASYNC_LIVES
    async_counts = {"A": 0, "B": 0}
    for session in sessions:
        async_counts[origin(session)] += 1
    assert swaps[0] >= 2
    assert async_counts["A"] + async_counts["B"] == ASYNC_LIVES
    assert sync_counts["A"] + sync_counts["B"] > 0
    print(f"async {async_counts}, sync {sync_counts}, swaps {swaps[0]}")


@pytest.mark.timeout(120, method="thread")
def test_gathered_lives_from_several_event_loops_in_threads():
    """Loops in eight threads, each gathering its own lives, plus a swapper."""
    load("B")
    results = {}
    errors = []

    def loop_worker(index):
        async def lives():
            return await asyncio.gather(*(core.simulate_async([900], {}, set()) for _ in range(150)))
        try:
            results[index] = [origin(s) for s in asyncio.run(lives())]
        except BaseException as error:
            errors.append(error)

    workers = [threading.Thread(target=loop_worker, args=(i,)) for i in range(SYNC_THREADS)]
    for worker in workers:
        worker.start()
    for i in range(200):
        load("AB"[i % 2])
    for worker in workers:
        worker.join(timeout=90)
    assert not any(w.is_alive() for w in workers)
    assert not errors, errors[0]
    assert sum(len(r) for r in results.values()) == SYNC_THREADS * 150
