"""Random configurations built from random Python values.

Whatever the host passes, init_config either loads it or raises one of the
documented exception types (or, for a required field whose attribute raises,
that attribute's own exception), and every configuration that loads
simulates lives that end.
"""

import pytest
from hypothesis import HealthCheck, event, given, settings
from hypothesis import strategies as st

import sablewick_core as core
from builders import Index, LoudDict, Record, make_config

pytestmark = pytest.mark.slow

MAX_YEARS = 1000  # simulator::kMaxYears

DOCUMENTED = (TypeError, ValueError, KeyError, AttributeError, OverflowError,
              UnicodeEncodeError, RuntimeError)

SETTINGS = settings(max_examples=300, deadline=None, derandomize=False,
                    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large,
                                           HealthCheck.filter_too_much])


class Boom(Exception):
    """Raised by host code that the loader calls (attributes, __index__, ...)."""


class Raising:
    """Every attribute look-up raises: absent for optional fields, the error for required ones."""

    def __getattr__(self, name):
        raise Boom(name)


def as_record(fields):
    return Record(**fields)


class Floaty:
    def __float__(self):
        raise Boom("float")


class NeverSeen(Exception):
    """Raised by host code whose error must never reach the caller."""


class BadLen(list):
    """A list whose length query raises: only a capacity hint, so ignored."""

    def __len__(self):
        raise NeverSeen("len")


EDGE_INTS = st.sampled_from([0, 1, -1, 2**31 - 1, -2**31, 2**31, -2**31 - 1, 2**63 - 1, -2**63,
                             2**63, 2**64, -2**64, 10**40, True, False])
INTS = st.one_of(EDGE_INTS, st.integers(), st.integers(-5, 60))
FLOATS = st.floats(allow_nan=True, allow_infinity=True)
SURROGATES = st.characters(min_codepoint=0xD800, max_codepoint=0xDFFF, exclude_categories=())
TEXTS = st.one_of(
    st.text(st.characters(codec=None, exclude_categories=()), max_size=12),
    st.text(st.one_of(SURROGATES, st.sampled_from("AGE?[1,]>=<!&|() ")), max_size=12),
    st.sampled_from(["AGE>0", "AGE?[1,2,3]", "LIF<1", "(CHR>5|INT>5)&MNY<3", "TLT?[1]",
                     "AGE?[", "EVT![1]", "", "   ", "((", "a|", "SUM>0", "RDM>0"]),
)
# Texts that encode: what a configuration that loads holds.
CLEAN_TEXTS = st.one_of(
    st.text(st.characters(codec="utf-8"), max_size=12),
    st.text(st.sampled_from("AGE?[1,]>=<!&|() CHRTLV0"), max_size=16),
    st.sampled_from(["AGE>0", "AGE?[1,2,3]", "LIF<1", "(CHR>5|INT>5)&MNY<3", "TLT?[1]", "EVT![1]", ""]),
)
SCALARS = st.one_of(st.none(), INTS, FLOATS, TEXTS, st.binary(max_size=4),
                    st.builds(Index, st.one_of(INTS.map(int), st.builds(Boom, st.just("index")))), st.builds(Floaty),
                    st.builds(Raising))


def containers(children):
    return st.one_of(
        st.lists(children, max_size=4),
        st.lists(children, max_size=4).map(tuple),
        st.lists(children, max_size=3).map(BadLen),
        st.dictionaries(st.one_of(TEXTS, INTS), children, max_size=4),
        st.dictionaries(TEXTS, children, max_size=3).map(as_record),
        st.frozensets(st.integers(-3, 3), max_size=3),
    )


WILD = st.recursive(SCALARS, containers, max_leaves=12)


