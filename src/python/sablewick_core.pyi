# Typed interface of the extension module sablewick_core, installed as the
# stub-only package sablewick_core-stubs (where mypy and pyright look for the
# stubs of a top-level extension module).
#
# The argument types are those the conversions accept: a talent id list is any
# sequence but str (list, tuple, range, ...) of ints or objects with
# __index__; properties and emoji maps must be dicts; achieved ids a set or a
# frozenset. The TypedDicts are the exact shapes of what a GameSession hands
# out and of a configuration's dict records. They exist for type checkers
# only (the module has no such attributes): import them under TYPE_CHECKING.

import asyncio
from collections.abc import Sequence
from typing import Any, Never, Required, SupportsIndex, TypedDict, final, type_check_only

__all__ = ["init_config", "is_config_initialized", "simulate_full_life", "simulate_async", "GameSession"]

# ---------------------------------------------------------------- configuration

@type_check_only
class EffectRecord(TypedDict, total=False):
    """Amounts added to properties; RDM goes to one of CHR INT STR MNY SPR at random."""

    CHR: int
    INT: int
    STR: int
    MNY: int
    SPR: int
    LIF: int
    AGE: int
    RDM: int

@type_check_only
class ReplacementRecord(TypedDict, total=False):
    """Weights of the grades (keys "0", "1", ...) or talent ids (keys "1001", ...) to draw from."""

    grade: dict[str, float]
    talent: dict[str, float]

@type_check_only
class TalentRecord(TypedDict, total=False):
    id: Required[int]
    name: Required[str]
    description: Required[str]
    grade: int
    condition: str
    exclusive: bool
    status: int
    max_triggers: int
    effect: EffectRecord | None
    exclude: Sequence[int]
    replacement: ReplacementRecord | None

@type_check_only
class BranchRecord(TypedDict, total=False):
    """One branch; the target is "event_id" or, without it, "eventId" (one is required)."""

    condition: Required[str]
    event_id: int
    eventId: int

@type_check_only
class EventRecord(TypedDict, total=False):
    id: Required[int]
    event: Required[str]
    grade: int
    no_random: bool
    NoRandom: bool
    include: str
    exclude: str
    post_event: str
    postEvent: str
    effect: EffectRecord | None
    branch: list[BranchRecord] | None

@type_check_only
class AgeRecord(TypedDict, total=False):
    age: Required[int]
    talents: Sequence[int]
    events: list[tuple[int, float] | list[float]] | None

@type_check_only
class AchievementRecord(TypedDict, total=False):
    id: Required[int]
    name: Required[str]
    description: Required[str]
    grade: int
    opportunity: Required[str]
    condition: Required[str]

@type_check_only
class JudgeLevelRecord(TypedDict):
    min: int
    grade: int
    text: str

@type_check_only
class GameConfig(TypedDict):
    """The configuration of init_config with dict records under int ids (digit-str ids and
    attribute records are accepted too, typed as dict[str, Any])."""

    talents: dict[int, TalentRecord]
    events: dict[int, EventRecord]
    ages: dict[int, AgeRecord]
    achievements: dict[int, AchievementRecord]
    judge: dict[str, list[JudgeLevelRecord]]

# -------------------------------------------------------------- session dicts

@type_check_only
class PropertiesDict(TypedDict):
    CHR: int
    INT: int
    STR: int
    MNY: int
    SPR: int
    LIF: int

@type_check_only
class YearDict(TypedDict):
    age: int
    display_text: str
    properties: PropertiesDict
    is_end: bool

@type_check_only
class FormattedYearDict(TypedDict):
    age: int
    text: str
    properties: PropertiesDict
    is_end: bool

@type_check_only
class JudgeDict(TypedDict):
    property_type: str
    value: int
    grade: int
    text: str
    progress: float
    progress_bar: str

@type_check_only
class TalentDict(TypedDict):
    id: int
    name: str
    description: str
    grade: int

@type_check_only
class AchievementDict(TypedDict):
    id: int
    name: str
    description: str
    grade: int

@type_check_only
class ReplacementDict(TypedDict):
    source: TalentDict
    target: TalentDict

@type_check_only
class SummaryDict(TypedDict):
    total_score: int
    judges: list[JudgeDict]
    talents: list[TalentDict]

# ------------------------------------------------------------------- functions

def init_config(config: GameConfig | dict[str, Any], emoji_map: dict[int, str] | None = None) -> None:
    """Initialize the game configuration (call once at startup)"""

def is_config_initialized() -> bool:
    """Check if config is initialized"""

def simulate_full_life(
    talent_ids: Sequence[SupportsIndex],
    properties: dict[str, int],
    achieved_ids: set[int] | frozenset[int],
    tms: SupportsIndex = 0,
    aevt: Sequence[SupportsIndex] | None = None,
    atlt: Sequence[SupportsIndex] | None = None,
    cachv: SupportsIndex = 0,
) -> GameSession:
    """Simulate a complete life trajectory (fast version using cached config)"""

def simulate_async(
    talent_ids: Sequence[SupportsIndex],
    properties: dict[str, int],
    achieved_ids: set[int] | frozenset[int],
    tms: SupportsIndex = 0,
    aevt: Sequence[SupportsIndex] | None = None,
    atlt: Sequence[SupportsIndex] | None = None,
    cachv: SupportsIndex = 0,
) -> asyncio.Future[GameSession]:
    """Simulate a complete life trajectory asynchronously; call it with an event loop running."""

@final
class GameSession:
    """One simulated life, read-only; made by simulate_full_life and simulate_async only."""

    # Not constructible: the type has no constructor, so any call is a type error.
    def __new__(cls, not_constructible: Never, /) -> Never: ...
    @property
    def total_years(self) -> int: ...
    @property
    def total_pages(self) -> int: ...
    @property
    def total_score(self) -> int: ...
    @property
    def final_age(self) -> int: ...
    @property
    def is_ended(self) -> bool: ...
    def get_page_data(self, page: SupportsIndex, years_per_page: SupportsIndex | None = None) -> list[YearDict]: ...
    def get_year(self, index: SupportsIndex) -> YearDict | None: ...
    def get_years_range(self, start: SupportsIndex, end: SupportsIndex) -> list[YearDict]: ...
    def get_year_formatted(self, index: SupportsIndex) -> FormattedYearDict | None: ...
    def get_summary(self) -> SummaryDict: ...
    def get_new_achievements(self) -> list[AchievementDict]: ...
    def get_triggered_events(self) -> list[int]: ...
    def get_replacements(self) -> list[ReplacementDict]: ...
