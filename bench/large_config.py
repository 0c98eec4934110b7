"""A large game configuration for the benchmarks, built from a seed.

    build_config(seed=..., shape="large")  -> the dict that init_config takes
    python large_config.py --json PATH [--seed N] [--shape S]
                                           writes it as JSON (for the C++
                                           benchmarks and tests)
    python large_config.py --choices PATH  writes player_choices() as JSON

Three shapes, each pure Python and deterministic (the same seed and shape
give the same configuration, byte for byte):

- "large" (the default): a full game. About 1,200 talents, 10,000 events, a
  weighted table of about 400 entries for every age from 0 to 150, 200
  achievements and the seven judge keys. Lives end on their own between about
  60 and 100 years: death events grow likelier with age, and the last age
  holds nothing but a death that no life survives.
- "dense": the same talents, achievements and judges, but every age from 0 to
  150 weighs 1,600 entries, nearly every event happens at most once (an
  `EVT?[own id]` exclude) and most includes and branches test lists of
  earlier events, so a life's event list grows long and is read all the time.
- "sparse": 3 to 8 candidates per age, conditions that read properties only
  (values, AGE, H*/L*, SUM; no list leaves), ages 0 to 999 with a few gaps,
  and a death hazard that lets lives run several hundred years; a few reach
  the engine's bound of 1000 years.

Ages that grant talents name, in the dense and sparse shapes, a few talent
ids that the configuration lacks as well.
"""

import argparse
import json
import math
import random

TALENT_COUNT = 1200
EVENT_COUNT = 10000
ACHIEVEMENT_COUNT = 200
LAST_AGE = 150
AGE_TABLE_SIZE = 400

TALENT_BASE = 1001          # talents 1001 .. 2200
EVENT_BASE = 10001          # events 10001 .. 20000
ACHIEVEMENT_BASE = 5001     # achievements 5001 .. 5200

VALUE_CODES = ("CHR", "INT", "STR", "MNY", "SPR")
JUDGE_KEYS = ("HCHR", "HINT", "HSTR", "HMNY", "HSPR", "HAGE", "SUM")

# Stages of a life: (name, first age, last age). Each stage draws its events
# from its own pool, with some overlap into the neighbouring pools.
STAGES = (
    ("cradle", 0, 5),
    ("schoolyard", 6, 12),
    ("restless", 13, 19),
    ("threshold", 20, 34),
    ("harvest", 35, 54),
    ("long_afternoon", 55, 74),
    ("evening", 75, LAST_AGE - 1),
)

# ------------------------------------------------------------------ words

ADJECTIVES = (
    "Quiet", "Brass", "Restless", "Gentle", "Crooked", "Bright", "Patient", "Hollow",
    "Velvet", "Stubborn", "Amber", "Wandering", "Careful", "Lucky", "Salted", "Silver",
    "Thorny", "Drowsy", "Nimble", "Stormy", "Humble", "Iron", "Paper", "Moss",
    "Lantern", "Copper", "Windward", "Frosted", "Ember", "Tidal",
)
NOUNS = (
    "Heart", "Hands", "Compass", "Voice", "Memory", "Lungs", "Gaze", "Spine",
    "Ledger", "Kettle", "Anchor", "Orchard", "Lantern", "Riddle", "Harbour", "Quill",
    "Mirror", "Bell", "Thread", "Horizon", "Hearth", "Sparrow", "Chisel", "Almanac",
)
VERBS = (
    "found", "lost", "mended", "traded", "painted", "borrowed", "buried", "carried",
    "sold", "built", "studied", "chased", "forgot", "planted", "repaired", "sketched",
    "hid", "returned", "won", "broke",
)
OBJECTS = (
    "a chipped teacup", "an old map", "a stray dog", "a wooden flute", "a bag of seeds",
    "a rusty bicycle", "a letter with no stamp", "a jar of buttons", "a cracked violin",
    "a box of postcards", "a clockwork bird", "a roll of blue cloth", "a lost glove",
    "a recipe in pencil", "a tin soldier", "a bundle of keys", "a kite with one wing",
    "a crate of apples", "a pocket telescope", "a pair of red boots",
)
PLACES = (
    "at the market", "by the river", "in the attic", "behind the bakery", "on the hill road",
    "at the station", "in the orchard", "under the bridge", "at the ferry landing",
    "in the library", "on the rooftop", "at the fairground", "in the old mill",
    "beside the chapel", "at the edge of town", "in a neighbour's garden",
)
FEELINGS = (
    "and felt lighter for it", "and told no one", "and laughed until dusk",
    "and kept it for years", "and regretted it a little", "and slept well that night",
    "and wrote it down", "and never quite understood why",
)
CODAS = (
    " The day ended quietly.", " Nobody noticed.", " It rained afterwards.",
    " You smiled about it later.", " The town talked for a week.", " It was enough.",
    " A bell rang somewhere.", " You went home early.",
)
DEATHS = (
    "You fell asleep in the garden chair and did not wake.",
    "Your heart gave out on a bright winter morning.",
    "A long illness ended in a quiet room.",
    "You left the world between one breath and the next.",
    "A fever came in the night and took you.",
    "You were found with a book open on your chest, at peace.",
    "The river was high that spring, and you did not come back.",
    "You slipped away while the kettle was still warm.",
)
STAGE_SCENES = {
    "cradle": ("You cried at the sound of thunder", "You took your first steps",
               "You grabbed the cat's tail", "You slept through a wedding"),
    "schoolyard": ("You were picked last for the team", "You learned to whistle",
                   "You got lost on a school trip", "You won a spelling contest"),
    "restless": ("You stayed out past midnight", "You started a band",
                 "You argued with your teacher", "You fell for someone in your class"),
    "threshold": ("You moved into a tiny flat", "You took a job at the print shop",
                  "You travelled south by train", "You signed your first lease"),
    "harvest": ("You were promoted", "You bought a house with a leaking roof",
                "You planted an orchard", "You raised a difficult child"),
    "long_afternoon": ("You retired early", "You took up the cello",
                       "You watched your grandchildren grow", "You walked the coast path"),
    "evening": ("You forgot a name you loved", "You told old stories to anyone who listened",
                "You outlived your oldest friend", "You watched the swallows return"),
}


