"""Storing, replacing and keeping a configuration; what a failed load leaves."""

import gc
import sys
import time

import pytest

import sablewick_core as core
from builders import Index, LoudDict, event, level, make_config, one_year_config, talent
from running import first_line, life, load_error, run_python


@pytest.mark.slow
def test_fresh_process_has_no_configuration_until_a_load_succeeds():
    out = run_python(
        "import sablewick_core as c\n"
        "print(c.is_config_initialized())\n"
        "try:\n"
        "    c.init_config({})\n"
        "except ValueError as e:\n"
        "    print(e)\n"
        "print(c.is_config_initialized())\n"
        "c.init_config({k: {} for k in ('talents', 'events', 'ages', 'achievements', 'judge')})\n"
        "print(c.is_config_initialized())\n",
        timeout=60,
    ).stdout
    assert out.splitlines() == ["False", "Deserialization error: talents not found", "False", "True"]


@pytest.mark.parametrize(
    "config, message",
    [
        ({}, "talents not found"),
        ({"talents": {}}, "events not found"),
        ({"talents": {}, "events": {}}, "ages not found"),
        ({"talents": {}, "events": {}, "ages": {}}, "achievements not found"),
        ({"talents": {}, "events": {}, "ages": {}, "achievements": {}}, "judge not found"),
    ],
)
def test_missing_collection(config, message):
    error = load_error(config)
    assert type(error) is ValueError
    assert str(error) == "Deserialization error: " + message


def test_collections_are_loaded_in_order():
    # The invalid talent is met before the missing events.
    error = load_error({"talents": {"x": talent()}})
    assert str(error) == "Invalid talent id: x"
    # The emoji map is read only after all five collections.
    error = load_error(make_config(talents={"x": talent()}), {0: 1})
    assert str(error) == "Invalid talent id: x"
    error = load_error(make_config(), {0: 1})
    assert str(error) == "'int' object cannot be cast as 'str'"


def test_collection_that_is_not_a_dict():
    error = load_error(make_config(talents=[]))
    assert type(error) is TypeError
    assert str(error) == "'list' object cannot be cast as 'dict'"


def test_other_keys_are_never_looked_at():
    class Explosive:
        def __index__(self):
            raise AssertionError("looked at")

    config = make_config()
    config["extra"] = {Explosive(): Explosive()}
    assert core.init_config(config) is None


def test_top_level_look_up_ignores_dict_subclass_overrides():
    assert core.init_config(LoudDict(make_config())) is None


def test_reload_replaces_and_failed_reload_keeps_the_configuration():
    first = life(one_year_config(), emoji_map={0: "A"})
    assert first_line(first) == "A e1"

    second = life(one_year_config(events={1: event(1, effect={"LIF": -1}, grade=0)}),
                  emoji_map={0: "B"})
    assert first_line(second) == "B e1"
    # A session keeps the lines it rendered with the map of its time.
    assert first_line(first) == "A e1"

    # Fails only at the emoji map, after all five collections were read.
    error = load_error(make_config(events={1: event(1, effect={"LIF": -1})}), {0: "C", 1: 2})
    assert type(error) is TypeError
    assert core.is_config_initialized() is True
    session = core.simulate_full_life([], {"LIF": 1}, set())
    assert first_line(session) == "B e1"


def mutating_index(target, value):
    """An int-like object that changes `target` the first time it is read."""

    class Mutator:
        done = False

        def __index__(self):
            if not Mutator.done:
                Mutator.done = True
                target[10**6] = value
            return 1

    return Mutator()