def configurations(wild):
    """Configurations of plausible shape. With `wild`, any field or record
    may be anything at all; without, only the fields the loader reads
    leniently (which never fail) are, so that most of them load."""

    def strict(plausible):
        return st.one_of(plausible, plausible, plausible, WILD) if wild else plausible

    def lenient(plausible):
        return st.one_of(plausible, plausible, WILD)

    def record(required, optional):
        if wild:
            drawn = st.fixed_dictionaries({}, optional={**required, **optional})
            return st.one_of(drawn, drawn.map(as_record), drawn.map(LoudDict), st.builds(Raising), WILD)
        drawn = st.fixed_dictionaries(required, optional=optional)
        return st.one_of(drawn, drawn.map(as_record), drawn.map(LoudDict))

    ids = st.integers(-3, 12)
    TEXT = TEXTS if wild else CLEAN_TEXTS
    texts = strict(TEXT)
    conditions = lenient(TEXT)
    effect = lenient(st.fixed_dictionaries({}, optional={
        k: lenient(st.integers(-3, 3)) for k in ("CHR", "INT", "STR", "MNY", "SPR", "LIF", "AGE", "RDM")}))
    weights = strict(st.dictionaries(st.one_of(st.integers(-2, 12).map(str), TEXT),
                                     st.one_of(st.floats(0, 5), FLOATS, st.integers(-3, 2**40)), max_size=4))
    talent = record(
        {"id": strict(ids), "name": texts, "description": texts},
        {"grade": lenient(st.integers(-1, 4)), "condition": conditions, "exclusive": lenient(st.booleans()),
         "status": lenient(INTS), "max_triggers": lenient(st.integers(-1, 3)), "effect": effect,
         "exclude": strict(st.lists(ids, max_size=3)),
         "replacement": st.fixed_dictionaries({}, optional={"grade": weights, "talent": weights})})
    branch = record({"condition": strict(TEXT)},
                    {"event_id": strict(ids), "eventId": strict(ids)}) if wild else \
        st.fixed_dictionaries({"condition": TEXT, "event_id": ids})
    event = record(
        {"id": strict(ids), "event": texts},
        {"grade": lenient(st.integers(-1, 4)), "no_random": lenient(st.booleans()),
         "NoRandom": lenient(st.booleans()), "include": conditions, "exclude": conditions,
         "post_event": lenient(TEXT), "postEvent": lenient(TEXT), "effect": effect,
         "branch": strict(st.lists(branch, max_size=3))})
    age = record(
        {"age": strict(ids)},
        {"talents": strict(st.lists(ids, max_size=3)),
         "events": strict(st.lists(st.one_of(st.tuples(ids, st.floats(0, 3)),
                                             st.tuples(ids, st.floats(allow_nan=True), TEXT),
                                             st.lists(ids, min_size=2, max_size=3)), max_size=6))})
    achievement = record(
        {"id": strict(ids), "name": texts, "description": texts,
         "opportunity": strict(st.sampled_from(["START", "TRAJECTORY", "SUMMARY", "END", "x", ""])),
         "condition": strict(TEXT)},
        {"grade": lenient(INTS)})
    level = record({"min": strict(st.integers(-2**31, 2**31 - 1)), "grade": strict(st.integers(-1, 4)),
                    "text": texts}, {})
    keys = st.one_of(ids, ids.map(str), INTS, TEXT, FLOATS) if wild else st.one_of(ids, ids.map(str))
    judge_keys = st.one_of(st.sampled_from(["HCHR", "SUM", "HAGE"]), TEXT)

    def collection(values, keys=keys):
        return strict(st.dictionaries(keys, values, max_size=5))

    config = st.fixed_dictionaries({
        "talents": collection(talent),
        "events": collection(event),
        "ages": collection(age),
        "achievements": collection(achievement),
        "judge": collection(st.lists(level, max_size=3),
                            keys=st.one_of(judge_keys, INTS) if wild else judge_keys),
    }, optional={"extra": WILD})
    return st.one_of(config, WILD) if wild else config


CONFIG = st.one_of(configurations(wild=True), configurations(wild=False))
EMOJI = st.one_of(st.none(), st.none(), st.dictionaries(st.integers(-1, 4), TEXTS, max_size=4),
                  st.dictionaries(INTS, TEXTS, max_size=4), WILD)


def contains_host_code(value, seen=None):
    """True when loading `value` may run host code that raises Boom."""
    seen = seen if seen is not None else set()
    if id(value) in seen:
        return False
    seen.add(id(value))
    if isinstance(value, (Raising, Index, Floaty)):
        return True
    if isinstance(value, Record):
        value = vars(value)
    if isinstance(value, dict):
        return any(contains_host_code(k, seen) or contains_host_code(v, seen) for k, v in value.items())
    if isinstance(value, (list, tuple, frozenset)):
        return any(contains_host_code(v, seen) for v in value)
    return False


def load(config, emoji):
    """init_config's outcome: True when it loaded, else the exception (checked)."""
    try:
        if emoji is None:
            core.init_config(config)
        else:
            core.init_config(config, emoji)
    except DOCUMENTED:
        return False
    except Boom:
        assert contains_host_code(config) or contains_host_code(emoji)
        return False
    return True