def _sentence(rng):
    return f"You {rng.choice(VERBS)} {rng.choice(OBJECTS)} {rng.choice(PLACES)} {rng.choice(FEELINGS)}."


def _stage_of(age):
    for index, (_, first, last) in enumerate(STAGES):
        if first <= age <= last:
            return index
    return len(STAGES) - 1


# ------------------------------------------------------------- conditions


class Conditions:
    """Condition texts in the shapes a full game uses."""

    def __init__(self, rng, talent_ids):
        self.rng = rng
        self.talent_ids = talent_ids

    def value_leaf(self, low=0, high=14):
        rng = self.rng
        code = rng.choice(VALUE_CODES)
        op = rng.choice((">", "<", ">=", "<=", ">", "<", "=", "!="))
        return f"{code}{op}{rng.randint(low, high)}"

    def age_leaf(self, first, last):
        rng = self.rng
        form = rng.random()
        if form < 0.4:
            return f"AGE>={rng.randint(first, last)}"
        if form < 0.7:
            return f"AGE<{rng.randint(first, last) + 1}"
        ages = sorted(rng.sample(range(first, last + 1), min(3, last - first + 1)))
        return "AGE?[" + ",".join(map(str, ages)) + "]"

    def event_list(self, pool, count=None):
        count = count or self.rng.randint(1, 4)
        ids = self.rng.sample(pool, min(count, len(pool)))
        return "[" + ",".join(map(str, ids)) + "]"

    def misc_leaf(self, pool):
        rng = self.rng
        form = rng.random()
        if form < 0.30:
            return "EVT?" + self.event_list(pool)
        if form < 0.45:
            return "EVT!" + self.event_list(pool)
        if form < 0.55:
            return "TLT?" + "[" + ",".join(map(str, rng.sample(self.talent_ids, 3))) + "]"
        if form < 0.62:
            return "AEVT?" + self.event_list(pool, 2)
        if form < 0.70:
            return f"H{rng.choice(VALUE_CODES)}>{rng.randint(4, 16)}"
        if form < 0.78:
            return f"L{rng.choice(VALUE_CODES)}<{rng.randint(-2, 4)}"
        if form < 0.84:
            return f"SUM>{rng.randint(40, 160)}"
        if form < 0.90:
            return f"TMS>{rng.randint(0, 20)}"
        if form < 0.95:
            return f"CACHV>={rng.randint(1, 60)}"
        return f"{rng.choice(VALUE_CODES)}?[{rng.randint(0, 4)},{rng.randint(5, 9)},{rng.randint(10, 14)}]"

    def leaf(self, pool, first, last):
        roll = self.rng.random()
        if roll < 0.45:
            return self.value_leaf()
        if roll < 0.65:
            return self.age_leaf(first, last)
        return self.misc_leaf(pool)

    def combined(self, pool, first, last):
        """One to five leaves joined by & and |, with parentheses."""
        rng = self.rng
        leaf = lambda: self.leaf(pool, first, last)  # noqa: E731
        shape = rng.random()
        if shape < 0.30:
            return leaf()
        if shape < 0.50:
            return f"{leaf()}&{leaf()}"
        if shape < 0.62:
            return f"{leaf()}|{leaf()}"
        if shape < 0.76:
            return f"({leaf()}|{leaf()})&{leaf()}"
        if shape < 0.86:
            return f"{leaf()} & ({leaf()} | {leaf()})"
        if shape < 0.94:
            return f"({leaf()}&{leaf()})|({leaf()}&{leaf()})"
        return f"{leaf()}&({leaf()}|({leaf()}&{leaf()}))&{leaf()}"


