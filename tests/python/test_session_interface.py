"""The GameSession class: paging, ranges, argument handling, type flags, docs."""

import inspect

import pytest

import sablewick_core as core

from builders import Index, years_config

_sessions = {}


def session_of(years):
    """A session of `years` years; built once per size (sessions outlive reloads)."""
    if years not in _sessions:
        core.init_config(years_config(years))
        _sessions[years] = core.simulate_full_life([900], {}, set())
        assert _sessions[years].total_years == years
    return _sessions[years]


def ages(years):
    return [y["age"] for y in years]


@pytest.mark.parametrize("years, pages", [(0, 0), (1, 1), (50, 1), (51, 2), (100, 2), (120, 3)])
def test_total_pages(years, pages):
    assert session_of(years).total_pages == pages


@pytest.mark.parametrize(
    "args, expected",
    [
        ((1,), range(0, 50)),
        ((2,), range(50, 100)),
        ((3,), range(100, 120)),
        ((4,), []),
        ((2, 100), range(100, 120)),
        ((1, None), range(0, 50)),
        ((0,), []),
        ((1, 0), []),
        ((3, 7), range(14, 21)),
        ((1, 10**6), range(0, 120)),
        ((2**63 + 1, 2), []),
        ((2**64 - 1, 2**64 - 1), []),
        ((True,), range(0, 50)),
    ],
)
def test_get_page_data_with_120_years(args, expected):
    assert ages(session_of(120).get_page_data(*args)) == list(expected)


def test_get_page_data_by_keyword_equals_positional():
    session = session_of(120)
    assert session.get_page_data(page=2, years_per_page=30) == session.get_page_data(2, 30)
    assert session.get_page_data(years_per_page=30, page=2) == session.get_page_data(2, 30)


@pytest.mark.parametrize(
    "years, start, end, expected",
    [
        (80, 0, 10**6, range(0, 80)),
        (80, 80, 90, []),
        (80, 5, 3, []),
        (80, 0, 0, []),
        (80, 79, 80, [79]),
        (80, 10, 13, range(10, 13)),
        (80, 2**64 - 1, 2**64 - 1, []),
        (0, 0, 10, []),
    ],
)
def test_get_years_range(years, start, end, expected):
    assert ages(session_of(years).get_years_range(start, end)) == list(expected)


def test_session_without_years():
    session = session_of(0)
    assert (session.total_years, session.total_pages, session.final_age) == (0, 0, 0)
    assert session.is_ended is True
    assert session.get_year(0) is None
    assert session.get_year_formatted(0) is None
    assert session.get_page_data(1) == []
    assert session.get_years_range(0, 10) == []


def test_single_year_lookup():
    session = session_of(120)
    assert session.get_year(120) is None
    assert session.get_year_formatted(120) is None
    assert session.get_year(2**64 - 1) is None
    last = session.get_year(119)
    assert last["age"] == session.final_age == 119
    assert last["is_end"] is True and session.is_ended is True
    assert session.get_year(0)["is_end"] is False
    for i in (0, 57, 119):
        year, formatted = session.get_year(i), session.get_year_formatted(i)
        assert list(year) == ["age", "display_text", "properties", "is_end"]
        assert list(formatted) == ["age", "text", "properties", "is_end"]
        assert year["display_text"] == formatted["text"]
        assert list(year["properties"]) == ["CHR", "INT", "STR", "MNY", "SPR", "LIF"]
        assert list(formatted["properties"]) == ["CHR", "INT", "STR", "MNY", "SPR", "LIF"]


