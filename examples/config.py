"""An example game for sablewick_core: a life in a small harbour town.

`build_config()` returns the dict that `sablewick_core.init_config` takes.
Everything here is plain data; the age tables are generated so that each
stage of life draws from its own events and death grows likelier with age
until it is certain at the last age.
"""

import math
from typing import Any

Record = dict[str, Any]

LAST_AGE = 100

# ---------------------------------------------------------------- talents


def _talent(tid: int, name: str, description: str, grade: int, **fields: Any) -> Record:
    record = {"id": tid, "name": name, "description": description, "grade": grade}
    record.update(fields)
    return record


TALENTS = {
    1001: _talent(1001, "Sea Legs", "The deck never sways under you.", 0,
                  effect={"STR": 1}),
    1002: _talent(1002, "Bookworm", "You read every label in the shop.", 1,
                  condition="AGE?[6]", effect={"INT": 2}),
    1003: _talent(1003, "Silver Tongue", "People lean in when you talk.", 1,
                  condition="AGE?[12]", effect={"CHR": 2}),
    1004: _talent(1004, "Lucky Coin", "A coin turns up in your pocket again.", 2,
                  condition="AGE?[10,30,50]", effect={"MNY": 1}),
    1005: _talent(1005, "Iron Lungs", "At sixty you still outrow the young ones.", 2,
                  condition="AGE?[60]", effect={"STR": 2}),
    1006: _talent(1006, "Night Owl", "You learn best after midnight.", 0,
                  condition="AGE>=15", effect={"INT": 1, "SPR": -1}),
    1007: _talent(1007, "Old Soul", "Another decade, another calm.", 3,
                  condition="AGE?[30,50,70]", effect={"SPR": 1}),
    1008: _talent(1008, "Restless", "You cannot sit still.", 0,
                  exclude=[1007],
                  replacement={"grade": {"1": 2.0, "2": 1.0}}),
    1009: _talent(1009, "Gardener", "Your tomatoes are the envy of the street.", 1,
                  condition="AGE?[40]", effect={"SPR": 2}),
    1010: _talent(1010, "Quick Hands", "You mend nets faster than anyone.", 1,
                  condition="AGE?[16]", effect={"STR": 1, "MNY": 1}),
    1011: _talent(1011, "Wanderer", "The road gives you something new.", 2,
                  condition="AGE?[20,35]", effect={"RDM": 2}),
    1012: _talent(1012, "Harbour Born", "Salt in your veins.", 3,
                  exclusive=True, effect={"CHR": 1, "STR": 1, "SPR": 1}),
}

# ----------------------------------------------------------------- events


def _event(eid: int, text: str, grade: int = 0, **fields: Any) -> Record:
    record = {"id": eid, "event": text, "grade": grade}
    record.update(fields)
    return record


def _once(eid: int) -> str:
    """Exclude condition that keeps an event from being drawn twice."""
    return f"EVT?[{eid}]"