def read_whole(session):
    """Calls every GameSession method; the life must have ended within its bound."""
    assert session.is_ended is True
    assert 0 <= session.total_years <= MAX_YEARS
    years = [session.get_year(i) for i in range(session.total_years)]
    assert all(isinstance(y, dict) for y in years)
    if session.total_years:
        assert years[-1]["is_end"] is True
        session.get_year_formatted(session.total_years - 1)
        session.get_years_range(0, session.total_years)
        session.get_page_data(1)
    session.get_summary()
    session.get_new_achievements()
    session.get_triggered_events()
    session.get_replacements()
    return session


def talent_choice(config):
    if isinstance(config, dict) and isinstance(config.get("talents"), dict):
        keys = [k for k in config["talents"] if isinstance(k, int) and -2**31 <= k < 2**31]
        return keys[:3]
    return []


@SETTINGS
@given(config=CONFIG, emoji=EMOJI)
def test_init_config_loads_or_raises_a_documented_error(config, emoji):
    loaded = load(config, emoji)
    event("loaded" if loaded else "refused")
    if loaded:
        session = core.simulate_full_life(talent_choice(config), {"CHR": 3, "INT": 3, "STR": 3, "MNY": 3},
                                          set())
        read_whole(session)


def field(plausible):
    """Mostly a value that converts, sometimes anything at all."""
    return st.one_of(plausible, plausible, plausible, WILD)


IDS = st.integers(-3, 12)

# The arguments of a simulation: plausible values mixed with anything at all.
SIM_ARGS = st.fixed_dictionaries({
    "talent_ids": field(st.lists(IDS, max_size=4)),
    "properties": field(st.dictionaries(st.sampled_from(["CHR", "INT", "STR", "MNY", "SPR", "LIF", "AGE", "x"]),
                                        INTS, max_size=5)),
    "achieved_ids": field(st.frozensets(IDS, max_size=3)),
}, optional={"tms": field(INTS), "aevt": field(st.lists(IDS, max_size=3)),
             "atlt": field(st.lists(IDS, max_size=3)), "cachv": field(INTS)})

FIXED_CONFIG = {
    "talents": {i: {"id": i, "name": f"t{i}", "description": "d", "condition": "AGE?[1,2,3]",
                    "effect": {"RDM": 1}, "replacement": {"talent": {str(i + 1): 1.0}}} for i in range(5)},
    "events": {
        1: {"id": 1, "event": "one", "effect": {"LIF": -1}, "include": "AGE>20"},
        2: {"id": 2, "event": "two", "branch": [{"condition": "RDM>0|AGE>0", "event_id": 3}]},
        3: {"id": 3, "event": "three", "effect": {"CHR": 1}},
    },
    "ages": {a: {"age": a, "events": [(1, 1.0), (2, 2.0)], "talents": [a % 5]} for a in range(40)},
    "achievements": {1: {"id": 1, "name": "a", "description": "d", "opportunity": "TRAJECTORY",
                         "condition": "TLT?[1]&EVT?[3]"}},
    "judge": {"SUM": [{"min": 0, "grade": 1, "text": "ok"}], "HAGE": [{"min": 10, "grade": 2, "text": "old"}]},
}


@SETTINGS
@given(args=SIM_ARGS)
def test_simulation_arguments_simulate_or_raise_a_documented_error(args):
    core.init_config(FIXED_CONFIG)
    try:
        session = core.simulate_full_life(**args)
    except DOCUMENTED:
        return
    except Boom:
        assert contains_host_code(args)
        return
    read_whole(session)


@pytest.mark.parametrize("mutation", ["grow", "shrink", "replace"])
def test_a_collection_changed_while_it_is_read_is_handled(mutation):
    """Host code run during the load changes the very dict being walked."""
    talents = {}

    class Sneaky:
        id = 1
        description = "d"

        @property
        def name(self):
            if mutation == "grow":
                talents[len(talents) + 10] = {"id": 9, "name": "n", "description": "d"}
            elif mutation == "shrink":
                talents.popitem()
            else:
                talents.clear()
                talents[5] = {"id": 5, "name": "n", "description": "d"}
                talents[6] = {"id": 6, "name": "n", "description": "d"}
            return "sneaky"

    talents[1] = Sneaky()
    talents[2] = {"id": 2, "name": "n", "description": "d"}
    config = make_config(talents=talents)
    try:
        core.init_config(config)
    except DOCUMENTED:
        pass
    # Whatever happened, the module still works.
    core.init_config(FIXED_CONFIG)
    read_whole(core.simulate_full_life([0], {}, set()))
