"""Ids that no record has, by the ten thousand.

A host may hand over any ids in `talent_ids`, `aevt` and `atlt`, and an age
may grant talents the configuration lacks. Taking such ids in costs about
what as many known ids cost, and a list test costs the same however many of
them a life holds. Each side is timed against known ids in the same run and
fails at ten times their time: kept in a plain list, they made a life
quadratic (from sixteen to several hundred times the known ids' time).
"""

import time

import pytest

import sablewick_core as core
from builders import ending_event, event, make_config, talent

pytestmark = pytest.mark.slow

N = 80_000
HELD = 20_000
UNKNOWN = 10**7  # ids from here on have no record
LIVE = {"LIF": 1}


def one_year(talents=0, events=0, grants=()):
    """Talents and events numbered from 0, and a life that ends in its first
    year."""
    return make_config(
        talents={i: talent(i) for i in range(talents)},
        events={**{i: event(i) for i in range(events)}, N: ending_event(N)},
        ages={1: {"age": 1, "events": [(N, 1.0)], "talents": list(grants)}},
    )


def known_and_unknown(count):
    return list(range(count)), list(range(UNKNOWN, UNKNOWN + count))


def handed_over(argument):
    known, unknown = known_and_unknown(N)
    if argument == "talent_ids":
        config = one_year(talents=N)
        return (config, known, {}), (config, unknown, {})
    config = one_year(talents=N) if argument == "atlt" else one_year(events=N)
    return (config, [], {argument: known}), (config, [], {argument: unknown})


def granted():
    known, unknown = known_and_unknown(N)
    return (one_year(talents=N, grants=known), [], {}), (one_year(talents=N, grants=unknown), [], {})


def list_tests():
    """A hundred years of 100 candidates, each kept by a test of all four
    lists for ids that no record has and no life holds; the life holds HELD
    history ids, known or not."""
    candidates = 100
    lacking = UNKNOWN - 1  # below the held unknown ids
    include = f"AEVT![{lacking}] & ATLT![{lacking}] & TLT![{lacking},{lacking - 1}] & EVT![{lacking}]"
    events = {i: event(i, include=include) for i in range(candidates)}
    events[candidates] = ending_event(candidates)
    events.update({i: event(i) for i in range(candidates + 1, candidates + 1 + HELD)})
    ages = {age: {"age": age, "events": [(i, 1.0) for i in range(candidates)]} for age in range(1, 100)}
    ages[100] = {"age": 100, "events": [(candidates, 1.0)]}
    config = make_config(talents={i: talent(i) for i in range(HELD)}, events=events, ages=ages)
    known_events = list(range(candidates + 1, candidates + 1 + HELD))
    known_talents, unknown = known_and_unknown(HELD)
    return ((config, [], {"aevt": known_events, "atlt": known_talents}),
            (config, [], {"aevt": unknown, "atlt": unknown}))


CASES = {
    "aevt": lambda: handed_over("aevt"),
    "atlt": lambda: handed_over("atlt"),
    "talent_ids": lambda: handed_over("talent_ids"),
    "granted by an age": granted,
    "list tests, 20,000 history ids held": list_tests,
}


def life_times(config, talent_ids, history, lives=5):
    core.init_config(config)
    times, years = [], set()
    for _ in range(lives):
        # The thread's processor time: a life of a millisecond is easily cut
        # by other processes, which the wall clock would count.
        start = time.thread_time()
        session = core.simulate_full_life(talent_ids, LIVE, set(), **history)
        times.append(time.thread_time() - start)
        years.add(session.total_years)
    return times, years


@pytest.mark.parametrize("case", list(CASES))
def test_unknown_ids_cost_about_what_known_ones_do(case):
    known, unknown = CASES[case]()
    # The best of five lives each; both sides live the same years.
    known_times, known_years = life_times(*known)
    unknown_times, unknown_years = life_times(*unknown)
    assert known_years == unknown_years
    ratio = min(unknown_times) / min(known_times)
    assert ratio < 10, f"{case}: {min(unknown_times):.4f} s against {min(known_times):.4f} s"
