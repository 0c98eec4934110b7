"""A host's use of sablewick_core as mypy --strict sees it (scripts/test.sh).

Type-checked only, never run: the stub-only names it imports do not exist
at runtime.

Each call and each dict key of the interface appears here with the type the
stubs give it; the lines marked `type: ignore` must stay errors (strict mode
reports an ignore that is no longer needed).
"""

from __future__ import annotations

import asyncio
from typing import TYPE_CHECKING, assert_type

import sablewick_core

if TYPE_CHECKING:
    from sablewick_core import (
        AchievementDict,
        FormattedYearDict,
        GameConfig,
        JudgeDict,
        PropertiesDict,
        ReplacementDict,
        SummaryDict,
        TalentDict,
        YearDict,
    )

CONFIG: GameConfig = {
    "talents": {
        1: {"id": 1, "name": "Early Riser", "description": "Up with the gulls.", "grade": 1,
            "condition": "AGE?[5,10]", "effect": {"CHR": 1, "RDM": 1}, "exclude": [2]},
        2: {"id": 2, "name": "Restless", "description": "Cannot sit still.", "exclusive": True,
            "max_triggers": 2, "replacement": {"grade": {"1": 1.0}, "talent": {"1": 2.0}}},
    },
    "events": {
        10: {"id": 10, "event": "You were born.", "branch": [{"condition": "CHR>5", "event_id": 11}],
             "post_event": " It rained.", "effect": {"SPR": 1}},
        11: {"id": 11, "event": "The midwife smiled.", "NoRandom": True},
        12: {"id": 12, "event": "You did not wake.", "include": "AGE>=1", "exclude": "EVT?[12]",
             "effect": {"LIF": -1}},
    },
    "ages": {0: {"age": 0, "events": [(10, 1.0)]}, 1: {"age": 1, "talents": [1], "events": [[12, 1]]}},
    "achievements": {
        100: {"id": 100, "name": "Born", "description": "Be born.", "opportunity": "START", "condition": "AGE>=0"},
    },
    "judge": {"SUM": [{"min": 0, "grade": 0, "text": "A life"}]},
}


def read(session: sablewick_core.GameSession) -> None:
    assert_type(session.total_years, int)
    assert_type(session.total_pages, int)
    assert_type(session.total_score, int)
    assert_type(session.final_age, int)
    assert_type(session.is_ended, bool)

    page: list[YearDict] = session.get_page_data(1)
    assert_type(session.get_page_data(1, years_per_page=10), list[YearDict])
    assert_type(session.get_years_range(0, 10), list[YearDict])
    for year in page:
        assert_type(year["age"], int)
        assert_type(year["display_text"], str)
        assert_type(year["is_end"], bool)
        values: PropertiesDict = year["properties"]
        assert_type(values["CHR"] + values["INT"] + values["STR"] + values["MNY"] + values["SPR"] + values["LIF"],
                    int)
    first = session.get_year(0)
    assert_type(first, YearDict | None)
    formatted = session.get_year_formatted(0)
    assert_type(formatted, FormattedYearDict | None)
    if formatted is not None:
        assert_type(formatted["text"], str)

    summary: SummaryDict = session.get_summary()
    assert_type(summary["total_score"], int)
    judge: JudgeDict
    for judge in summary["judges"]:
        assert_type(judge["property_type"], str)
        assert_type(judge["value"], int)
        assert_type(judge["grade"], int)
        assert_type(judge["text"], str)
        assert_type(judge["progress"], float)
        assert_type(judge["progress_bar"], str)
    talent: TalentDict
    for talent in summary["talents"]:
        assert_type((talent["id"], talent["name"], talent["description"], talent["grade"]), tuple[int, str, str, int])
    achievements: list[AchievementDict] = session.get_new_achievements()
    assert_type(achievements[0]["name"], str)
    assert_type(session.get_triggered_events(), list[int])
    replacements: list[ReplacementDict] = session.get_replacements()
    assert_type(replacements[0]["source"]["id"], int)
    assert_type(replacements[0]["target"]["grade"], int)

    year["age"] = 3  # dicts are the caller's own
    year["ages"]  # type: ignore[typeddict-item]
    session.total_years = 3  # type: ignore[misc]


async def simulate_both_ways() -> None:
    sablewick_core.init_config(CONFIG)
    sablewick_core.init_config(CONFIG, {0: "o", 1: "*"})
    sablewick_core.init_config({"talents": {}, "events": {}, "ages": {}, "achievements": {}, "judge": {}},
                               emoji_map=None)
    assert_type(sablewick_core.is_config_initialized(), bool)

    session = sablewick_core.simulate_full_life((1, 2), {"CHR": 5}, frozenset({100}), tms=3, aevt=range(3),
                                                atlt=None, cachv=1)
    read(session)
    future = sablewick_core.simulate_async([1], {"CHR": 5, "INT": 5}, set())
    assert_type(future, asyncio.Future[sablewick_core.GameSession])
    read(await future)

    sablewick_core.simulate_full_life("12", {}, set())  # type: ignore[arg-type]
    sablewick_core.simulate_full_life([1], {}, [100])  # type: ignore[arg-type]
    sablewick_core.simulate_full_life([1.5], {}, set())  # type: ignore[list-item]
    sablewick_core.init_config(CONFIG, {"0": "o"})  # type: ignore[dict-item]


def not_constructible() -> None:
    # Last in its function: the call never returns, so nothing after it is checked.
    sablewick_core.GameSession()  # type: ignore[call-arg]
