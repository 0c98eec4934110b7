"""Simulates one life of the example game and prints it.

    python examples/demo.py [--seed N] [--talents ID ID ID] [--pages]

The seed only fixes the demo's own choices (talents and the starting
points); the life itself is drawn by the module's generator, which cannot
be seeded, so every run tells a new story.
"""

import argparse
import os
import random
import sys

import sablewick_core as core

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from config import TALENTS, build_config  # noqa: E402

POINTS = 20
PROPERTY_NAMES = ("CHR", "INT", "STR", "MNY")


def choose(rng, talent_ids):
    if talent_ids:
        talents = talent_ids
    else:
        talents = rng.sample(sorted(TALENTS), 3)
    # Split the points over the four starting properties, 0 to 10 each.
    points = dict.fromkeys(PROPERTY_NAMES, 0)
    for _ in range(POINTS):
        name = rng.choice([n for n in PROPERTY_NAMES if points[n] < 10])
        points[name] += 1
    return talents, points


def print_talent(info, prefix="  "):
    print(f"{prefix}{info['name']} (grade {info['grade']}): {info['description']}")


def print_years(session, by_pages):
    if by_pages:
        years = []
        for page in range(1, session.total_pages + 1):
            years.extend(session.get_page_data(page))
    else:
        years = [session.get_year(i) for i in range(session.total_years)]
    for year in years:
        p = year["properties"]
        stats = " ".join(f"{k} {p[k]}" for k in ("CHR", "INT", "STR", "MNY", "SPR"))
        print(f"Age {year['age']:>3}  [{stats}]")
        text = year["display_text"]
        if text:
            for line in text.split("\n"):
                print(f"       {line}")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=None, help="seed for the demo's choices")
    parser.add_argument("--talents", type=int, nargs="+", help="talent ids to start with")
    parser.add_argument("--pages", action="store_true", help="read the life page by page")
    args = parser.parse_args(argv)

    core.init_config(build_config())
    rng = random.Random(args.seed)
    talent_ids, properties = choose(rng, args.talents)

    session = core.simulate_full_life(talent_ids, properties, set())

    print("Starting points: " + ", ".join(f"{k} {v}" for k, v in properties.items()))
    summary = session.get_summary()
    print("Talents (after replacement):")
    for info in summary["talents"]:
        print_talent(info)
    print()

    print_years(session, args.pages)
    print()

    print(f"Lived {session.total_years} years (final age {session.final_age}); "
          f"total score {session.total_score}")
    for judge in summary["judges"]:
        print(f"  {judge['property_type']:<5} {judge['progress_bar']} "
              f"{judge['value']:>4}  {judge['text']}")
    achievements = session.get_new_achievements()
    if achievements:
        print("New achievements:")
        for a in achievements:
            print(f"  {a['name']}: {a['description']}")
    replacements = session.get_replacements()
    if replacements:
        print("Talents replaced before birth:")
        for r in replacements:
            print(f"  {r['source']['name']} -> {r['target']['name']}")
    print(f"Events: {len(session.get_triggered_events())} different events happened")
    return 0


if __name__ == "__main__":
    sys.exit(main())
