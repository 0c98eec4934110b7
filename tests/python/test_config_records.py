"""The records of each collection: what loads, what fails and with which
error, and the values the engine then sees."""

import itertools
import signal

import pytest

import sablewick_core as core
from builders import (
    PURPLE,
    WHITE,
    Index,
    Record,
    achievement,
    ending_event,
    event,
    level,
    make_config,
    one_year_config,
    talent,
)
from running import first_line, life, load_error

NOT_A_SEQUENCE = "'int' object cannot be cast as 'Sequence'"
NOT_AN_INT = "'str' object cannot be interpreted as an integer"
TOO_SHORT = "Event entry must have at least 2 elements [event_id, weight]"


class FailsAtThird:
    """A sequence of (5, 1.0) whose third item cannot be fetched."""

    def __len__(self):
        return 3

    def __getitem__(self, i):
        if i == 2:
            raise ZeroDivisionError("third item")
        return (5, 1.0)[i]


def ages(record):
    return make_config(ages={10: record})


def events(record):
    return make_config(events={1: record})


@pytest.mark.parametrize(
    "config, kind, message",
    [
        # talents
        (make_config(talents={1: talent(description=None)}), TypeError,
         "'NoneType' object cannot be cast as 'str'"),
        (make_config(talents={1: talent(tid="1")}), TypeError, NOT_AN_INT),
        (make_config(talents={1: talent(tid=2**40)}), OverflowError,
         "out of range integral type conversion attempted"),
        (make_config(talents={1: talent(exclude="3")}), TypeError, "Can't extract `str` to `Vec`"),
        (make_config(talents={1: talent(replacement={"grade": {1: 2.0}})}), TypeError,
         "'int' object cannot be cast as 'str'"),
        (make_config(talents={1: talent(replacement={"grade": None, "talent": [1]})}), TypeError,
         "'list' object cannot be cast as 'dict'"),
        # events
        (events({"id": 1}), KeyError, "'event'"),
        (events(event(branch=({"condition": "AGE>5", "event_id": 2},))), TypeError,
         "'tuple' object cannot be cast as 'list'"),
        (events(event(branch=[{"event_id": 2}])), KeyError, "'condition'"),
        (events(event(branch=[{"condition": 5, "event_id": 2}])), TypeError,
         "'int' object cannot be cast as 'str'"),
        (events(event(branch=[{"condition": "AGE>5"}])), KeyError, "'eventId'"),
        (events(event(branch=[Record(condition="AGE>5")])), AttributeError,
         "'Record' object has no attribute 'eventId'"),
        # "event_id" found but not convertible: "eventId" is not consulted.
        (events(event(branch=[{"condition": "AGE>5", "event_id": "7", "eventId": 7}])),
         TypeError, NOT_AN_INT),
        (events(event(branch=[{"condition": "AGE>5", "event_id": None, "eventId": 7}])),
         TypeError, "'NoneType' object cannot be interpreted as an integer"),
        # ages
        (ages({"talents": [1]}), KeyError, "'age'"),
        (ages({"age": 10, "talents": "1"}), TypeError, "Can't extract `str` to `Vec`"),
        (ages({"age": 10, "talents": 1}), TypeError, NOT_A_SEQUENCE),
        (ages({"age": 10, "events": ((1, 1.0),)}), TypeError,
         "'tuple' object cannot be cast as 'list'"),
        (ages({"age": 10, "events": [(5, "x")]}), TypeError, "must be real number, not str"),
        (ages({"age": 10, "events": [("x", 1.0)]}), TypeError, NOT_AN_INT),
        (ages({"age": 10, "events": [[5]]}), ValueError, TOO_SHORT),
        (ages({"age": 10, "events": [()]}), ValueError, TOO_SHORT),
        (ages({"age": 10, "events": [["x"]]}), ValueError, TOO_SHORT),
        (ages({"age": 10, "events": ["5,1"]}), TypeError, "Can't extract `str` to `Vec`"),
        (ages({"age": 10, "events": [5]}), TypeError, NOT_A_SEQUENCE),
        (ages({"age": 10, "events": [{5: 1.0}]}), TypeError,
         "'dict' object cannot be cast as 'Sequence'"),
        (ages({"age": 10, "events": [(1, 1.0), [2, None]]}), TypeError,
         "must be real number, not NoneType"),
        # The whole entry is read, not just the id and weight.
        (ages({"age": 10, "events": [FailsAtThird()]}), ZeroDivisionError, "third item"),
        # achievements
        (make_config(achievements={1: achievement(opportunity=None)}), TypeError,
         "'NoneType' object cannot be cast as 'str'"),
        (make_config(achievements={1: {"id": 1, "name": "n", "description": "d",
                                       "opportunity": "END"}}), KeyError, "'condition'"),
        (make_config(achievements={1: Record(id=1, name="n", description="d")}), AttributeError,
         "'Record' object has no attribute 'opportunity'"),
        # judge
        (make_config(judge={1: []}), TypeError, "'int' object cannot be cast as 'str'"),
        (make_config(judge={"HCHR": None}), TypeError, "'NoneType' object cannot be cast as 'list'"),
        (make_config(judge={"HCHR": (level(0, 0, "a"),)}), TypeError,
         "'tuple' object cannot be cast as 'list'"),
        (make_config(judge={"HCHR": [{"min": 0, "grade": 0}]}), KeyError, "'text'"),
        (make_config(judge={"HCHR": [level("0", 0, "a")]}), TypeError, NOT_AN_INT),
    ],
)
def test_record_failures(config, kind, message):
    error = load_error(config)
    assert type(error) is kind
    assert str(error) == message


