"""Field access modes, value conversions and the map-key rule, seen through
the records that use them."""

import collections

import pytest

import sablewick_core as core
from builders import (
    Index,
    LoudDict,
    Record,
    ending_event,
    event,
    make_config,
    one_year_config,
    talent,
)
from running import first_line, life, load_error


class Raising:
    """A record whose every attribute raises."""

    def __getattr__(self, name):
        if name.startswith("__"):
            raise AttributeError(name)
        raise ZeroDivisionError(name)


def talents(record):
    return make_config(talents={1: record})


# --- required fields -------------------------------------------------------

@pytest.mark.parametrize(
    "record, kind, message",
    [
        ({"name": "n", "description": "d"}, KeyError, "'id'"),
        (collections.defaultdict(int, name="n", description="d"), KeyError, "'id'"),
        (Record(name="n", description="d"), AttributeError, "'Record' object has no attribute 'id'"),
        (Raising(), ZeroDivisionError, "id"),
        (talent(name=None), TypeError, "'NoneType' object cannot be cast as 'str'"),
    ],
)
def test_required_field_failures(record, kind, message):
    error = load_error(talents(record))
    assert type(error) is kind
    assert str(error) == message


def test_dict_record_ignores_subclass_item_access():
    assert core.init_config(talents(LoudDict(talent()))) is None
    error = load_error(talents(LoudDict(name="n", description="d")))
    assert type(error) is KeyError


def test_object_record_loads_like_a_dict_record():
    session = life(one_year_config(events={1: Record(id=1, event="obj", grade=2,
                                                       effect=Record(LIF=-1))}))
    assert first_line(session) == "\U0001f7e3 obj"


# --- optional fields -------------------------------------------------------

class RaisingGrade:
    id = 1
    event = "e1"
    effect = {"LIF": -1}

    @property
    def grade(self):
        raise RuntimeError("boom")

    @property
    def exclude(self):
        raise RuntimeError("boom")


@pytest.mark.parametrize(
    "grade, shown",
    [
        (2, "\U0001f7e3"),
        (True, "\U0001f535"),
        (Index(3), "\U0001f7e0"),
        ("3", "\u26aa"),
        (3.0, "\u26aa"),
        (None, "\u26aa"),
        (2**40, "\u26aa"),
    ],
)
def test_lenient_optional_int(grade, shown):
    session = life(one_year_config(events={1: ending_event(1, grade=grade)}))
    assert first_line(session) == shown + " e1"


def test_optional_attribute_that_raises_reads_as_absent():
    # "grade" (lenient) and "exclude" (strict on talents, lenient on events).
    session = life(one_year_config(events={1: RaisingGrade()}))
    assert first_line(session) == "\u26aa e1"

    class RaisingExclude:
        id = 1
        name = "n"
        description = "d"

        @property
        def exclude(self):
            raise RuntimeError("boom")

    assert core.init_config(talents(RaisingExclude())) is None


@pytest.mark.parametrize(
    "value, error",
    [
        ([], None),
        ((1, 2), None),
        (range(3), None),
        (None, None),
        ("1,2", (TypeError, "Can't extract `str` to `Vec`")),
        (5, (TypeError, "'int' object cannot be cast as 'Sequence'")),
        ({1: 2}, (TypeError, "'dict' object cannot be cast as 'Sequence'")),
        ({1, 2}, (TypeError, "'set' object cannot be cast as 'Sequence'")),
        ([1, "2"], (TypeError, "'str' object cannot be interpreted as an integer")),
        ([1, 2**31], (OverflowError, "out of range integral type conversion attempted")),
        ([1, 2**64], (OverflowError, "Python int too large to convert to C long")),
        ([1.0], (TypeError, "'float' object cannot be interpreted as an integer")),
    ],
)
def test_strict_optional_int_list(value, error):
    got = load_error(talents(talent(exclude=value))) if error else core.init_config(
        talents(talent(exclude=value)))
    if error:
        assert (type(got), str(got)) == error
    else:
        assert got is None


def test_list_length_is_only_a_hint():
    class BadLength:
        def __init__(self, length):
            self.length = length

        def __len__(self):
            if self.length is None:
                raise RuntimeError("no length")
            return self.length

        def __getitem__(self, i):
            if i >= 2:
                raise IndexError
            return i

    for length in (None, 2**62, 0):
        assert core.init_config(talents(talent(exclude=BadLength(length)))) is None


@pytest.mark.parametrize(
    "table, error",
    [
        ({}, None),
        ({"1": 2}, None),
        ({"1": True, "2": Index(3)}, None),
        ([], (TypeError, "'list' object cannot be cast as 'dict'")),
        ({1: 2.0}, (TypeError, "'int' object cannot be cast as 'str'")),
        ({"1": "x"}, (TypeError, "must be real number, not str")),
        ({"1": None}, (TypeError, "must be real number, not NoneType")),
        ({"\ud800": 1.0}, (UnicodeEncodeError, None)),
    ],
)
def test_strict_optional_weight_table(table, error):
    config = talents(talent(replacement={"talent": table}))
    if error is None:
        assert core.init_config(config) is None
        return
    got = load_error(config)
    assert type(got) is error[0]
    if error[1] is not None:
        assert str(got) == error[1]


