"""Small deterministic game configurations for the session and simulation tests.

Every age table used here has a single candidate, so the weighted draw always
picks it, and no talent has a replacement table with more than one candidate:
the lives these builders produce do not depend on the random generator.
"""

WHITE = "\u26aa"
BLUE = "\U0001f535"
PURPLE = "\U0001f7e3"
ORANGE = "\U0001f7e0"
DEFAULT_EMOJI = {0: WHITE, 1: BLUE, 2: PURPLE, 3: ORANGE}

FULL = "\u2588"
LIGHT = "\u2591"


def bar(filled):
    return FULL * filled + LIGHT * (10 - filled)


def config(talents=None, events=None, ages=None, achievements=None, judge=None):
    return {
        "talents": talents or {},
        "events": events or {},
        "ages": ages or {},
        "achievements": achievements or {},
        "judge": judge or {},
    }


def talent(tid, name, description, grade=0, **fields):
    record = {"id": tid, "name": name, "description": description, "grade": grade}
    record.update(fields)
    return record


def event(eid, text, grade=0, **fields):
    record = {"id": eid, "event": text, "grade": grade}
    record.update(fields)
    return record


def achievement(aid, name, opportunity, condition, grade=0, description=None):
    return {
        "id": aid,
        "name": name,
        "description": description if description is not None else name + " unlocked",
        "grade": grade,
        "opportunity": opportunity,
        "condition": condition,
    }


def level(minimum, grade, text):
    return {"min": minimum, "grade": grade, "text": text}


# Talent 900 ends the life at the end of the year in which it fires.
END_TALENT = 900


def years_config(years, grade_of=lambda age: age % 4):
    """A life of exactly `years` years (ages 0 to years - 1).

    Each age draws its own event "Age <n>." with grade grade_of(age); talent
    900 ends the life in the last year. With years == 0 the talent has no
    condition, fires before birth, and no year is simulated.
    """
    end = talent(END_TALENT, "Mortal", "The end.", grade=0, effect={"LIF": -1})
    if years > 0:
        end["condition"] = f"AGE>={years - 1}"
    events = {1000 + a: event(1000 + a, f"Age {a}.", grade_of(a)) for a in range(max(years, 1))}
    ages = {a: {"age": a, "events": [(1000 + a, 1.0)]} for a in range(max(years, 1))}
    return config(talents={END_TALENT: end}, events=events, ages=ages)


def judged_config(judge):
    """A one-year life graded by `judge`; the graded maxima are the start values."""
    return config(
        talents={END_TALENT: talent(END_TALENT, "Mortal", "The end.", effect={"LIF": -1},
                                    condition="AGE>=0")},
        judge=judge,
    )


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
        events[eid] = event(eid, f"line {i}", grade, **fields)
    return config(events=events, ages={0: {"age": 0, "events": [(10, 1.0)]}})


def story_config():
    """A three-year life worked out by hand in test_session_life.py."""
    talents = {
        1: talent(1, "Early Bloom", "You walked before you crawled.", grade=2,
                  condition="AGE?[1]", effect={"INT": 2}),
        # Stored under key 2 with its own id 20: the result shows 20.
        2: talent(20, "Sturdy", "Nothing slows you down.", grade=1, effect={"STR": 3}),
        3: talent(3, "Never", "This talent never fires.", grade=3, condition="AGE > 1"),
    }
    events = {
        10: event(10, "You were born.", 0, effect={"CHR": 1}),
        11: event(11, "You found a map", 1, post_event=" and kept it.",
                  branch=[{"condition": "INT>9", "event_id": 99},
                          {"condition": "INT>7", "event_id": 12},
                          {"condition": "", "event_id": 13}]),
        12: event(12, "You followed it to the sea.", 2, no_random=True, postEvent=" Salt air!",
                  effect={"MNY": 2}, branch=[{"condition": "EVT?[12]", "event_id": 13}]),
        13: event(13, "You rested at last.", 3, effect={"LIF": -1}),
    }
    ages = {
        0: {"age": 0, "events": [(10, 1.0)]},
        1: {"age": 1, "events": [(12, 5.0), (11, 1.0)]},  # 12 is no_random
        2: {"age": 2, "events": [(13, 1.0)]},
    }
    achievements = {
        100: achievement(100, "Head Start", "START", "STR>=3", grade=1),
        101: achievement(101, "Seafarer", "trajectory", "EVT?[12]", grade=2),
        102: achievement(102, "Scholar", "SUMMARY", "HINT>=8", grade=3),
        103: achievement(103, "Known", "START", ""),  # passed in as already achieved
        104: achievement(104, "Unreachable", "END", ""),
        105: achievement(105, "Broken", "TRAJECTORY", "AGE >= 0"),
    }
    judge = {
        "HCHR": [level(0, 0, "Plain"), level(6, 2, "Charming")],
        "HINT": [level(9, 3, "Genius"), level(0, 1, "Bright")],
        "HSTR": [level(5, 1, "Strong")],
        "HMNY": [],
        "HSPR": [level(5, 1, "Content"), level(5, 2, "Also content")],
        "HAGE": [level(0, 0, "Brief")],
        "SUM": [level(50, 2, "Good"), level(0, 0, "Poor")],
    }
    return config(talents, events, ages, achievements, judge)


def replacement_config():
    """Talent 5 is always replaced by talent 6 (the only candidate)."""
    talents = {
        5: talent(5, "Plain", "Nothing special.", grade=0, replacement={"talent": {"6": 1.0}}),
        6: talent(60, "Gifted", "Something special.", grade=3, condition="AGE?[0]",
                  effect={"CHR": 4}),
        7: talent(7, "Ghost", "Replaced by an unknown talent.", replacement={"talent": {"77": 2.0}}),
    }
    events = {1: event(1, "A short life.", 1, effect={"LIF": -1})}
    return config(talents, events, {0: {"age": 0, "events": [(1, 1.0)]}})


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
    achievements = {aid: achievement(aid, cond, "START", cond) for aid, cond in checks.items()}
    talents = {END_TALENT: talent(END_TALENT, "Mortal", "The end.", effect={"LIF": -1})}
    return config(talents=talents, achievements=achievements)
