"""simulate_full_life: argument binding and conversion, history, configuration check."""

import inspect

import pytest

import sablewick_core as core

from builders import Index, grades_config, history_config, story_config, talent
from running import run_python

OVERFLOW_32 = "out of range integral type conversion attempted"


def talents_config():
    """Talents 1 and 3 that never fire, and a life of one year."""
    cfg = grades_config([0])
    cfg["talents"] = {
        1: talent(1, name="One", description="first", grade=1, max_triggers=0),
        3: talent(3, name="Three", description="third", grade=3, max_triggers=0),
    }
    return cfg


@pytest.fixture
def loaded():
    core.init_config(talents_config())


def test_docstring_and_signature():
    assert core.simulate_full_life.__doc__ == (
        "Simulate a complete life trajectory (fast version using cached config)\n"
        "\n"
        "# Arguments\n"
        "* `talent_ids` - List of selected talent IDs\n"
        "* `properties` - Initial property allocation {CHR, INT, STR, MNY}\n"
        "* `achieved_ids` - Set of already achieved achievement IDs\n"
        "\n"
        "# Returns\n"
        "A GameSession object containing the simulation results\n"
        "\n"
        "# Raises\n"
        "RuntimeError if `init_config` was not called first"
    )
    assert core.simulate_full_life.__text_signature__ == (
        "(talent_ids, properties, achieved_ids, tms=0, aevt=None, atlt=None, cachv=0)"
    )
    parameters = inspect.signature(core.simulate_full_life).parameters
    assert list(parameters) == [
        "talent_ids", "properties", "achieved_ids", "tms", "aevt", "atlt", "cachv"
    ]
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in parameters.values())
    assert [p.default for p in parameters.values()][3:] == [0, None, None, 0]
    assert core.__all__.index("simulate_full_life") == 2


class Dict(dict):
    pass


class Set(set):
    pass


class Str(str):
    pass


