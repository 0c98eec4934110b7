"""A large game configuration for the benchmarks, built from a seed.

    build_config(seed=...)  -> the dict that sablewick_core.init_config takes
    python large_config.py --json PATH [--seed N]   writes it as JSON
                                                     (for the C++ benchmarks)

The shape is that of a full game: about 1,200 talents, 10,000 events, a
weighted table of about 400 entries for every age from 0 to 150, 200
achievements and the seven judge keys. Lives end on their own between about
60 and 100 years: death events grow likelier with age, and the last age holds
nothing but a death that no life survives. Pure Python and deterministic:
the same seed gives the same configuration, byte for byte.
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


def _events(rng, conditions, pools, deaths):
    events = {}
    follow_ups = set()
    # One in ten events of a pool only follows a branch (never drawn).
    for pool in pools:
        follow_ups.update(rng.sample(pool, len(pool) // 10))
    for index, pool in enumerate(pools):
        name, first, last = STAGES[index]
        earlier = [eid for p in pools[max(0, index - 1):index + 1] for eid in p]
        scenes = STAGE_SCENES[name]
        targets = [eid for eid in pool if eid in follow_ups]
        for eid in pool:
            record = {"id": eid, "grade": rng.choice((0, 0, 0, 1, 1, 2, 3))}
            if rng.random() < 0.5:
                record["event"] = f"{rng.choice(scenes)} {rng.choice(PLACES)}."
            else:
                record["event"] = _sentence(rng)
            if eid in follow_ups:
                record["no_random" if rng.random() < 0.8 else "NoRandom"] = True
            roll = rng.random()
            if roll < 0.5:
                record["include"] = conditions.combined(earlier, first, last)
            if 0.35 < roll < 0.9:
                # Most events happen once: exclude on their own id, often
                # together with another condition.
                own = f"EVT?[{eid}]"
                if rng.random() < 0.5:
                    record["exclude"] = own
                else:
                    record["exclude"] = f"{own}|{conditions.leaf(earlier, first, last)}"
            if rng.random() < 0.12:
                key = "post_event" if rng.random() < 0.8 else "postEvent"
                record[key] = rng.choice(CODAS)
            if rng.random() < 0.75:
                record["effect"] = _effect(rng)
            if rng.random() < 1 / 7 and targets:
                branches = []
                for _ in range(rng.randint(1, 3)):
                    target = rng.choice(targets)
                    if eid in follow_ups and target <= eid:
                        continue  # chains of follow-ups only move forward
                    key = "event_id" if rng.random() < 0.9 else "eventId"
                    branches.append({"condition": conditions.combined(earlier, first, last),
                                     key: target})
                if branches:
                    record["branch"] = branches
            events[eid] = record
    # Turns of fate: a narrow escape (LIF +1) and an accident (LIF -1).
    escape = deaths[-1]
    events[escape] = {"id": escape, "event": "You walked away from a collapsing bridge.",
                      "grade": 3, "exclude": f"EVT?[{escape}]", "effect": {"LIF": 1, "SPR": 2}}
    for k, eid in enumerate(deaths[:-1]):
        record = {"id": eid, "event": DEATHS[k], "grade": rng.choice((0, 1)),
                  "effect": {"LIF": -1}}
        if k == 6:
            record["include"] = "AGE<60|STR<3"
        events[eid] = record
    return events


def _ages(rng, pools, deaths, events):
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
            pool += rng.sample(pools[stage - 1], len(pools[stage - 1]) // 5)
        if stage + 1 < len(pools):
            pool += rng.sample(pools[stage + 1], len(pools[stage + 1]) // 8)
        entries = [(eid, rng.choice((0.5, 1.0, 1.0, 1.5, 2.0, 3.0)))
                   for eid in rng.sample(pool, min(AGE_TABLE_SIZE - len(killers) - 1, len(pool)))]
        # A death against the table's draw: about a third of the table's
        # weight is held back by include and exclude conditions.
        drawn = sum(w for _, w in entries) * 0.55
        hazard = _death_hazard(age) if age > 0 else 0.0
        death_weight = drawn * hazard / (1.0 - hazard)
        share = death_weight / len(killers)
        entries += [(eid, share) for eid in killers if share > 0]
        if age >= 40:
            entries.append((escape, 0.01))
        rng.shuffle(entries)
        record["events"] = entries
        if age in (6, 18, 30, 45, 65):
            record["talents"] = rng.sample(range(TALENT_BASE, TALENT_BASE + TALENT_COUNT), 2)
        ages[age] = record
    events[killers[0]]["effect"] = {"LIF": -1000}
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


# ---------------------------------------------------------------- assembly


def build_config(seed=20240611):
    """The large configuration for `init_config`; the same seed, the same dict."""
    rng = random.Random(seed)
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
    parser.add_argument("--json", required=True, help="where to write the configuration")
    parser.add_argument("--seed", type=int, default=20240611)
    args = parser.parse_args()
    with open(args.json, "w", encoding="utf-8") as out:
        json.dump(build_config(args.seed), out, ensure_ascii=False)


if __name__ == "__main__":
    main()