class NumpyLikeBool:
    __module__ = "numpy"

    def __init__(self, value):
        self.value = value

    def __bool__(self):
        return self.value


NumpyLikeBool.__name__ = NumpyLikeBool.__qualname__ = "bool_"


@pytest.mark.parametrize(
    "fields, drawn",
    [
        ({}, True),
        ({"no_random": True}, False),
        ({"no_random": NumpyLikeBool(True)}, False),
        ({"no_random": 1}, True),  # 1 is not a boolean
        ({"no_random": "yes"}, True),
        ({"NoRandom": True}, False),
        ({"no_random": False, "NoRandom": True}, True),
        ({"no_random": None, "NoRandom": True}, True),  # None is found under the first key
    ],
)
def test_boolean_and_its_camel_case_key(fields, drawn):
    # Age 0 draws event 1 unless it is no_random; age 1 always ends the life.
    config = make_config(
        events={1: event(1, **fields), 2: ending_event(2)},
        ages={0: {"age": 0, "events": [(1, 1.0)]}, 1: {"age": 1, "events": [(2, 1.0)]}},
    )
    session = life(config)
    assert ("e1" in first_line(session)) is drawn


@pytest.mark.parametrize(
    "name, error",
    [
        (type("Text", (str,), {})("sub"), None),
        ("\x00nul", None),
        ("\ud800", (UnicodeEncodeError,
                    "'utf-8' codec can't encode character '\\ud800' in position 0: "
                    "surrogates not allowed")),
        (b"bytes", (TypeError, "'bytes' object cannot be cast as 'str'")),
    ],
)
def test_text_conversion(name, error):
    config = talents(talent(name=name))
    if error is None:
        assert core.init_config(config) is None
    else:
        got = load_error(config)
        assert (type(got), str(got)) == error


def test_cast_error_names_the_qualified_type():
    class Outer:
        class Inner:
            pass

    got = load_error(talents(talent(name=Outer.Inner())))
    assert str(got) == (
        "'test_cast_error_names_the_qualified_type.<locals>.Outer.Inner' "
        "object cannot be cast as 'str'")


# --- map keys ---------------------------------------------------------------

@pytest.mark.parametrize(
    "key, resolved",
    [(7, 7), ("7", 7), ("+7", 7), ("007", 7), (True, 1), (Index(7), 7), ("-0", 0),
     ("-2147483648", -2**31), ("2147483647", 2**31 - 1)],
)
def test_map_key_resolves(key, resolved):
    # The chosen talent is found by the map key, not by its own id.
    session = life(one_year_config(talents={key: talent(99)}), talent_ids=[resolved])
    assert [t["id"] for t in session.get_summary()["talents"]] == [99]


@pytest.mark.parametrize(
    "key, kind, message",
    [
        (" 7", ValueError, "Invalid talent id:  7"),
        ("7.0", ValueError, "Invalid talent id: 7.0"),
        ("+", ValueError, "Invalid talent id: +"),
        ("\u0667", ValueError, "Invalid talent id: \u0667"),
        ("", ValueError, "Invalid talent id: "),
        ("1_000", ValueError, "Invalid talent id: 1_000"),
        ("2147483648", ValueError, "Invalid talent id: 2147483648"),
        ("-2147483649", ValueError, "Invalid talent id: -2147483649"),
        ("a\x00b", ValueError, "Invalid talent id: a\x00b"),
        (2**31, TypeError, "'int' object cannot be cast as 'str'"),
        (2**70, TypeError, "'int' object cannot be cast as 'str'"),
        (7.0, TypeError, "'float' object cannot be cast as 'str'"),
        (None, TypeError, "'NoneType' object cannot be cast as 'str'"),
    ],
)
def test_map_key_fails(key, kind, message):
    error = load_error(make_config(talents={key: talent()}))
    assert type(error) is kind
    assert str(error) == message


@pytest.mark.parametrize(
    "collection, prefix",
    [("talents", "Invalid talent id: "), ("events", "Invalid event id: "),
     ("ages", "Invalid age: "), ("achievements", "Invalid achievement id: ")],
)
def test_map_key_prefix_per_collection(collection, prefix):
    # The key is resolved before the record is read: the record may be anything.
    error = load_error(make_config(**{collection: {"x y": None}}))
    assert type(error) is ValueError
    assert str(error) == prefix + "x y"


def test_later_entry_with_the_same_map_key_replaces_the_earlier():
    for first, second in ((1, "1"), ("1", 1), ("01", "+1")):
        records = {first: talent(10), second: talent(20)}
        session = life(one_year_config(talents=records), talent_ids=[1])
        assert [t["id"] for t in session.get_summary()["talents"]] == [20]
