#pragma once
// Shared helpers for the engine tests: a scripted random source and small
// record builders.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sablewick/base/random.hpp"
#include "sablewick/config/records.hpp"
#include "sablewick/simulator/engine.hpp"

namespace engine_test {

using namespace sablewick;
using namespace sablewick::simulator;
using config::AchievementConfig;
using config::EffectConfig;
using config::EventBranch;
using config::EventConfig;
using config::TalentConfig;

// Hands out a fixed queue of 64-bit outputs and counts what was used. Running
// dry is a test failure unless a fallback value was given (for long runs).
class ScriptedRandom final : public RandomSource {
public:
    ScriptedRandom() = default;
    ScriptedRandom(std::initializer_list<std::uint64_t> values) : queue_(values) {}

    // The output x for which next_unit() returns r (r rounded down to 2^-53).
    static std::uint64_t unit(double r) { return static_cast<std::uint64_t>(r * 0x1.0p53) << 11; }
    // The output whose RDM pick lands on property index 0..4 (CHR..SPR).
    static std::uint64_t pick(int index) {
        // high word w with floor(w * 5 / 2^32) == index and an accepted low part
        return static_cast<std::uint64_t>((static_cast<std::uint64_t>(index) << 32) / 5 + 1) << 32;
    }

    void push(std::uint64_t x) { queue_.push_back(x); }
    void set_fallback(std::uint64_t x) { fallback_ = x; }

    std::uint64_t next_u64() override {
        ++used_;
        if (queue_.empty()) {
            if (fallback_) return *fallback_;
            ADD_FAILURE() << "random source used more often than scripted";
            return 0;
        }
        std::uint64_t x = queue_.front();
        queue_.pop_front();
        return x;
    }

    int used() const { return used_; }
    std::size_t left() const { return queue_.size(); }

private:
    std::deque<std::uint64_t> queue_;
    std::optional<std::uint64_t> fallback_;
    int used_ = 0;
};

inline TalentConfig make_talent(std::int32_t id, std::string description = {}, std::int32_t max_triggers = 1) {
    TalentConfig t;
    t.id = id;
    t.name = "talent " + std::to_string(id);
    t.description = description.empty() ? "line " + std::to_string(id) : std::move(description);
    t.max_triggers = max_triggers;
    return t;
}

inline TalentConfig with_condition(TalentConfig t, std::string condition) {
    t.condition = condition::ConditionText(std::move(condition));
    return t;
}

inline TalentConfig with_effect(TalentConfig t, EffectConfig effect) {
    t.effect = effect;
    return t;
}

inline EventConfig make_event(std::int32_t id, std::string text, std::optional<std::string> post = std::nullopt) {
    EventConfig e;
    e.id = id;
    e.event = std::move(text);
    e.post_event = std::move(post);
    return e;
}

inline EventBranch branch(std::string condition, std::int32_t target) {
    return EventBranch{condition::ConditionText(std::move(condition)), target};
}

inline AchievementConfig make_achievement(std::int32_t id, config::Opportunity when, std::string condition = {}) {
    AchievementConfig a;
    a.id = id;
    a.name = "achievement " + std::to_string(id);
    a.description = "did " + std::to_string(id);
    a.grade = 1;
    a.opportunity_kind = when;
    a.condition = condition::ConditionText(std::move(condition));
    return a;
}

inline std::vector<config::JudgeLevel> levels(std::initializer_list<std::pair<std::int32_t, std::string>> mins) {
    std::vector<config::JudgeLevel> out;
    std::int32_t grade = static_cast<std::int32_t>(mins.size());
    for (const auto& [min, text] : mins) out.push_back({min, --grade, text});
    return out;
}

inline std::vector<std::string> texts(const std::vector<YearEntry>& lines) {
    std::vector<std::string> out;
    for (const auto& line : lines) out.push_back(line.text);
    return out;
}

// Time limits in the bound tests are for optimised builds; debug and
// sanitizer builds get this much more.
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
inline constexpr double kSlowBuildFactor = 1.0;
#else
inline constexpr double kSlowBuildFactor = 20.0;
#endif

// Wall time of f() in milliseconds.
template <class F>
double elapsed_ms(F&& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace engine_test