# ----------------------------------------------------------------- effects


def _effect(rng, codes=VALUE_CODES, most=3, life=None):
    effect = {}
    for code in rng.sample(codes, rng.randint(1, most)):
        effect[code] = rng.choice((-2, -1, -1, 1, 1, 1, 2, 3))
    if rng.random() < 0.05:
        effect["RDM"] = rng.choice((-1, 1, 2))
    if life is not None:
        effect["LIF"] = life
    return effect


# ----------------------------------------------------------------- talents


def _talents(rng, conditions):
    talents = {}
    grades = (0,) * 50 + (1,) * 30 + (2,) * 15 + (3,) * 5
    ids = list(range(TALENT_BASE, TALENT_BASE + TALENT_COUNT))
    event_pool = list(range(EVENT_BASE, EVENT_BASE + EVENT_COUNT))
    for tid in ids:
        grade = rng.choice(grades)
        record = {
            "id": tid,
            "name": f"{rng.choice(ADJECTIVES)} {rng.choice(NOUNS)}",
            "description": _sentence(rng),
            "grade": grade,
        }
        roll = rng.random()
        if roll < 0.40:
            form = rng.random()
            if form < 0.35:
                ages = sorted(rng.sample(range(1, 100), rng.randint(1, 4)))
                record["condition"] = "AGE?[" + ",".join(map(str, ages)) + "]"
            elif form < 0.55:
                record["condition"] = f"{rng.choice(VALUE_CODES)}>{rng.randint(5, 12)}"
            elif form < 0.75:
                record["condition"] = "EVT?" + conditions.event_list(event_pool)
            else:
                record["condition"] = conditions.combined(event_pool, 0, 100)
            if rng.random() < 0.15:
                record["max_triggers"] = rng.randint(2, 6)
        if rng.random() < 0.85:
            record["effect"] = _effect(rng, most=2)
        if rng.random() < 0.05:
            record["exclusive"] = True
        if rng.random() < 0.10:
            record["exclude"] = rng.sample(ids, rng.randint(1, 3))
        if rng.random() < 0.05:
            replacement = {}
            if rng.random() < 0.6:
                replacement["grade"] = {str(g): rng.choice((0.5, 1.0, 2.0))
                                        for g in rng.sample(range(4), rng.randint(1, 3))}
            if not replacement or rng.random() < 0.5:
                replacement["talent"] = {str(t): rng.choice((1.0, 2.0, 3.0))
                                         for t in rng.sample(ids, rng.randint(1, 4))}
            record["replacement"] = replacement
        talents[tid] = record
    return talents


# ------------------------------------------------------------------ events


def _death_hazard(age):
    """Chance of dying in a year: a small floor and a Gompertz rise."""
    return min(0.95, 0.0004 + 5e-5 * math.exp(0.085 * age))


def _stage_pools(rng):
    """Event ids per stage, ahead of the death events."""
    ids = list(range(EVENT_BASE, EVENT_BASE + EVENT_COUNT))
    # The last ids are the death events and a few rare turns of fate.
    deaths = ids[-len(DEATHS) - 1:]
    rest = ids[:-len(DEATHS) - 1]
    spans = [last - first + 1 for _, first, last in STAGES]
    weights = [math.sqrt(span) for span in spans]
    total = sum(weights)
    pools, start = [], 0
    for index, w in enumerate(weights):
        size = round(len(rest) * w / total) if index < len(weights) - 1 else len(rest) - start
        pools.append(rest[start:start + size])
        start += size
    return pools, deaths


