"""Year texts and progress bars as the module renders them."""

import math

import pytest

import sablewick_core as core

from builders import (
    BLUE,
    DEFAULT_EMOJI,
    ORANGE,
    PURPLE,
    WHITE,
    bar,
    event,
    grades_config,
    judged_config,
    level,
    make_config,
    story_config,
    years_config,
)

_NOT_GIVEN = object()


def one_year_text(grades, emoji_map=_NOT_GIVEN):
    if emoji_map is _NOT_GIVEN:
        core.init_config(grades_config(grades))
    else:
        core.init_config(grades_config(grades), emoji_map)
    session = core.simulate_full_life([], {}, set())
    assert session.total_years == 1
    return session.get_year(0)["display_text"]


@pytest.mark.parametrize(
    "grades, emoji_map, expected",
    [
        ([2], _NOT_GIVEN, f"{PURPLE} line 0"),
        ([0, 1, 2, 3], None, f"{WHITE} line 0\n{BLUE} line 1\n{PURPLE} line 2\n{ORANGE} line 3"),
        ([1, 3], {}, f"{WHITE} line 0\n{WHITE} line 1"),
        ([0, 7, -1], DEFAULT_EMOJI, f"{WHITE} line 0\n{WHITE} line 1\n{WHITE} line 2"),
        ([0, 1], {0: "A"}, f"A line 0\n{WHITE} line 1"),
        ([1, 5], {1: "", 5: "<**>"}, " line 0\n<**> line 1"),
        ([1], {True: "yes"}, "yes line 0"),
    ],
)
def test_year_text(grades, emoji_map, expected):
    assert one_year_text(grades, emoji_map) == expected


def test_line_with_empty_text_is_emoji_and_space():
    cfg = make_config(
        events={1: event(1, event="", grade=1, effect={"LIF": -1})},
        ages={0: {"age": 0, "events": [(1, 1.0)]}},
    )
    core.init_config(cfg)
    assert core.simulate_full_life([], {}, set()).get_year(0)["display_text"] == f"{BLUE} "


def test_year_without_entries_has_empty_text():
    # years_config(3): ages 0..2 each draw one event; a config without ages
    # gives years whose only line is the ending talent's.
    cfg = years_config(3)
    cfg["ages"] = {}
    core.init_config(cfg)
    session = core.simulate_full_life([900], {}, set())
    assert [session.get_year(i)["display_text"] for i in range(3)] == ["", "", f"{WHITE} The end."]


def test_one_entry_has_no_newline_and_three_have_two():
    assert "\n" not in one_year_text([1])
    text = one_year_text([1, 2, 3])
    assert text.count("\n") == 2 and not text.endswith("\n")


@pytest.mark.parametrize(
    "chr_value, progress, filled",
    [
        (0, 0.0, 0),
        (1, 0.1, 1),
        (3, 0.3, 3),
        (5, 0.5, 5),
        (7, 0.7, 7),
        (10, 1.0, 10),
        (11, 1.0, 10),
        (-4, 0.0, 0),
        (2**31 - 1, 1.0, 10),
        (-(2**31), 0.0, 0),
    ],
)
def test_judge_bar(chr_value, progress, filled):
    core.init_config(judged_config({"HCHR": [level(0, 1, "some")]}))
    session = core.simulate_full_life([900], {"CHR": chr_value}, set())
    (judge,) = session.get_summary()["judges"]
    assert judge == {
        "property_type": "HCHR",
        "value": chr_value,
        "grade": 1,
        "text": "some",
        "progress": progress,
        "progress_bar": bar(filled),
    }
    assert isinstance(judge["progress"], float) and not math.isnan(judge["progress"])


def test_judges_in_fixed_order_and_missing_keys_left_out():
    judge = {key: [level(0, 0, key.lower())] for key in ("SUM", "HAGE", "HMNY", "HCHR", "OTHER")}
    core.init_config(judged_config(judge))
    session = core.simulate_full_life([900], {"CHR": 2, "MNY": 4}, set())
    judges = session.get_summary()["judges"]
    assert [j["property_type"] for j in judges] == ["HCHR", "HMNY", "HAGE", "SUM"]
    # SPR 5 and age 0: SUM = 2 * (2 + 0 + 0 + 4 + 5) + 0.
    assert [j["value"] for j in judges] == [2, 4, 0, 22]
    assert session.total_score == 22


def test_summary_without_judges_or_talents():
    core.init_config(grades_config([0]))
    summary = core.simulate_full_life([], {}, set()).get_summary()
    assert summary["judges"] == [] and summary["talents"] == []


def test_session_keeps_its_emoji_after_a_reload():
    core.init_config(story_config(), {0: "old"})
    before = core.simulate_full_life([], {}, set())
    core.init_config(story_config(), {0: "new"})
    after = core.simulate_full_life([], {}, set())
    assert before.get_year(0)["display_text"] == "old You were born."
    assert after.get_year(0)["display_text"] == "new You were born."
    assert before.get_year_formatted(0)["text"] == "old You were born."


# Each width a str can take, and the edges between them: the text handed
# back equals (so is stored as) the str the host would build itself.
@pytest.mark.parametrize("emoji", [
    "", "a", "\x00", "\x7f", "\x80", "\u00e9", "\u00ff", "\u0100", "\u07ff", "\u0800", "\u20ac",
    "\uffff", "\U00010000", "\U0001f600", "\U0010ffff", "a\u00e9\u20ac\U0001f600", "\u00e9" * 300,
])
def test_year_text_of_every_width(emoji):
    text = one_year_text([0], {0: emoji})
    assert text == f"{emoji} line 0"
    assert hash(text) == hash(f"{emoji} line 0")