EVENTS = {
    # Birth (age 0).
    2001: _event(2001, "You were born in the lighthouse keeper's cottage.", 1,
                 effect={"SPR": 1}),
    2002: _event(2002, "You were born during the spring storm.", 0, effect={"STR": 1}),
    2003: _event(2003, "You were born above your parents' chandlery.", 1, effect={"MNY": 2}),
    # Childhood (1 to 5).
    2010: _event(2010, "You said your first word: \"boat\".", 0, exclude=_once(2010)),
    2011: _event(2011, "You fell off the jetty", 0, post_event=" and learned to swim.",
                 exclude=_once(2011),
                 branch=[{"condition": "STR<0", "event_id": 2012}],
                 effect={"STR": 1}),
    2012: _event(2012, "A fisherman pulled you out, coughing.", 0, no_random=True,
                 effect={"SPR": -1}),
    2013: _event(2013, "You collected a bucket of shells.", 0, effect={"SPR": 1}),
    2015: _event(2015, "You chased crabs along the tide line.", 0),
    2016: _event(2016, "You were given a wooden boat for your birthday.", 1,
                 exclude=_once(2016), effect={"SPR": 1}),
    2014: _event(2014, "You had a fever for a week.", 0, effect={"STR": -1}),
    # School years (6 to 17).
    2020: _event(2020, "You started at the village school.", 0, exclude=_once(2020),
                 branch=[{"condition": "INT>=6", "event_id": 2021}],
                 post_event=" You mostly watched the gulls."),
    2021: _event(2021, "The teacher lent you her own books.", 2, no_random=True,
                 effect={"INT": 2}),
    2022: _event(2022, "You won the regatta for juniors.", 2, include="STR>=4",
                 exclude=_once(2022), effect={"STR": 1, "SPR": 1}),
    2023: _event(2023, "You were caught skipping class at the docks.", 0,
                 effect={"INT": -1, "SPR": 1}),
    2024: _event(2024, "You made a friend for life.", 1, exclude=_once(2024),
                 effect={"CHR": 1, "SPR": 1}),
    2025: _event(2025, "You sold lemonade to the tourists.", 0, exclude=_once(2025),
                 effect={"MNY": 1}),
    2026: _event(2026, "You spent the holidays fishing off the pier.", 0),
    2027: _event(2027, "You read a book about distant islands.", 0, include="INT>=5",
                 effect={"INT": 1}),
    # Young adult (18 to 29).
    2030: _event(2030, "You met someone at the harbour festival.", 1, exclude=_once(2030),
                 branch=[{"condition": "CHR>=6", "event_id": 2031},
                         {"condition": "CHR>=3", "event_id": 2032}],
                 post_event=" Nothing came of it."),
    2031: _event(2031, "You married the following summer.", 3, no_random=True,
                 effect={"SPR": 2}),
    2032: _event(2032, "You wrote letters for a year, then stopped.", 1, no_random=True),
    2033: _event(2033, "You signed on with a trawler crew.", 0, exclude=_once(2033),
                 effect={"STR": 1, "MNY": 1}),
    2034: _event(2034, "You went to study in the city.", 2, include="INT>=7",
                 exclude=_once(2034), effect={"INT": 2, "MNY": -1}),
    2035: _event(2035, "You spent a winter mending sails.", 0),
    2037: _event(2037, "You saved up for a room of your own.", 1, exclude=_once(2037),
                 effect={"MNY": 1, "SPR": 1}),
    2036: _event(2036, "A storm wrecked your first boat.", 0, include="EVT?[2033]",
                 exclude=_once(2036), effect={"MNY": -2, "SPR": -1}),
    # Adult (30 to 59).
    2040: _event(2040, "You opened a small shop on the quay.", 2, include="MNY>=4",
                 exclude=_once(2040), effect={"MNY": 2}),
    2041: _event(2041, "Business was slow this year.", 0, include="EVT?[2040]",
                 effect={"MNY": -1}),
    2042: _event(2042, "You were elected to the harbour council.", 3, include="CHR>=7",
                 exclude=_once(2042), effect={"CHR": 1, "SPR": 1}),
    2043: _event(2043, "Your child took their first steps.", 2, include="EVT?[2031]",
                 exclude=_once(2043), effect={"SPR": 2}),
    2044: _event(2044, "You repainted the house blue.", 0, effect={"SPR": 1}),
    2045: _event(2045, "You hurt your back hauling crates.", 0, effect={"STR": -1}),
    2046: _event(2046, "You lost money on a cargo of pepper.", 0, include="MNY>=2",
                 effect={"MNY": -2}),
    2047: _event(2047, "You taught a neighbour's kid to sail.", 1, effect={"CHR": 1}),
    2048: _event(2048, "You caught a fever in the wet season.", 0,
                 branch=[{"condition": "STR<=0", "event_id": 2090}],
                 post_event=" You recovered."),
    # Old age (60 on).
    2050: _event(2050, "You retired and bought a rocking chair.", 1, exclude=_once(2050),
                 effect={"SPR": 1}),
    2051: _event(2051, "Your grandchildren visited for the summer.", 2, include="EVT?[2043]",
                 effect={"SPR": 1}),
    2052: _event(2052, "You told the same sea story for the hundredth time.", 0),
    2053: _event(2053, "Your knees predicted the weather correctly.", 0),
    2056: _event(2056, "You fed the harbour cats every morning.", 0),
    2057: _event(2057, "You watched the boats come in at dusk.", 1, effect={"SPR": 1}),
    2054: _event(2054, "You wrote down the town's history.", 2, include="INT>=8",
                 exclude=_once(2054), effect={"INT": 1}),
    2055: _event(2055, "The town named a bench after you.", 3, include="CHR>=8",
                 exclude=_once(2055), effect={"CHR": 1}),
    # Endings.
    2090: _event(2090, "The fever did not break.", 0, no_random=True, effect={"LIF": -1}),
    2091: _event(2091, "You fell asleep by the window and did not wake.", 1,
                 effect={"LIF": -1}),
    2092: _event(2092, "You were lost at sea in a winter gale.", 0, include="EVT?[2033]",
                 effect={"LIF": -1}),
}