class _EventRules:
    """What a shape's events differ in. The builder makes every draw in one
    order for all shapes, so a shape's configuration stays the same dict."""

    follow_up_share = 10        # one event in N of a pool only follows a branch
    follow_ups_up_front = True  # drawn for every pool before the first event
    effect_share = 0.75
    branch_share = 1 / 7
    camel_case_share = 0.0      # how often a key takes its camel-case spelling

    def __init__(self, rng):
        self.rng = rng

    def key(self, snake, camel, snake_share):
        if not self.camel_case_share:
            return snake
        return snake if self.rng.random() < snake_share else camel

    def text(self, stage):
        rng = self.rng
        if rng.random() < 0.5:
            return f"{rng.choice(STAGE_SCENES[stage.name])} {rng.choice(PLACES)}."
        return _sentence(rng)

    def filters(self, record, eid, stage):
        """Sets the record's include and exclude."""
        raise NotImplementedError

    def branch_condition(self, stage):
        raise NotImplementedError


class _Stage:
    """Where in a life a pool's events happen: the stage's name, its ages
    and the events its conditions may name."""

    def __init__(self, name, first, last, earlier):
        self.name, self.first, self.last, self.earlier = name, first, last, earlier


def _stages_of(pools):
    for index, pool in enumerate(pools):
        name, first, last = STAGES[index]
        yield pool, _Stage(name, first, last, [eid for p in pools[max(0, index - 1):index + 1] for eid in p])


