"""Adversarial input through the module: each case returns within a second
and ends at its bound.

Bounds (src/sablewick/simulator/engine.hpp, src/sablewick/talent/replacer.hpp):
a life lasts at most kMaxYears = 1000 years, an event chain takes at most
kMaxChainSteps = 256 steps, a replacement chain at most
kMaxReplacementDepth = 64 draws. Conditions have no length or nesting bound:
the parser works without recursion, so long and deep texts simply parse.
"""

import os
import time

import pytest

import sablewick_core as core
from builders import END_TALENT, ending_event, event, make_config, mortal, one_year_config, talent
from running import run_python

MAX_YEARS = 1000
MAX_CHAIN_STEPS = 256

# Guards against quadratic work, not timings: a 100,000-term case takes some
# tens of milliseconds against a second, a 10 MB one some 0.4 s against ten;
# quadratic work on these sizes would take minutes to hours. Instrumented
# builds run several times slower.
SLOWER = 6 if os.environ.get("SABLEWICK_SANITIZED") else 1
BUDGET = 1.0 * SLOWER
TEN_MB_BUDGET = 10.0 * SLOWER

N = 100_000
TEN_MB = 10 * 2**20


def timed(fn):
    start = time.perf_counter()
    result = fn()
    elapsed = time.perf_counter() - start
    assert elapsed < BUDGET, f"took {elapsed:.3f} s"
    return result


def first_year(event_1):
    """Year 0 draws `event_1`; talent 900 ends the life at the end of that year."""
    return one_year_config(talents={END_TALENT: mortal(condition="AGE>=0")}, events={1: event_1})


def gated_config(include):
    """Year 0 may draw event 1, "Chosen.", only when `include` holds (or does not parse)."""
    return first_year(event(1, event="Chosen.", include=include))


def chosen(include):
    def run():
        core.init_config(gated_config(include))
        session = core.simulate_full_life([900], {"CHR": 3}, set())
        assert session.total_years == 1 and session.is_ended
        return "Chosen." in session.get_year(0)["display_text"]
    return timed(run)