@pytest.mark.parametrize(
    "config",
    [
        make_config(talents={1: talent(effect=value)})
        for value in ({}, 5, [1], None, {"CHR": "5", "INT": 2}, Record(LIF=-1))
    ]
    + [
        make_config(talents={1: talent(max_triggers=value, condition="AGE?[1,2]")})
        for value in (0, -1, "3", 2.0, None, 2**40)
    ]
    + [
        make_config(talents={1: talent(condition=7, exclusive=1, status="x", grade="3")}),
        make_config(talents={1: talent(replacement={})}),
        make_config(talents={1: talent(replacement=5)}),
        make_config(talents={1: talent(replacement={"grade": {}, "talent": None})}),
        make_config(talents={1: talent(exclude=[7, 8], replacement={"grade": {"1": 2}})}),
        make_config(events={1: event(include=5, exclude=[1], post_event=5, branch=[])}),
        make_config(events={1: event(branch=[{"condition": "AGE>5", "eventId": 404}])}),
        ages({"age": 10, "talents": [], "events": []}),
        ages({"age": 10, "talents": (1, 2), "events": None}),
        ages({"age": 10, "events": [(1, 1.0), [2, 3], (3, 2, "x"), range(4, 6), (5, True)]}),
        make_config(achievements={1: achievement(grade="2", opportunity="sometime")}),
        make_config(judge={"HCHR": [], "UNUSED": [level(1, 2, "x")]}),
    ],
)
def test_records_that_load(config):
    assert core.init_config(config) is None


class Endless(list):
    """A sequence whose iteration never ends and runs no Python code."""

    def __iter__(self):
        return itertools.count(1)


@pytest.mark.parametrize("config", [
    ages({"age": 10, "events": [Endless()]}),
    make_config(talents={1: talent(exclude=Endless())}),
], ids=["event_entry", "exclude_list"])
def test_an_endless_sequence_can_be_interrupted(config):
    # Like the interpreter's own list(itertools.count()), the load reads on;
    # a signal handler's exception still stops it.
    def interrupt(signum, frame):
        raise TimeoutError("interrupted")

    previous = signal.signal(signal.SIGALRM, interrupt)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.2)
        with pytest.raises(TimeoutError, match="interrupted"):
            core.init_config(config)
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


@pytest.mark.parametrize("pair", [(1, 1.0), [1, 1], (1, 1, "x"), (True, 1.0), range(1, 3)])
def test_event_pair_forms_are_drawn(pair):
    config = one_year_config(ages={0: {"age": 0, "events": [pair]}})
    assert first_line(life(config)) == WHITE + " e1"


@pytest.mark.parametrize(
    "fields, line",
    [
        ({"post_event": "!"}, "e1!"),
        ({"postEvent": "!"}, "e1!"),
        ({"post_event": "?", "postEvent": "!"}, "e1?"),
        ({"post_event": 5, "postEvent": "!"}, "e1"),
        ({"post_event": None, "postEvent": "!"}, "e1"),
    ],
)
def test_post_event_and_its_camel_case_key(fields, line):
    session = life(one_year_config(events={1: ending_event(1, **fields)}))
    assert first_line(session) == WHITE + " " + line


def test_branch_target_from_either_key():
    for key in ("event_id", "eventId"):
        branch = [{"condition": "AGE>=0", key: 2}]
        config = one_year_config(events={1: event(1, branch=branch), 2: ending_event(2)})
        text = first_line(life(config))
        assert "e1" in text and "e2" in text


def test_judge_levels_sorted_by_min_highest_first_and_stable():
    # A life here ends with HCHR 0 and HSPR 5. Sorted, the list reads b, a, c:
    # HSPR reaches b, and HCHR gets a (not c) because equal mins keep their order.
    for filler in (0, 20):
        levels = [level(0, 0, "a"), level(5, 2, "b"), level(0, 1, "c")]
        levels += [level(-100 - i, 0, f"low{i}") for i in range(filler)]
        config = one_year_config(judge={"HCHR": levels, "HSPR": levels})
        judges = life(config).get_summary()["judges"]
        assert {j["property_type"]: j["text"] for j in judges} == {"HCHR": "a", "HSPR": "b"}


@pytest.mark.parametrize(
    "emoji_map, grade, shown",
    [
        (None, 2, PURPLE),
        (None, 0, WHITE),
        ({0: "A"}, 0, "A"),
        ({0: "A"}, 2, WHITE),  # not merged with the default table
        ({True: "T"}, 1, "T"),
        ({1: "x", Index(1): "y"}, 1, "y"),  # the later entry wins
        ({2: ""}, 2, ""),
        ({}, 0, WHITE),
    ],
)
def test_emoji_map(emoji_map, grade, shown):
    config = one_year_config(events={1: ending_event(1, grade=grade)})
    kwargs = {} if emoji_map is None else {"emoji_map": emoji_map}
    assert first_line(life(config, **kwargs)) == shown + " e1"


@pytest.mark.parametrize(
    "emoji_map, kind, message",
    [
        ({"1": "x"}, TypeError, NOT_AN_INT),
        ({1.0: "x"}, TypeError, "'float' object cannot be interpreted as an integer"),
        ({None: "x"}, TypeError, "'NoneType' object cannot be interpreted as an integer"),
        ({2**40: "x"}, OverflowError, "out of range integral type conversion attempted"),
        ({2**64: "x"}, OverflowError, "Python int too large to convert to C long"),
        ({0: 1}, TypeError, "'int' object cannot be cast as 'str'"),
        ({0: None}, TypeError, "'NoneType' object cannot be cast as 'str'"),
        ({0: "\udfff"}, UnicodeEncodeError,
         "'utf-8' codec can't encode character '\\udfff' in position 0: surrogates not allowed"),
    ],
)
def test_emoji_map_failures(emoji_map, kind, message):
    error = load_error(make_config(), emoji_map)
    assert type(error) is kind
    assert str(error) == message
