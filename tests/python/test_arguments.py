"""Binding of call arguments to parameters, and the argument prefix of
conversion errors."""

import ctypes

import pytest

import sablewick_core as core
from builders import Index, make_config, one_year_config

CONFIG = make_config()


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "init_config() missing 1 required positional argument: 'config'"),
        ((), {"emoji_map": None}, "init_config() missing 1 required positional argument: 'config'"),
        ((CONFIG, None, 3), {}, "init_config() takes from 1 to 2 positional arguments but 3 were given"),
        # Too many positionals is reported before any keyword problem.
        ((CONFIG, None, 3), {"x": 1}, "init_config() takes from 1 to 2 positional arguments but 3 were given"),
        ((CONFIG,), {"x": 1}, "init_config() got an unexpected keyword argument 'x'"),
        # An unknown keyword is reported before the missing argument.
        ((), {"x": 1}, "init_config() got an unexpected keyword argument 'x'"),
        ((CONFIG,), {"config": CONFIG}, "init_config() got multiple values for argument 'config'"),
        ((CONFIG, None), {"emoji_map": None}, "init_config() got multiple values for argument 'emoji_map'"),
        # Keywords are looked at in the order given.
        ((CONFIG,), {"y": 1, "config": CONFIG}, "init_config() got an unexpected keyword argument 'y'"),
        ((CONFIG,), {"config": CONFIG, "y": 1}, "init_config() got multiple values for argument 'config'"),
        # A keyword name that is not valid UTF-8 is shown with replacement characters.
        ((CONFIG,), {"\ud800": 1}, "init_config() got an unexpected keyword argument '\ufffd\ufffd\ufffd'"),
    ],
)
def test_init_config_binding_messages(args, kwargs, message):
    with pytest.raises(TypeError) as info:
        core.init_config(*args, **kwargs)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "call, kwargs",
    [
        ((CONFIG,), {}),
        ((CONFIG, None), {}),
        ((), {"config": CONFIG}),
        ((), {"emoji_map": None, "config": CONFIG}),
        ((CONFIG,), {"emoji_map": {}}),
    ],
)
def test_init_config_accepts_positional_and_keyword_forms(call, kwargs):
    assert core.init_config(*call, **kwargs) is None


def test_keyword_name_that_is_not_a_str_is_refused():
    # Python code cannot pass one; the C API can.
    vectorcall = ctypes.pythonapi.PyObject_Vectorcall
    vectorcall.restype = ctypes.py_object
    vectorcall.argtypes = [ctypes.py_object, ctypes.POINTER(ctypes.py_object), ctypes.c_size_t,
                           ctypes.py_object]
    args = (ctypes.py_object * 2)(CONFIG, 5)
    with pytest.raises(TypeError) as info:
        vectorcall(core.init_config, args, 1, (7,))
    assert str(info.value) == "init_config() got an unexpected keyword argument '7'"


@pytest.mark.parametrize(
    "args, message",
    [
        ((), "simulate_full_life() missing 3 required positional arguments: "
             "'talent_ids', 'properties', and 'achieved_ids'"),
        (([],), "simulate_full_life() missing 2 required positional arguments: "
                "'properties' and 'achieved_ids'"),
        (([], {}, set(), 0, None, None, 0, 8),
         "simulate_full_life() takes from 3 to 7 positional arguments but 8 were given"),
    ],
)
def test_binding_messages_for_several_parameters(args, message):
    core.init_config(one_year_config())
    with pytest.raises(TypeError) as info:
        core.simulate_full_life(*args)
    assert str(info.value) == message


def test_method_binding_messages():
    core.init_config(one_year_config())
    session = core.simulate_full_life([], {"LIF": 1}, set())
    with pytest.raises(TypeError) as info:
        session.get_years_range(0, 1, 2)
    assert str(info.value) == (
        "GameSession.get_years_range() takes 2 positional arguments but 3 were given")
    with pytest.raises(TypeError) as info:
        session.get_years_range(end=1)
    assert str(info.value) == (
        "GameSession.get_years_range() missing 1 required positional argument: 'start'")


@pytest.mark.parametrize(
    "kwargs, name, original",
    [
        ({"config": [1]}, "config", "'list' object cannot be cast as 'dict'"),
        ({"config": CONFIG, "emoji_map": [1]}, "emoji_map", "'list' object cannot be cast as 'dict'"),
        ({"config": "x"}, "config", "'str' object cannot be cast as 'dict'"),
    ],
)
def test_conversion_type_error_gets_argument_prefix(kwargs, name, original):
    with pytest.raises(TypeError) as info:
        core.init_config(**kwargs)
    assert str(info.value) == f"argument '{name}': {original}"
    assert info.value.__cause__ is None  # the original had no cause of its own


def test_non_type_errors_pass_unprefixed():
    core.init_config(one_year_config())
    with pytest.raises(OverflowError) as info:
        core.simulate_full_life([], {"LIF": 2**40}, set())
    assert str(info.value) == "out of range integral type conversion attempted"


def test_is_config_initialized_takes_no_arguments():
    with pytest.raises(TypeError):
        core.is_config_initialized(1)


@pytest.mark.parametrize(
    "value, kind, message",
    [
        (-1, OverflowError, "can't convert negative int to unsigned"),
        (2**64, OverflowError, "int too big to convert"),
        (1.5, TypeError, "argument 'index': 'float' object cannot be interpreted as an integer"),
        ("0", TypeError, "argument 'index': 'str' object cannot be interpreted as an integer"),
    ],
)
def test_unsigned_argument_conversion(value, kind, message):
    core.init_config(one_year_config())
    session = core.simulate_full_life([], {"LIF": 1}, set())
    assert session.get_year(Index(0)) == session.get_year(0)
    with pytest.raises(kind) as info:
        session.get_year(value)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "achieved, error",
    [
        (set(), None),
        (frozenset({1}), None),
        (type("S", (set,), {})({1}), None),
        ([1], "argument 'achieved_ids': 'list' object cannot be cast as 'set'"),
        ({1: 1}, "argument 'achieved_ids': 'dict' object cannot be cast as 'set'"),
        ({"1"}, "argument 'achieved_ids': 'str' object cannot be interpreted as an integer"),
    ],
)
def test_set_argument_conversion(achieved, error):
    core.init_config(one_year_config())
    if error is None:
        core.simulate_full_life([], {"LIF": 1}, achieved)
        return
    with pytest.raises(TypeError) as info:
        core.simulate_full_life([], {"LIF": 1}, achieved)
    assert str(info.value) == error


def test_set_changed_by_its_items_fails_cleanly():
    achieved = set()

    class Grower:
        def __index__(self):
            achieved.add(object())
            return 1

    achieved.add(Grower())
    achieved.add(2)
    core.init_config(one_year_config())
    with pytest.raises(RuntimeError):
        core.simulate_full_life([], {"LIF": 1}, achieved)