def gen():
    yield 1


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        (("12", {}, set()), {}, TypeError, "argument 'talent_ids': Can't extract `str` to `Vec`"),
        ((Str("1"), {}, set()), {}, TypeError, "argument 'talent_ids': Can't extract `str` to `Vec`"),
        (({1}, {}, set()), {}, TypeError,
         "argument 'talent_ids': 'set' object cannot be cast as 'Sequence'"),
        (({1: 1}, {}, set()), {}, TypeError,
         "argument 'talent_ids': 'dict' object cannot be cast as 'Sequence'"),
        ((gen(), {}, set()), {}, TypeError,
         "argument 'talent_ids': 'generator' object cannot be cast as 'Sequence'"),
        ((5, {}, set()), {}, TypeError,
         "argument 'talent_ids': 'int' object cannot be cast as 'Sequence'"),
        ((None, {}, set()), {}, TypeError,
         "argument 'talent_ids': 'NoneType' object cannot be cast as 'Sequence'"),
        (([1, 2.5], {}, set()), {}, TypeError,
         "argument 'talent_ids': 'float' object cannot be interpreted as an integer"),
        (([2**31], {}, set()), {}, OverflowError, OVERFLOW_32),
        (([], [], set()), {}, TypeError, "argument 'properties': 'list' object cannot be cast as 'dict'"),
        (([], {1: 2}, set()), {}, TypeError, "argument 'properties': 'int' object cannot be cast as 'str'"),
        (([], {"CHR": "5"}, set()), {}, TypeError,
         "argument 'properties': 'str' object cannot be interpreted as an integer"),
        (([], {"CHR": 2**40}, set()), {}, OverflowError, OVERFLOW_32),
        (([], {}, [1]), {}, TypeError, "argument 'achieved_ids': 'list' object cannot be cast as 'set'"),
        (([], {}, (1,)), {}, TypeError, "argument 'achieved_ids': 'tuple' object cannot be cast as 'set'"),
        (([], {}, None), {}, TypeError,
         "argument 'achieved_ids': 'NoneType' object cannot be cast as 'set'"),
        (([], {}, {1: 1}), {}, TypeError, "argument 'achieved_ids': 'dict' object cannot be cast as 'set'"),
        (([], {}, {"a"}), {}, TypeError,
         "argument 'achieved_ids': 'str' object cannot be interpreted as an integer"),
        (([], {}, set(), None), {}, TypeError,
         "argument 'tms': 'NoneType' object cannot be interpreted as an integer"),
        (([], {}, set()), {"tms": 1.0}, TypeError,
         "argument 'tms': 'float' object cannot be interpreted as an integer"),
        (([], {}, set()), {"tms": -(2**31) - 1}, OverflowError, OVERFLOW_32),
        (([], {}, set()), {"aevt": "7"}, TypeError, "argument 'aevt': Can't extract `str` to `Vec`"),
        (([], {}, set()), {"aevt": 7}, TypeError,
         "argument 'aevt': 'int' object cannot be cast as 'Sequence'"),
        (([], {}, set()), {"atlt": {8}}, TypeError,
         "argument 'atlt': 'set' object cannot be cast as 'Sequence'"),
        (([], {}, set()), {"atlt": [None]}, TypeError,
         "argument 'atlt': 'NoneType' object cannot be interpreted as an integer"),
        (([], {}, set()), {"cachv": None}, TypeError,
         "argument 'cachv': 'NoneType' object cannot be interpreted as an integer"),
        (([], {}, set()), {"cachv": "1"}, TypeError,
         "argument 'cachv': 'str' object cannot be interpreted as an integer"),
        # The first failing argument in parameter order wins.
        (("x", [], None), {"cachv": None}, TypeError,
         "argument 'talent_ids': Can't extract `str` to `Vec`"),
        (([], [], None), {}, TypeError, "argument 'properties': 'list' object cannot be cast as 'dict'"),
        (([], {}, set(), 2**33), {"cachv": None}, OverflowError, OVERFLOW_32),
        (([], {}, set()), {"aevt": "x", "atlt": "y"}, TypeError,
         "argument 'aevt': Can't extract `str` to `Vec`"),
        # Binding.
        ((), {}, TypeError,
         "simulate_full_life() missing 3 required positional arguments: "
         "'talent_ids', 'properties', and 'achieved_ids'"),
        (([],), {"achieved_ids": set()}, TypeError,
         "simulate_full_life() missing 1 required positional argument: 'properties'"),
        (([], {}, set(), 0, None, None, 0, 1), {}, TypeError,
         "simulate_full_life() takes from 3 to 7 positional arguments but 8 were given"),
        (([], {}, set()), {"seed": 1}, TypeError,
         "simulate_full_life() got an unexpected keyword argument 'seed'"),
        (([], {}, set()), {"talent_ids": []}, TypeError,
         "simulate_full_life() got multiple values for argument 'talent_ids'"),
    ],
)
def test_argument_errors(loaded, args, kwargs, error, message):
    with pytest.raises(error) as info:
        core.simulate_full_life(*args, **kwargs)
    assert type(info.value) is error
    assert str(info.value) == message


def test_integer_beyond_64_bits_is_the_interpreters_overflow_error(loaded):
    with pytest.raises(OverflowError) as info:
        core.simulate_full_life([2**70], {}, set())
    assert str(info.value) != OVERFLOW_32
    assert "argument" not in str(info.value)


class _IndexRaisingWithCause:
    def __index__(self):
        try:
            raise KeyError("inner")
        except KeyError as inner:
            raise TypeError("bad index") from inner


@pytest.mark.parametrize(
    "value, text, cause",
    [
        (None, "'NoneType' object cannot be interpreted as an integer", None),
        (_IndexRaisingWithCause(), "bad index", KeyError),
    ],
)
def test_prefixed_error_carries_over_the_original_cause(loaded, value, text, cause):
    with pytest.raises(TypeError) as info:
        core.simulate_full_life([], {}, set(), tms=value)
    assert str(info.value) == f"argument 'tms': {text}"
    assert info.value.__suppress_context__
    if cause is None:
        assert info.value.__cause__ is None
    else:
        assert type(info.value.__cause__) is cause


def everything(session):
    return (
        session.get_page_data(1),
        session.get_summary(),
        session.get_new_achievements(),
        session.get_triggered_events(),
        session.get_replacements(),
    )


def test_keyword_and_positional_calls_are_equal():
    core.init_config(history_config())
    positional = core.simulate_full_life([900], {"CHR": 3}, {1}, 3, [7], [8], 1)
    keyword = core.simulate_full_life(
        cachv=1, atlt=[8], aevt=[7], tms=3, achieved_ids={1}, properties={"CHR": 3},
        talent_ids=[900],
    )
    assert isinstance(positional, core.GameSession)
    assert everything(positional) == everything(keyword)
    assert sorted(a["id"] for a in keyword.get_new_achievements()) == [3, 5, 7, 8]


