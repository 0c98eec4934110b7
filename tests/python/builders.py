"""Game configurations and records for the Python tests.

A record builder fills in the fields its record needs; every keyword is a
field of the record, replacing a default or adding a field. The whole-life
configurations below give each age a single candidate, so the weighted draw
always picks it, and no talent has a replacement table with more than one
candidate: their lives do not depend on the random generator.
"""

WHITE = "\u26aa"
BLUE = "\U0001f535"
PURPLE = "\U0001f7e3"
ORANGE = "\U0001f7e0"
DEFAULT_EMOJI = {0: WHITE, 1: BLUE, 2: PURPLE, 3: ORANGE}

FULL = "\u2588"
LIGHT = "\u2591"

COLLECTIONS = ("talents", "events", "ages", "achievements", "judge")


def bar(filled):
    return FULL * filled + LIGHT * (10 - filled)


def make_config(**collections):
    """All five collections, empty unless given."""
    config = {name: {} for name in COLLECTIONS}
    config.update(collections)
    return config


def talent(tid=1, **fields):
    return {"id": tid, "name": f"t{tid}", "description": f"talent {tid}", **fields}


def event(eid=1, **fields):
    return {"id": eid, "event": f"e{eid}", **fields}


def ending_event(eid=1, **fields):
    """An event that ends a life begun with LIF 1 in the year it happens."""
    return event(eid, effect={"LIF": -1}, **fields)


def achievement(aid=1, **fields):
    return {"id": aid, "name": f"a{aid}", "description": "d", "opportunity": "END",
            "condition": "AGE>0", **fields}


def level(minimum, grade, text):
    return {"min": minimum, "grade": grade, "text": text}


class Record:
    """A record read through attributes instead of dict items."""

    def __init__(self, /, **fields):
        self.__dict__.update(fields)


class LoudDict(dict):
    """A dict whose own look-ups fail the test: the loader must read dicts,
    subclasses included, by the plain dict look-up."""

    def __getitem__(self, key):
        raise AssertionError("subclass item access used")

    def __missing__(self, key):
        raise AssertionError("subclass __missing__ used")

    def get(self, key, default=None):
        raise AssertionError("subclass get used")


