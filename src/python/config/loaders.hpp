#pragma once
// The collection loaders of init_config. Each walks its dict in insertion
// order and fills `out`; false with the host exception set on the first
// failure (what was filled is then to be dropped by the caller). Condition
// texts are read through the load's `texts`.

#include "python/capi/py_ref.hpp"

#include <cstdint>
#include <optional>
#include <vector>

#include "python/config/condition_texts.hpp"
#include "sablewick/base/containers.hpp"
#include "sablewick/config/records.hpp"
#include "sablewick/simulator/session.hpp"

namespace sablewick::py::config {

bool load_talents(PyObject* dict, IdMap<sablewick::config::TalentConfig>& out, LoadedTexts& texts);
bool load_events(PyObject* dict, IdMap<sablewick::config::EventConfig>& out, LoadedTexts& texts);
bool load_ages(PyObject* dict, IdMap<sablewick::config::AgeConfig>& out);
bool load_achievements(PyObject* dict, IdMap<sablewick::config::AchievementConfig>& out, LoadedTexts& texts);
bool load_judge(PyObject* dict, StringMap<std::vector<sablewick::config::JudgeLevel>>& out);
bool deserialize_emoji_map(PyObject* dict, simulator::EmojiMap& out);

// The "effect" of a talent or an event: none for absent or None, else the
// eight amounts read leniently. Never fails.
std::optional<sablewick::config::EffectConfig> read_effect(PyObject* record);

// An achievement's grade value as int32, or none (the error is discarded).
std::optional<std::int32_t> extract_achievement(PyObject* value);

}  // namespace sablewick::py::config