STAGES = [
    # (first age, last age, events drawn at those ages)
    (1, 5, [2010, 2011, 2013, 2014, 2015, 2016]),
    (6, 17, [2022, 2023, 2024, 2025, 2026, 2027]),
    (18, 29, [2030, 2033, 2034, 2035, 2036, 2037]),
    (30, 59, [2040, 2041, 2042, 2043, 2044, 2045, 2046, 2047, 2048]),
    (60, LAST_AGE - 1, [2050, 2051, 2052, 2053, 2054, 2055, 2056, 2057]),
]


def _death_weight(age: int) -> float:
    """Weight of a natural death against the stage's events (each weight 1)."""
    if age < 40:
        return 0.0
    return 0.08 * math.exp(0.11 * (age - 60))


def _ages() -> dict[int, Record]:
    ages: dict[int, Record] = {0: {"age": 0, "events": [(2001, 1.0), (2002, 1.0), (2003, 1.0)]}}
    for first, last, events in STAGES:
        for age in range(first, last + 1):
            table = [(eid, 1.0) for eid in events]
            if age >= 18:
                table.append((2092, 0.005))
            weight = _death_weight(age)
            if weight > 0:
                table.append((2091, weight))
            ages[age] = {"age": age, "events": table}
    # Everyone starts school at six.
    ages[6]["events"] = [(2020, 1.0)]
    # The last age has one candidate only: the life ends there.
    ages[LAST_AGE] = {"age": LAST_AGE, "events": [(2091, 1.0)]}
    # Talents some ages grant.
    ages[18]["talents"] = [1010]
    ages[65]["talents"] = [1009]
    return ages


# ----------------------------------------------------------- achievements


def _achievement(aid: int, name: str, description: str, grade: int, opportunity: str,
                 condition: str) -> Record:
    return {"id": aid, "name": name, "description": description, "grade": grade,
            "opportunity": opportunity, "condition": condition}


ACHIEVEMENTS = {
    3001: _achievement(3001, "Born Rich", "Start a life with at least 8 money.", 1,
                       "START", "MNY>=8"),
    3002: _achievement(3002, "Salt of the Earth", "Start with Harbour Born.", 2,
                       "START", "TLT?[1012]"),
    3003: _achievement(3003, "Tied the Knot", "Get married.", 1, "TRAJECTORY", "EVT?[2031]"),
    3004: _achievement(3004, "Shopkeeper", "Open a shop on the quay.", 1, "TRAJECTORY",
                       "EVT?[2040]"),
    3005: _achievement(3005, "Scholar", "Reach 10 intelligence.", 2, "TRAJECTORY", "INT>=10"),
    3006: _achievement(3006, "Centenarian", "Live to the last age.", 3, "TRAJECTORY",
                       f"AGE>={LAST_AGE}"),
    3007: _achievement(3007, "Long Life", "Reach 80.", 2, "SUMMARY", "HAGE>=80"),
    3008: _achievement(3008, "Full Life", "Finish with a summary score of 170 or more.", 3,
                       "SUMMARY", "SUM>=170"),
    3009: _achievement(3009, "Regular", "Play five lives.", 1, "START", "TMS>=5"),
}

# ------------------------------------------------------------------ judge


def _levels(*levels: tuple[int, int, str]) -> list[Record]:
    return [{"min": m, "grade": g, "text": t} for m, g, t in levels]


JUDGE = {
    "HCHR": _levels((0, 0, "Forgettable"), (4, 1, "Pleasant"), (7, 2, "Charming"),
                    (10, 3, "Magnetic")),
    "HINT": _levels((0, 0, "Simple"), (4, 1, "Sharp"), (7, 2, "Learned"), (10, 3, "Brilliant")),
    "HSTR": _levels((0, 0, "Frail"), (4, 1, "Sturdy"), (7, 2, "Strong"), (10, 3, "Mighty")),
    "HMNY": _levels((0, 0, "Poor"), (4, 1, "Comfortable"), (7, 2, "Wealthy"), (10, 3, "Rich")),
    "HSPR": _levels((0, 0, "Gloomy"), (4, 1, "Content"), (7, 2, "Happy"), (10, 3, "Radiant")),
    "HAGE": _levels((0, 0, "Cut short"), (40, 1, "Middle years"), (70, 2, "Old age"),
                    (90, 3, "Very old")),
    "SUM": _levels((0, 0, "A quiet life"), (100, 1, "A good life"), (140, 2, "A rich life"),
                   (180, 3, "A legendary life")),
}


def build_config() -> dict[str, Any]:
    """A fresh configuration dict for `init_config`."""
    return {
        "talents": dict(TALENTS),
        "events": dict(EVENTS),
        "ages": _ages(),
        "achievements": dict(ACHIEVEMENTS),
        "judge": {key: list(levels) for key, levels in JUDGE.items()},
    }