LONG_CONDITIONS = [
    ("and_chain_true", lambda: "&".join(["CHR>-1"] * N), True),
    ("and_chain_last_false", lambda: "&".join(["CHR>-1"] * (N - 1) + ["CHR>100"]), False),
    ("or_chain_last_true", lambda: "|".join(["CHR>100"] * (N - 1) + ["CHR>-1"]), True),
    ("mixed_chain", lambda: "|".join(["CHR>100&INT<0"] * (N // 2) + ["AGE=0&CHR=3"]), True),
    ("nested_parentheses", lambda: "(" * N + "CHR>2" + ")" * N, True),
    ("nested_groups", lambda: "(CHR>-1&" * N + "CHR<3" + ")" * N, False),
    # A text that does not parse lets the event be drawn.
    ("unbalanced_nesting", lambda: "(" * N + "CHR>2", True),
    ("inverted_nesting", lambda: ")" * N + "CHR>2" + "(" * N, True),
    ("chain_with_bad_last_term", lambda: "&".join(["CHR>-1"] * (N - 1) + ["CHR"]), True),
]


@pytest.mark.parametrize("make, holds", [(m, h) for _, m, h in LONG_CONDITIONS],
                         ids=[name for name, _, _ in LONG_CONDITIONS])
def test_long_and_deep_conditions(make, holds):
    assert chosen(make()) is holds


TEN_MB_CONDITIONS = [
    pytest.param('"CHR>" + "0" * TEN_MB + "2"', True, id="one_huge_number"),
    pytest.param('"CHR=" + "x" * TEN_MB', False, id="one_huge_text_value"),
    pytest.param('"TLT?[" + "7," * (TEN_MB // 2) + "900]"', True, id="huge_id_list"),
    pytest.param('"TLT?[" + "7," * (TEN_MB // 2) + "x]"', True, id="huge_bad_id_list"),
    pytest.param('" " * (TEN_MB // 2) + "CHR>2" + "\\t" * (TEN_MB // 2)', True, id="white_space_around"),
    pytest.param('"CHR>2 " * (TEN_MB // 6)', True, id="many_spaced_words"),
    # About 1.75 million terms: parsing them takes a few tenths of a second.
    pytest.param('"CHR>5|" * (TEN_MB // 6) + "CHR>2"', True, id="chain_of_terms"),
]


@pytest.mark.slow
@pytest.mark.parametrize("expression, holds", TEN_MB_CONDITIONS)
def test_ten_megabyte_conditions(expression, holds):
    # In a fresh process: the cache keeps every text that parses for the
    # life of the process, and these would stay in the suite's.
    done = run_python(f"""
        import time
        import sablewick_core as core
        TEN_MB = {TEN_MB}
        text = {expression}
        assert len(text) >= TEN_MB - 8, len(text)
        config = {gated_config(None)!r}
        config["events"][1]["include"] = text
        start = time.perf_counter()
        core.init_config(config)
        session = core.simulate_full_life([900], {{"CHR": 3}}, set())
        elapsed = time.perf_counter() - start
        print(elapsed, "Chosen." in session.get_year(0)["display_text"])
    """)
    elapsed, drawn = done.stdout.split()
    assert float(elapsed) < TEN_MB_BUDGET, f"took {float(elapsed):.3f} s"
    assert drawn == str(holds)


def test_an_event_branching_to_itself_stops_after_the_chain_bound():
    core.init_config(first_year(event(1, event="Echo.", effect={"CHR": 1},
                                      branch=[{"condition": "AGE>-1", "event_id": 1}])))
    session = timed(lambda: core.simulate_full_life([900], {"CHR": 0}, set()))
    year = session.get_year(0)
    # Every step keeps its line and its effect, the last one included.
    assert year["display_text"].count("Echo.") == MAX_CHAIN_STEPS
    assert year["properties"]["CHR"] == MAX_CHAIN_STEPS
    assert session.get_triggered_events() == [1]


def test_two_events_branching_to_each_other_every_year_until_the_year_bound():
    core.init_config(make_config(
        events={1: event(1, event="Ping.", branch=[{"condition": "AGE>-1", "event_id": 2}]),
                2: event(2, event="Pong.", branch=[{"condition": "AGE>-1", "event_id": 1}])},
        ages={a: {"age": a, "events": [(1, 1.0)]} for a in range(MAX_YEARS + 5)},
    ))
    session = timed(lambda: core.simulate_full_life([], {}, set()))
    assert session.total_years == MAX_YEARS
    last = session.get_year(MAX_YEARS - 1)
    assert last["is_end"] is True
    text = last["display_text"]
    assert text.count("Ping.") + text.count("Pong.") == MAX_CHAIN_STEPS


@pytest.mark.parametrize("table", [
    {1: {"1": 1.0}},                      # replaces itself
    {1: {"2": 1.0}, 2: {"1": 1.0}},       # two that replace each other
    {1: {"2": 1.0}, 2: {"3": 1.0}, 3: {"1": 1.0}},
], ids=["self", "pair", "ring_of_three"])
def test_a_talent_replaced_forever_stops_after_the_replacement_bound(table):
    talents = {tid: talent(tid, condition="AGE<0", replacement={"talent": targets})
               for tid, targets in table.items()}
    core.init_config(make_config(talents=talents, events={1: ending_event(1, event="Gone.")},
                                 ages={0: {"age": 0, "events": [(1, 1.0)]}}))
    session = timed(lambda: core.simulate_full_life([1], {}, set()))
    assert session.total_years == 1
    held = [t["id"] for t in session.get_summary()["talents"]]
    assert len(held) == 1 and held[0] in table
    replacements = session.get_replacements()
    if held == [1]:
        assert replacements == []
    else:
        assert [(r["source"]["id"], r["target"]["id"]) for r in replacements] == [(1, held[0])]


def test_a_life_whose_lif_never_falls_ends_at_the_year_bound():
    core.init_config(make_config(
        talents={1: talent(1, name="Tough", description="Still here.", condition="AGE>=0",
                           max_triggers=2**31 - 1, effect={"LIF": 1})},
        events={1: event(1, event="Another year.", effect={"CHR": 1})},
        ages={a: {"age": a, "events": [(1, 1.0)]} for a in range(0, 2 * MAX_YEARS, 3)},
    ))
    session = timed(lambda: core.simulate_full_life([1], {}, set()))
    assert session.total_years == MAX_YEARS
    assert session.final_age == MAX_YEARS - 1
    assert session.is_ended is True
    years = session.get_years_range(0, MAX_YEARS + 10)
    assert [y["is_end"] for y in years] == [False] * (MAX_YEARS - 1) + [True]
    assert session.total_pages == MAX_YEARS // 50