def _build_events(rules, pool_stages):
    """The drawn events of every pool, in pool order; `pool_stages` pairs each
    pool with its _Stage."""
    rng = rules.rng
    events = {}
    follow_ups = set()
    pool_stages = list(pool_stages)
    if rules.follow_ups_up_front:
        for pool, _ in pool_stages:
            follow_ups.update(rng.sample(pool, len(pool) // rules.follow_up_share))
    for pool, stage in pool_stages:
        if not rules.follow_ups_up_front:
            follow_ups = set(rng.sample(pool, len(pool) // rules.follow_up_share))
        targets = [eid for eid in pool if eid in follow_ups]
        for eid in pool:
            record = {"id": eid, "grade": rng.choice((0, 0, 0, 1, 1, 2, 3))}
            record["event"] = rules.text(stage)
            if eid in follow_ups:
                record[rules.key("no_random", "NoRandom", 0.8)] = True
            rules.filters(record, eid, stage)
            if rng.random() < 0.12:
                key = rules.key("post_event", "postEvent", 0.8)
                record[key] = rng.choice(CODAS)
            if rng.random() < rules.effect_share:
                record["effect"] = _effect(rng)
            if rng.random() < rules.branch_share and targets:
                branches = []
                for _ in range(rng.randint(1, 3)):
                    target = rng.choice(targets)
                    if eid in follow_ups and target <= eid:
                        continue  # chains of follow-ups only move forward
                    key = rules.key("event_id", "eventId", 0.9)
                    branches.append({"condition": rules.branch_condition(stage), key: target})
                if branches:
                    record["branch"] = branches
            events[eid] = record
    return events


def _turns_of_fate(rng, events, deaths):
    """A narrow escape (LIF +1) and the deaths (LIF -1), after the drawn events."""
    escape = deaths[-1]
    events[escape] = {"id": escape, "event": "You walked away from a collapsing bridge.",
                      "grade": 3, "exclude": f"EVT?[{escape}]", "effect": {"LIF": 1, "SPR": 2}}
    for k, eid in enumerate(deaths[:-1]):
        record = {"id": eid, "event": DEATHS[k], "grade": rng.choice((0, 1)),
                  "effect": {"LIF": -1}}
        if k == 6:
            record["include"] = "AGE<60|STR<3"
        events[eid] = record


class _LargeEvents(_EventRules):
    camel_case_share = 1.0

    def __init__(self, rng, conditions):
        super().__init__(rng)
        self.conditions = conditions

    def filters(self, record, eid, stage):
        rng, conditions = self.rng, self.conditions
        roll = rng.random()
        if roll < 0.5:
            record["include"] = conditions.combined(stage.earlier, stage.first, stage.last)
        if 0.35 < roll < 0.9:
            # Most events happen once: exclude on their own id, often
            # together with another condition.
            own = f"EVT?[{eid}]"
            if rng.random() < 0.5:
                record["exclude"] = own
            else:
                record["exclude"] = f"{own}|{conditions.leaf(stage.earlier, stage.first, stage.last)}"

    def branch_condition(self, stage):
        return self.conditions.combined(stage.earlier, stage.first, stage.last)


def _events(rng, conditions, pools, deaths):
    events = _build_events(_LargeEvents(rng, conditions), _stages_of(pools))
    _turns_of_fate(rng, events, deaths)
    return events


def _stage_ages(rng, pools, deaths, size, drawn_share, whole_neighbours, fill_up, grant):
    """The ages of the large and dense shapes: every age draws from its
    stage's pool and its neighbours' (`whole_neighbours`, or a fifth of the
    earlier one and an eighth of the later one), `size` entries with the
    deaths and the escape, topped up with ids listed twice when `fill_up`;
    `drawn_share` of the drawn weight holds against the deaths."""
    ages = {}
    escape = deaths[-1]
    killers = deaths[:-1]
    for age in range(LAST_AGE + 1):
        record = {"age": age}
        if age == LAST_AGE:
            # The end is certain: one candidate, which takes more life than
            # any escape could have given.
            record["events"] = [(killers[0], 1.0)]
            ages[age] = record
            continue
        stage = _stage_of(age)
        pool = list(pools[stage])
        if stage > 0:
            earlier = pools[stage - 1]
            pool += earlier if whole_neighbours else rng.sample(earlier, len(earlier) // 5)
        if stage + 1 < len(pools):
            later = pools[stage + 1]
            pool += later if whole_neighbours else rng.sample(later, len(later) // 8)
        drawn_size = size - len(killers) - 1
        picked = rng.sample(pool, min(drawn_size, len(pool)))
        if fill_up:
            picked += rng.choices(pool, k=drawn_size - len(picked))  # an id listed twice
        entries = [(eid, rng.choice((0.5, 1.0, 1.0, 1.5, 2.0, 3.0))) for eid in picked]
        # A death against the table's draw: include and exclude conditions
        # hold back part of the table's weight.
        drawn = sum(w for _, w in entries) * drawn_share
        hazard = _death_hazard(age) if age > 0 else 0.0
        share = drawn * hazard / (1.0 - hazard) / len(killers)
        entries += [(eid, share) for eid in killers if share > 0]
        if age >= 40:
            entries.append((escape, 0.01))
        rng.shuffle(entries)
        record["events"] = entries
        if age in (6, 18, 30, 45, 65):
            record["talents"] = grant()
        ages[age] = record
    return ages


def _ages(rng, pools, deaths, events):
    # About a third of the table's weight is held back by conditions.
    ages = _stage_ages(rng, pools, deaths, AGE_TABLE_SIZE, 0.55, whole_neighbours=False, fill_up=False,
                       grant=lambda: rng.sample(range(TALENT_BASE, TALENT_BASE + TALENT_COUNT), 2))
    events[deaths[0]]["effect"] = {"LIF": -1000}
    return ages


# ------------------------------------------------------------ achievements


def _achievements(rng, conditions, pools):
    achievements = {}
    event_pool = [eid for pool in pools for eid in pool]
    talent_ids = conditions.talent_ids
    for k in range(ACHIEVEMENT_COUNT):
        aid = ACHIEVEMENT_BASE + k
        roll = rng.random()
        if roll < 0.15:
            opportunity = "START"
            condition = rng.choice((
                f"{rng.choice(VALUE_CODES)}>={rng.randint(7, 10)}",
                "TLT?[" + ",".join(map(str, rng.sample(talent_ids, 4))) + "]",
                f"TMS>={rng.randint(5, 50)}",
                f"CHR > {rng.randint(7, 10)}",  # blanks inside a leaf: never parses
            ))
        elif roll < 0.80:
            opportunity = "TRAJECTORY" if rng.random() < 0.9 else "trajectory"
            condition = rng.choice((
                "EVT?" + conditions.event_list(event_pool, 3),
                f"{rng.choice(VALUE_CODES)}>{rng.randint(12, 20)}",
                f"AGE>={rng.randint(60, 110)}&{rng.choice(VALUE_CODES)}>{rng.randint(5, 10)}",
                conditions.combined(event_pool, 20, 90),
            ))
        else:
            opportunity = "SUMMARY"
            condition = rng.choice((
                f"HAGE>={rng.randint(70, 110)}",
                f"SUM>={rng.randint(80, 220)}",
                f"H{rng.choice(VALUE_CODES)}>{rng.randint(10, 18)}&HAGE>{rng.randint(50, 90)}",
                f"L{rng.choice(VALUE_CODES)}<0",
            ))
        achievements[aid] = {
            "id": aid,
            "name": f"The {rng.choice(ADJECTIVES)} {rng.choice(NOUNS)}",
            "description": _sentence(rng),
            "grade": rng.choice((0, 1, 1, 2, 3)),
            "opportunity": opportunity,
            "condition": condition,
        }
    return achievements


# ------------------------------------------------------------------ judge


VERDICTS = ("Faint", "Modest", "Steady", "Notable", "Remarkable", "Legendary")


def _judge(rng):
    judge = {}
    for key in JUDGE_KEYS:
        if key == "HAGE":
            mins = (0, 30, 60, 80, 95, 110)
        elif key == "SUM":
            mins = (0, 60, 100, 140, 180, 220)
        else:
            mins = (0, 3, 6, 9, 12, 15)
        levels = [{"min": m, "grade": min(3, i * 3 // 5), "text": f"{VERDICTS[i]} {key.lower()}"}
                  for i, m in enumerate(mins)]
        rng.shuffle(levels)  # the loader sorts them
        judge[key] = levels
    return judge


# ------------------------------------------------------------- dense shape

DENSE_TABLE_SIZE = 1600     # weighted entries of every age but the last
# Talent ids that no shape's configuration holds: the dense and sparse ages
# grant them beside real talents.
MISSING_TALENT_IDS = (999001, 999002, -7)


def _dense_include(rng, conditions, earlier, first, last):
    """Includes that read the event list: most hold, some rarely do."""
    roll = rng.random()
    if roll < 0.35:
        return "EVT!" + conditions.event_list(earlier, rng.randint(3, 8))
    if roll < 0.55:
        return f"EVT?{conditions.event_list(earlier, rng.randint(2, 6))}|{conditions.value_leaf()}"
    if roll < 0.70:
        return (f"(EVT?{conditions.event_list(earlier, 3)}|EVT!{conditions.event_list(earlier, 5)})"
                f"&{conditions.age_leaf(first, last) if rng.random() < 0.5 else conditions.value_leaf()}")
    if roll < 0.80:
        return conditions.combined(earlier, first, last)
    return None


class _DenseEvents(_LargeEvents):
    follow_up_share = 8
    branch_share = 0.4

    def filters(self, record, eid, stage):
        rng, conditions = self.rng, self.conditions
        # Nearly every event happens once, most of them through an exclude
        # that also reads other events.
        own = f"EVT?[{eid}]"
        roll = rng.random()
        if roll < 0.55:
            record["exclude"] = own
        elif roll < 0.85:
            record["exclude"] = f"{own}|EVT?{conditions.event_list(stage.earlier, rng.randint(2, 6))}"
        elif roll < 0.95:
            record["exclude"] = f"{own}|{conditions.leaf(stage.earlier, stage.first, stage.last)}"
        include = _dense_include(rng, conditions, stage.earlier, stage.first, stage.last)
        if include is not None:
            record["include"] = include

    def branch_condition(self, stage):
        if self.rng.random() < 0.6:
            return "EVT!" + self.conditions.event_list(stage.earlier, self.rng.randint(2, 6))
        return super().branch_condition(stage)


def _dense_events(rng, conditions, pools, deaths):
    events = _build_events(_DenseEvents(rng, conditions), _stages_of(pools))
    _turns_of_fate(rng, events, deaths)
    return events


def _granted_talents(rng, talent_ids):
    """Two real talents and one that the configuration lacks, sometimes twice."""
    granted = rng.sample(talent_ids, 2) + [rng.choice(MISSING_TALENT_IDS)]
    if rng.random() < 0.5:
        granted.append(rng.choice(granted))
    rng.shuffle(granted)
    return granted


def _dense_ages(rng, pools, deaths, talent_ids):
    # Once-only events and list includes hold back more of the table's
    # weight than in the large shape.
    return _stage_ages(rng, pools, deaths, DENSE_TABLE_SIZE, 0.45, whole_neighbours=True, fill_up=True,
                       grant=lambda: _granted_talents(rng, talent_ids))


def _build_dense(rng):
    talent_ids = list(range(TALENT_BASE, TALENT_BASE + TALENT_COUNT))
    conditions = Conditions(rng, talent_ids)
    pools, deaths = _stage_pools(rng)
    talents = _talents(rng, conditions)
    events = _dense_events(rng, conditions, pools, deaths)
    ages = _dense_ages(rng, pools, deaths, talent_ids)
    events[deaths[0]]["effect"] = {"LIF": -1000}
    return {
        "talents": talents,
        "events": events,
        "ages": ages,
        "achievements": _achievements(rng, conditions, pools),
        "judge": _judge(rng),
    }


# ------------------------------------------------------------ sparse shape

SPARSE_EVENT_COUNT = 1500
SPARSE_LAST_AGE = 999       # the engine ends a life after 1000 years anyway
SPARSE_ERA = 100            # events are grouped by the century of life
QUIET_YEARS = (
    "An ordinary year went by.", "Nothing much happened, and that was fine.",
    "You tended the garden and read the paper.", "The seasons turned without you noticing.",
    "You fixed the fence again.", "A letter from an old friend arrived.",
)


def _sparse_hazard(age):
    """Chance of dying in a year: low and slowly rising, for lives of centuries."""
    return 0.0018 + 0.0018 * min(1.0, age / 500)


def _property_leaf(rng, first, last):
    """A leaf that reads a property only: no id lists."""
    form = rng.random()
    if form < 0.40:
        op = rng.choice((">", "<", ">=", "<=", "=", "!="))
        return f"{rng.choice(VALUE_CODES)}{op}{rng.randint(-2, 16)}"
    if form < 0.60:
        if rng.random() < 0.5:
            return f"AGE>={rng.randint(first, last)}"
        return f"AGE<{rng.randint(first, last) + 1}"
    if form < 0.75:
        return f"H{rng.choice(VALUE_CODES)}>{rng.randint(4, 20)}"
    if form < 0.88:
        return f"L{rng.choice(VALUE_CODES)}<{rng.randint(-3, 5)}"
    return f"SUM>{rng.randint(40, 400)}"


def _property_condition(rng, first, last):
    leaf = lambda: _property_leaf(rng, first, last)  # noqa: E731
    shape = rng.random()
    if shape < 0.40:
        return leaf()
    if shape < 0.60:
        return f"{leaf()}&{leaf()}"
    if shape < 0.75:
        return f"{leaf()}|{leaf()}"
    if shape < 0.90:
        return f"({leaf()}|{leaf()})&{leaf()}"
    return f"({leaf()}&{leaf()})|({leaf()}&{leaf()})"


def _sparse_talents(rng):
    talents = {}
    grades = (0,) * 50 + (1,) * 30 + (2,) * 15 + (3,) * 5
    ids = list(range(TALENT_BASE, TALENT_BASE + TALENT_COUNT))
    for tid in ids:
        record = {
            "id": tid,
            "name": f"{rng.choice(ADJECTIVES)} {rng.choice(NOUNS)}",
            "description": _sentence(rng),
            "grade": rng.choice(grades),
        }
        if rng.random() < 0.45:
            record["condition"] = _property_condition(rng, 0, SPARSE_LAST_AGE)
            if rng.random() < 0.3:
                record["max_triggers"] = rng.randint(2, 12)
        if rng.random() < 0.85:
            record["effect"] = _effect(rng, most=2)
        if rng.random() < 0.05:
            record["exclusive"] = True
        if rng.random() < 0.10:
            record["exclude"] = rng.sample(ids, rng.randint(1, 3))
        if rng.random() < 0.05:
            record["replacement"] = {"grade": {str(g): 1.0 for g in rng.sample(range(4), 2)}}
        talents[tid] = record
    return talents


class _SparseEvents(_EventRules):
    follow_ups_up_front = False
    effect_share = 0.8

    def text(self, stage):
        return _sentence(self.rng)

    def filters(self, record, eid, stage):
        roll = self.rng.random()
        if roll < 0.5:
            record["include"] = _property_condition(self.rng, stage.first, stage.last)
        if 0.4 < roll < 0.7:
            record["exclude"] = _property_condition(self.rng, stage.first, stage.last)

    def branch_condition(self, stage):
        return _property_condition(self.rng, stage.first, stage.last)


def _sparse_events(rng):
    ids = list(range(EVENT_BASE, EVENT_BASE + SPARSE_EVENT_COUNT))
    killers = ids[-len(DEATHS):]
    quiet = ids[-len(DEATHS) - len(QUIET_YEARS):-len(DEATHS)]
    rest = ids[:-len(DEATHS) - len(QUIET_YEARS)]
    eras = (SPARSE_LAST_AGE + 1) // SPARSE_ERA
    size = len(rest) // eras
    pools = [rest[k * size:(k + 1) * size] for k in range(eras)]
    eras = [(pool, _Stage("era", k * SPARSE_ERA, (k + 1) * SPARSE_ERA - 1, pool)) for k, pool in enumerate(pools)]
    events = _build_events(_SparseEvents(rng), eras)
    for k, eid in enumerate(quiet):
        events[eid] = {"id": eid, "event": QUIET_YEARS[k], "grade": 0}
    for k, eid in enumerate(killers):
        events[eid] = {"id": eid, "event": DEATHS[k], "grade": rng.choice((0, 1)),
                       "effect": {"LIF": -1}}
    return events, pools, quiet, killers


def _sparse_ages(rng, pools, quiet, killers):
    ages = {}
    talent_ids = list(range(TALENT_BASE, TALENT_BASE + TALENT_COUNT))
    for age in range(SPARSE_LAST_AGE + 1):
        if age % 97 == 96:
            continue  # an age without a record: talents only that year
        record = {"age": age}
        pool = pools[min(age // SPARSE_ERA, len(pools) - 1)]
        entries = [(eid, rng.choice((0.5, 1.0, 1.5, 2.0))) for eid in rng.sample(pool, rng.randint(1, 6))]
        entries.append((rng.choice(quiet), 2.0))
        # About half the conditioned weight is held back; the quiet year
        # always stands.
        drawn = 2.0 + sum(w for _, w in entries[:-1]) * 0.5
        hazard = _sparse_hazard(age)
        entries.append((rng.choice(killers), drawn * hazard / (1.0 - hazard)))
        rng.shuffle(entries)
        record["events"] = entries
        if age % 50 == 10:
            record["talents"] = _granted_talents(rng, talent_ids)
        ages[age] = record
    return ages


def _sparse_achievements(rng):
    achievements = {}
    for k in range(ACHIEVEMENT_COUNT):
        aid = ACHIEVEMENT_BASE + k
        roll = rng.random()
        if roll < 0.15:
            opportunity, condition = "START", _property_leaf(rng, 0, 2)
        elif roll < 0.80:
            opportunity = "TRAJECTORY" if rng.random() < 0.9 else "trajectory"
            condition = _property_condition(rng, 20, 900)
        else:
            opportunity = "SUMMARY"
            condition = rng.choice((f"HAGE>={rng.randint(100, 900)}", f"SUM>={rng.randint(80, 900)}",
                                    _property_condition(rng, 100, 900)))
        achievements[aid] = {
            "id": aid,
            "name": f"The {rng.choice(ADJECTIVES)} {rng.choice(NOUNS)}",
            "description": _sentence(rng),
            "grade": rng.choice((0, 1, 1, 2, 3)),
            "opportunity": opportunity,
            "condition": condition,
        }
    return achievements


def _build_sparse(rng):
    talents = _sparse_talents(rng)
    events, pools, quiet, killers = _sparse_events(rng)
    ages = _sparse_ages(rng, pools, quiet, killers)
    return {
        "talents": talents,
        "events": events,
        "ages": ages,
        "achievements": _sparse_achievements(rng),
        "judge": _judge(rng),
    }


# ---------------------------------------------------------------- assembly


SHAPES = ("large", "dense", "sparse")


def build_config(seed=20240611, shape="large"):
    """The configuration for `init_config`; the same seed and shape, the same dict."""
    rng = random.Random(seed)
    if shape == "dense":
        return _build_dense(rng)
    if shape == "sparse":
        return _build_sparse(rng)
    if shape != "large":
        raise ValueError(f"unknown shape {shape!r}: one of {', '.join(SHAPES)}")
    talent_ids = list(range(TALENT_BASE, TALENT_BASE + TALENT_COUNT))
    conditions = Conditions(rng, talent_ids)
    pools, deaths = _stage_pools(rng)
    talents = _talents(rng, conditions)
    events = _events(rng, conditions, pools, deaths)
    ages = _ages(rng, pools, deaths, events)
    return {
        "talents": talents,
        "events": events,
        "ages": ages,
        "achievements": _achievements(rng, conditions, pools),
        "judge": _judge(rng),
    }


def player_choices(count=64, seed=7):
    """Argument sets for simulate_full_life: three talents and 20 points."""
    rng = random.Random(seed)
    talent_ids = list(range(TALENT_BASE, TALENT_BASE + TALENT_COUNT))
    choices = []
    for _ in range(count):
        points = dict.fromkeys(("CHR", "INT", "STR", "MNY"), 0)
        for _ in range(20):
            name = rng.choice([n for n in points if points[n] < 10])
            points[name] += 1
        choices.append((rng.sample(talent_ids, 3), points))
    return choices


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--json", help="where to write the configuration")
    parser.add_argument("--seed", type=int, default=20240611)
    parser.add_argument("--shape", choices=SHAPES, default="large")
    parser.add_argument("--choices", help="where to write player_choices() as JSON "
                        "(a list of [talent_ids, properties])")
    args = parser.parse_args()
    if not args.json and not args.choices:
        parser.error("give --json PATH, --choices PATH or both")
    if args.json:
        with open(args.json, "w", encoding="utf-8") as out:
            json.dump(build_config(args.seed, args.shape), out, ensure_ascii=False)
    if args.choices:
        with open(args.choices, "w", encoding="utf-8") as out:
            json.dump(player_choices(), out)


if __name__ == "__main__":
    main()