@pytest.mark.parametrize(
    "talent_ids, expected",
    [
        ((3, 1, 3), [3, 1, 3]),
        (range(1, 4), [1, 3]),  # 2 is not a talent
        ([1, 1], [1, 1]),
        ([], []),
        ([True, 3], [1, 3]),
        ([Index(4)], []),
    ],
)
def test_talent_sequences_reach_the_engine_in_order(loaded, talent_ids, expected):
    session = core.simulate_full_life(talent_ids, {}, set())
    assert [t["id"] for t in session.get_summary()["talents"]] == expected


@pytest.mark.parametrize("achieved", [frozenset(), frozenset({5}), Set({1}), set()])
def test_set_kinds_are_accepted(loaded, achieved):
    assert core.simulate_full_life([], {}, achieved).total_years == 1


def test_properties_reach_the_engine(loaded):
    session = core.simulate_full_life(
        [], Dict({"CHR": 3, "INT": True, "STR": Index(4), "MNY": -2, "SPR": 40, "LIF": 9, "x": 1}),
        set(),
    )
    # SPR and LIF are not starting values; unknown names are ignored.
    assert session.get_year(0)["properties"] == {
        "CHR": 3, "INT": 1, "STR": 4, "MNY": -2, "SPR": 5, "LIF": 0,
    }


# Achievement ids of history_config: which of its START conditions hold.
# 1 TMS=0, 2 TMS=-5, 3 TMS=3, 4 CACHV=0, 5 CACHV=1, 6 CACHV=-2, 7 AEVT?[7], 8 ATLT?[8]
@pytest.mark.parametrize(
    "kwargs, unlocked",
    [
        ({}, [1, 4]),
        ({"tms": 0, "aevt": None, "atlt": None, "cachv": 0}, [1, 4]),
        # No history: a non-positive count alone is not passed on.
        ({"tms": -5}, [1, 4]),
        ({"cachv": -2}, [1, 4]),
        # A given list, even empty, makes the history present with the counts as they are.
        ({"tms": -5, "aevt": []}, [2, 4]),
        ({"cachv": -2, "atlt": [8]}, [1, 6, 8]),
        ({"cachv": 1}, [1, 5]),
        ({"tms": 3}, [3, 4]),
        ({"aevt": (7, 7), "atlt": range(8, 9)}, [1, 4, 7, 8]),
    ],
)
def test_play_history(kwargs, unlocked):
    core.init_config(history_config())
    session = core.simulate_full_life([900], {}, set(), **kwargs)
    assert sorted(a["id"] for a in session.get_new_achievements()) == unlocked


def test_each_call_returns_a_new_session(loaded):
    first = core.simulate_full_life([], {}, set())
    second = core.simulate_full_life([], {}, set())
    assert first is not second
    assert type(first) is core.GameSession


@pytest.mark.slow
def test_config_not_initialized_in_a_fresh_process():
    # A new interpreter, where no configuration was ever loaded.
    lines = run_python(
        """
        import sablewick_core as core

        def attempt(*args, **kwargs):
            try:
                core.simulate_full_life(*args, **kwargs)
            except Exception as error:
                print(type(error).__name__ + ": " + str(error))
            else:
                print("no error")

        print(core.is_config_initialized())
        attempt([], {}, set())
        attempt([1], {"CHR": 1}, frozenset(), tms=2, aevt=[1], atlt=[2], cachv=3)
        attempt([], {}, set(), cachv=None)
        attempt([], {}, set(), tms=2**40)
        try:
            core.init_config({})
        except ValueError:
            pass
        attempt([], {}, set())
        """
    ).stdout.strip().splitlines()
    not_initialized = "RuntimeError: Config not initialized. Call init_config() first."
    assert lines == [
        "False",
        not_initialized,
        not_initialized,
        "TypeError: argument 'cachv': 'NoneType' object cannot be interpreted as an integer",
        "OverflowError: " + OVERFLOW_32,
        not_initialized,
    ]


def test_simulation_runs_after_a_failed_reload():
    core.init_config(story_config())
    with pytest.raises(ValueError):
        core.init_config({"talents": {}})
    session = core.simulate_full_life([], {}, set())
    assert session.get_year(0)["display_text"].endswith("You were born.")