class Index:
    """An int-like host value: __index__ returns `value`, or raises it when
    it is an exception."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value


def one_year_config(text="e1", **collections):
    """Age 0 draws event 1, which shows `text` and ends the life (LIF starts at 1)."""
    collections.setdefault("events", {1: ending_event(1, event=text)})
    collections.setdefault("ages", {0: {"age": 0, "events": [(1, 1.0)]}})
    return make_config(**collections)


# Talent 900 ends the life at the end of the year in which it fires.
END_TALENT = 900


def mortal(**fields):
    return talent(END_TALENT, name="Mortal", description="The end.", grade=0,
                  effect={"LIF": -1}, **fields)


def years_config(years, grade_of=lambda age: age % 4):
    """A life of exactly `years` years (ages 0 to years - 1).

    Each age draws its own event "Age <n>." with grade grade_of(age); talent
    900 ends the life in the last year. With years == 0 the talent has no
    condition, fires before birth, and no year is simulated.
    """
    end = mortal(condition=f"AGE>={years - 1}") if years > 0 else mortal()
    events = {1000 + a: event(1000 + a, event=f"Age {a}.", grade=grade_of(a))
              for a in range(max(years, 1))}
    ages = {a: {"age": a, "events": [(1000 + a, 1.0)]} for a in range(max(years, 1))}
    return make_config(talents={END_TALENT: end}, events=events, ages=ages)


def slow_config(talents=50_000):
    """A life that runs to the year bound, testing every talent's condition
    each year (none ever holds). Simulate it with talent ids slow_ids()."""
    return make_config(talents={i: talent(i, description="never", condition=f"(AGE<-5)&(CHR>{i})")
                                for i in range(1, talents + 1)})


def slow_ids(talents=50_000):
    return list(range(1, talents + 1))


def judged_config(judge):
    """A one-year life graded by `judge`; the graded maxima are the start values."""
    return make_config(talents={END_TALENT: mortal(condition="AGE>=0")}, judge=judge)


def grades_config(grades):
    """One year whose lines are one event per grade, in the given order (a chain)."""
    events = {}
    for i, grade in enumerate(grades):
        eid = 10 + i
        fields = {}
        if i + 1 < len(grades):
            fields["branch"] = [{"condition": "", "event_id": eid + 1}]
        else:
            fields["effect"] = {"LIF": -1}
        events[eid] = event(eid, event=f"line {i}", grade=grade, **fields)
    return make_config(events=events, ages={0: {"age": 0, "events": [(10, 1.0)]}})


def story_config():
    """A three-year life worked out by hand in test_session_life.py."""
    talents = {
        1: talent(1, name="Early Bloom", description="You walked before you crawled.", grade=2,
                  condition="AGE?[1]", effect={"INT": 2}),
        # Stored under key 2 with its own id 20: the result shows 20.
        2: talent(20, name="Sturdy", description="Nothing slows you down.", grade=1,
                  effect={"STR": 3}),
        3: talent(3, name="Never", description="This talent never fires.", grade=3,
                  condition="AGE > 1"),
    }
    events = {
        10: event(10, event="You were born.", grade=0, effect={"CHR": 1}),
        11: event(11, event="You found a map", grade=1, post_event=" and kept it.",
                  branch=[{"condition": "INT>9", "event_id": 99},
                          {"condition": "INT>7", "event_id": 12},
                          {"condition": "", "event_id": 13}]),
        12: event(12, event="You followed it to the sea.", grade=2, no_random=True,
                  postEvent=" Salt air!", effect={"MNY": 2},
                  branch=[{"condition": "EVT?[12]", "event_id": 13}]),
        13: event(13, event="You rested at last.", grade=3, effect={"LIF": -1}),
    }
    ages = {
        0: {"age": 0, "events": [(10, 1.0)]},
        1: {"age": 1, "events": [(12, 5.0), (11, 1.0)]},  # 12 is no_random
        2: {"age": 2, "events": [(13, 1.0)]},
    }
    # id: name, grade, opportunity, condition
    unlocked = {
        100: ("Head Start", 1, "START", "STR>=3"),
        101: ("Seafarer", 2, "trajectory", "EVT?[12]"),
        102: ("Scholar", 3, "SUMMARY", "HINT>=8"),
        103: ("Known", 0, "START", ""),  # passed in as already achieved
        104: ("Unreachable", 0, "END", ""),
        105: ("Broken", 0, "TRAJECTORY", "AGE >= 0"),
    }
    achievements = {aid: achievement(aid, name=name, description=name + " unlocked", grade=grade,
                                     opportunity=opportunity, condition=condition)
                    for aid, (name, grade, opportunity, condition) in unlocked.items()}
    judge = {
        "HCHR": [level(0, 0, "Plain"), level(6, 2, "Charming")],
        "HINT": [level(9, 3, "Genius"), level(0, 1, "Bright")],
        "HSTR": [level(5, 1, "Strong")],
        "HMNY": [],
        "HSPR": [level(5, 1, "Content"), level(5, 2, "Also content")],
        "HAGE": [level(0, 0, "Brief")],
        "SUM": [level(50, 2, "Good"), level(0, 0, "Poor")],
    }
    return make_config(talents=talents, events=events, ages=ages, achievements=achievements,
                       judge=judge)


def replacement_config():
    """Talent 5 is always replaced by talent 6 (the only candidate)."""
    talents = {
        5: talent(5, name="Plain", description="Nothing special.", grade=0,
                  replacement={"talent": {"6": 1.0}}),
        6: talent(60, name="Gifted", description="Something special.", grade=3,
                  condition="AGE?[0]", effect={"CHR": 4}),
        7: talent(7, name="Ghost", description="Replaced by an unknown talent.", grade=0,
                  replacement={"talent": {"77": 2.0}}),
    }
    events = {1: event(1, event="A short life.", grade=1, effect={"LIF": -1})}
    return make_config(talents=talents, events=events,
                       ages={0: {"age": 0, "events": [(1, 1.0)]}})


def history_config():
    """START achievements that reveal the play history the engine received."""
    checks = {
        1: "TMS=0",
        2: "TMS=-5",
        3: "TMS=3",
        4: "CACHV=0",
        5: "CACHV=1",
        6: "CACHV=-2",
        7: "AEVT?[7]",
        8: "ATLT?[8]",
    }
    achievements = {aid: achievement(aid, name=cond, description=cond + " unlocked", grade=0,
                                     opportunity="START", condition=cond)
                    for aid, cond in checks.items()}
    return make_config(talents={END_TALENT: mortal()}, achievements=achievements)