def test_results_are_fresh_objects():
    session = session_of(120)
    page = session.get_page_data(1)
    page[0]["age"] = -1
    page[0]["properties"]["CHR"] = 99
    page.clear()
    assert session.get_page_data(1)[0]["age"] == 0
    assert session.get_year(0)["properties"]["CHR"] == 0
    assert session.get_year(0) is not session.get_year(0)
    events = session.get_triggered_events()
    events.append(1)
    assert session.get_triggered_events() == [1000 + a for a in range(120)]


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda s: s.get_page_data(1.0), "argument 'page': 'float' object cannot be interpreted as an integer"),
        (lambda s: s.get_page_data(0, "x"),
         "argument 'years_per_page': 'str' object cannot be interpreted as an integer"),
        (lambda s: s.get_page_data(1.5, "x"), "argument 'page': 'float' object cannot be interpreted as an integer"),
        (lambda s: s.get_year("0"), "argument 'index': 'str' object cannot be interpreted as an integer"),
        (lambda s: s.get_year_formatted(None),
         "argument 'index': 'NoneType' object cannot be interpreted as an integer"),
        (lambda s: s.get_years_range(0, 2.0), "argument 'end': 'float' object cannot be interpreted as an integer"),
        (lambda s: s.get_years_range("a", 2.0),
         "argument 'start': 'str' object cannot be interpreted as an integer"),
        (lambda s: s.get_year(), "GameSession.get_year() missing 1 required positional argument: 'index'"),
        (lambda s: s.get_year(1, 2), "GameSession.get_year() takes 1 positional arguments but 2 were given"),
        (lambda s: s.get_year(idx=1), "GameSession.get_year() got an unexpected keyword argument 'idx'"),
        (lambda s: s.get_year(1, index=1), "GameSession.get_year() got multiple values for argument 'index'"),
        (lambda s: s.get_year_formatted(),
         "GameSession.get_year_formatted() missing 1 required positional argument: 'index'"),
        (lambda s: s.get_page_data(),
         "GameSession.get_page_data() missing 1 required positional argument: 'page'"),
        (lambda s: s.get_page_data(1, 2, 3),
         "GameSession.get_page_data() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda s: s.get_years_range(end=1),
         "GameSession.get_years_range() missing 1 required positional argument: 'start'"),
        (lambda s: s.get_years_range(),
         "GameSession.get_years_range() missing 2 required positional arguments: 'start' and 'end'"),
    ],
)
def test_argument_type_errors(call, message):
    with pytest.raises(TypeError) as info:
        call(session_of(1))
    assert str(info.value) == message


@pytest.mark.parametrize(
    "call",
    [
        lambda s: s.get_page_data(-1),
        lambda s: s.get_page_data(1, -50),
        lambda s: s.get_year(-1),
        lambda s: s.get_year(2**64),
        lambda s: s.get_year_formatted(-1),
        lambda s: s.get_years_range(-1, 5),
        lambda s: s.get_years_range(0, -5),
        # Arguments are all converted before any range test.
        lambda s: s.get_years_range(5, -1),
        lambda s: s.get_page_data(0, -1),
    ],
)
def test_out_of_range_integers_raise_overflow_error(call):
    with pytest.raises(OverflowError):
        call(session_of(1))


@pytest.mark.parametrize(
    "name", ["get_summary", "get_new_achievements", "get_triggered_events", "get_replacements"]
)
def test_methods_without_parameters_take_no_arguments(name):
    method = getattr(session_of(1), name)
    with pytest.raises(TypeError):
        method(1)
    with pytest.raises(TypeError):
        method(x=1)


def test_index_objects_are_accepted():
    session = session_of(120)
    assert session.get_year(Index(2))["age"] == 2
    assert ages(session.get_years_range(Index(2), 4)) == [2, 3]
    assert ages(session.get_page_data(Index(2), Index(2))) == [2, 3]


def test_type_shape():
    cls = core.GameSession
    assert cls.__name__ == "GameSession"
    assert cls.__qualname__ == "GameSession"
    assert cls.__module__ == "sablewick_core"
    assert cls.__bases__ == (object,)
    assert "GameSession" in core.__all__
    assert cls.__flags__ & (1 << 10) == 0  # not a base type
    assert cls.__dictoffset__ == 0
    assert cls.__weakrefoffset__ == 0
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})
    namespace = {k for k in vars(cls) if not k.startswith("__")}
    assert namespace == {
        "total_years", "total_pages", "total_score", "final_age", "is_ended",
        "get_page_data", "get_year", "get_years_range", "get_year_formatted",
        "get_summary", "get_new_achievements", "get_triggered_events", "get_replacements",
    }
    methods = [k for k, v in vars(cls).items() if callable(v) and not k.startswith("__")]
    assert methods == [
        "get_page_data", "get_year", "get_years_range", "get_year_formatted",
        "get_summary", "get_new_achievements", "get_triggered_events", "get_replacements",
    ]
    for special in ("__repr__", "__len__", "__iter__", "__eq__", "__hash__", "__init__"):
        assert special not in vars(cls)