@pytest.mark.parametrize("collection", ["talents", "events", "ages", "achievements"])
def test_collection_changed_during_its_walk_fails_and_stores_nothing(collection):
    life(one_year_config(), emoji_map={0: "kept"})
    records = {}
    make = {
        "talents": lambda i: talent(i),
        "events": lambda i: event(i),
        "ages": lambda i: {"age": i},
        "achievements": lambda i: {"id": i, "name": "n", "description": "d",
                                   "opportunity": "END", "condition": "AGE>0"},
    }[collection]
    records[1] = make(mutating_index(records, make(2)))
    records[2] = make(3)
    error = load_error(make_config(**{collection: records}))
    assert type(error) is RuntimeError
    assert str(error) == "dictionary changed size during iteration"
    session = core.simulate_full_life([], {"LIF": 1}, set())
    assert first_line(session) == "kept e1"


def test_nested_dicts_changed_during_their_walk():
    table = {}
    table["1"] = mutating_index(table, 1.0)  # __index__ serves the float protocol too
    error = load_error(make_config(talents={1: talent(replacement={"grade": table})}))
    assert str(error) == "dictionary changed size during iteration"

    emoji = {}
    emoji[mutating_index(emoji, "x")] = "y"
    error = load_error(make_config(), emoji)
    assert str(error) == "dictionary changed size during iteration"

    judge = {}
    judge["HCHR"] = [level(mutating_index(judge, []), 0, "a")]
    error = load_error(make_config(judge=judge))
    assert str(error) == "dictionary changed size during iteration"


def test_record_attribute_that_changes_the_walked_dict():
    talents = {}

    class Sneaky:
        name = "n"
        description = "d"

        @property
        def id(self):
            talents.clear()
            return 1

    talents[1] = Sneaky()
    talents[2] = talent(2)
    error = load_error(make_config(talents=talents))
    assert type(error) is RuntimeError


def test_list_shrunk_while_it_is_read_stops_at_its_end():
    levels = []

    class Shrinker:
        def __index__(self):
            del levels[1:]
            return 0

    levels.extend([level(Shrinker(), 0, "a"), level(1, 0, "b"), level(2, 0, "c")])
    assert core.init_config(make_config(judge={"HCHR": levels})) is None


def test_no_reference_to_host_objects_is_kept():
    name = "".join(["unique", "-name"])
    weight_table = {"1": 2.0}
    pairs = [(1, 1.0)]
    ok_record = talent(1, name=name, replacement={"grade": weight_table})
    bad_record = talent(2, exclude=[1, "x"])
    config = make_config(talents={1: ok_record}, ages={0: {"age": 0, "events": pairs}})
    emoji = {0: name}
    watched = [name, weight_table, pairs, ok_record, bad_record, config, emoji]
    gc.collect()
    before = [sys.getrefcount(obj) for obj in watched]

    for _ in range(3):
        core.init_config(config, emoji)
        config["talents"][2] = bad_record
        load_error(config, emoji)
        del config["talents"][2]
        load_error(config, {0: name, 1: 5})

    gc.collect()  # the failed calls' tracebacks form cycles with their frames
    assert [sys.getrefcount(obj) for obj in watched] == before


def test_ten_megabyte_condition_loads_quickly():
    condition = "AGE?[" + "1," * (5 * 1024 * 1024) + "x"
    start = time.perf_counter()
    core.init_config(make_config(talents={1: talent(condition=condition)}))
    assert time.perf_counter() - start < 5  # about 0.1 s: a tenfold margin against quadratic work


def test_hostile_values_fail_cleanly():
    deep = []
    for _ in range(100_000):
        deep = [deep]
    cases = [
        (talent(Index(2**100)), OverflowError, "Python int too large to convert to C long"),
        (talent(Index("1")), TypeError, "__index__ returned non-int (type str)"),
        (talent(Index(KeyError("inner"))), KeyError, "'inner'"),
        (talent(exclude=deep), TypeError, "'list' object cannot be interpreted as an integer"),
        (talent(name=deep), TypeError, "'list' object cannot be cast as 'str'"),
    ]
    for record, kind, message in cases:
        error = load_error(make_config(talents={1: record}))
        assert (type(error), str(error)) == (kind, message)
    # Deep values in fields read leniently are simply not used.
    assert core.init_config(make_config(talents={1: talent(condition=deep, effect=deep)})) is None