# A constructor given to the class would make instances over zeroed memory,
# which its methods would read and its dealloc destroy as a session.
@pytest.mark.parametrize("name, value", [
    ("__new__", staticmethod(lambda cls: object.__new__(cls))),
    ("__init__", lambda self: None),
    ("__class_getitem__", classmethod(lambda cls, item: cls)),
    ("get_year", lambda self, index: None),
    ("total_years", 0),
    ("extra", 1),
])
def test_the_class_cannot_be_changed(name, value):
    cls = core.GameSession
    before = dict(vars(cls))
    assert cls.__flags__ & (1 << 8)  # Py_TPFLAGS_IMMUTABLETYPE
    with pytest.raises(TypeError, match="immutable type"):
        setattr(cls, name, value)
    if name in before:
        with pytest.raises(TypeError, match="immutable type"):
            delattr(cls, name)
    assert dict(vars(cls)) == before
    for make in (cls, lambda: object.__new__(cls), lambda: cls.__new__(cls)):
        with pytest.raises(TypeError):
            make()
    assert session_of(3).get_year(1)["age"] == 1


@pytest.mark.parametrize("name", ["total_years", "total_pages", "total_score", "final_age", "is_ended"])
def test_properties_are_read_only(name):
    session = session_of(1)
    with pytest.raises(AttributeError):
        setattr(session, name, 1)
    with pytest.raises(AttributeError):
        delattr(session, name)


def test_no_new_attributes():
    session = session_of(1)
    with pytest.raises(AttributeError):
        session.extra = 1
    with pytest.raises(AttributeError):
        session.__dict__
    with pytest.raises(TypeError):
        import weakref

        weakref.ref(session)


def test_class_docstring():
    doc = core.GameSession.__doc__
    assert len(doc) == 444
    title, blank, *rest = doc.split("\n")
    assert "GameSession" in title and "native memory" in title and blank == ""
    assert (
        "\n\nThis PyClass allows Python to hold a handle to the simulation result\n"
        "without serializing the entire data structure. Data is lazily accessed\n"
        "through getter methods.\n\n"
    ) in doc
    assert "lists, shared handles, text, 32-bit integers" in doc


@pytest.mark.parametrize(
    "name, doc",
    [
        ("total_years", "Total number of years in the trajectory"),
        ("total_pages", "Total number of pages (50 years per page by default)"),
        ("total_score", "Total score from summary"),
        ("final_age", "Final age (age of the last year)"),
        ("is_ended", "Whether the simulation has ended"),
    ],
)
def test_property_docstrings(name, doc):
    assert getattr(core.GameSession, name).__doc__ == doc


@pytest.mark.parametrize(
    "name, signature, doc",
    [
        ("get_page_data", "($self, page, years_per_page=None)",
         "Get paginated trajectory data\n\n# Arguments\n* `page` - Page number (1-indexed)\n"
         "* `years_per_page` - Number of years per page (default: 50)\n\n# Returns\n"
         "List of year dicts for the requested page, or empty list if out of bounds"),
        ("get_year", "($self, index)",
         "Get a single year by index\n\n# Arguments\n* `index` - Year index (0-indexed)\n\n"
         "# Returns\nYear dict or None if out of bounds"),
        ("get_years_range", "($self, start, end)",
         "Get a range of years\n\n# Arguments\n* `start` - Start index (inclusive)\n"
         "* `end` - End index (exclusive)\n\n# Returns\nList of year dicts, or empty list if out of bounds"),
        ("get_year_formatted", "($self, index)",
         "Get pre-formatted year content\n\n# Arguments\n* `index` - Year index (0-indexed)\n\n"
         "# Returns\nDict with pre-rendered text, or None if out of bounds"),
        ("get_summary", "($self)", "Get the summary with pre-rendered progress bars"),
        ("get_new_achievements", "($self)", "Get new achievements unlocked during simulation"),
        ("get_triggered_events", "($self)", "Get triggered event IDs"),
        ("get_replacements", "($self)", "Get talent replacements"),
    ],
)
def test_method_docstrings_and_signatures(name, signature, doc):
    method = getattr(core.GameSession, name)
    assert method.__text_signature__ == signature
    assert method.__doc__ == doc
    bound = inspect.signature(getattr(session_of(1), name))
    assert str(bound) == signature.replace("$self, ", "").replace("$self", "")
