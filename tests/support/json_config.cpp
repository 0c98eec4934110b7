#include "json_config.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace sablewick::bench {

namespace {

using nlohmann::json;
namespace cfg = sablewick::config;

std::int32_t key_id(const std::string& key) {
    std::int32_t id = 0;
    auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), id);
    if (ec != std::errc() || end != key.data() + key.size()) {
        throw std::runtime_error("not an id key: " + key);
    }
    return id;
}

template <class T>
T value_or(const json& record, const char* key, T fallback) {
    auto it = record.find(key);
    return it == record.end() || it->is_null() ? fallback : it->get<T>();
}

std::optional<std::string> text_of(const json& record, const char* key) {
    auto it = record.find(key);
    if (it == record.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::optional<cfg::EffectConfig> effect_of(const json& record) {
    auto it = record.find("effect");
    if (it == record.end() || it->is_null()) return std::nullopt;
    const json& e = *it;
    cfg::EffectConfig deltas;
#define SABLEWICK_FIELD(name, start, host, range, value, year, effect) \
    SABLEWICK_IF(effect, deltas.name = value_or(e, #name, 0);)
    SABLEWICK_PROPERTIES(SABLEWICK_FIELD)
#undef SABLEWICK_FIELD
    deltas.RDM = value_or(e, "RDM", 0);
    return deltas;
}

std::optional<StringMap<double>> weights_of(const json& record, const char* key) {
    auto it = record.find(key);
    if (it == record.end() || it->is_null() || it->empty()) return std::nullopt;
    StringMap<double> table;
    for (const auto& [k, w] : it->items()) table.insert_or_assign(k, w.get<double>());
    return table;
}

std::optional<std::vector<std::int32_t>> ids_of(const json& record, const char* key) {
    auto it = record.find(key);
    if (it == record.end() || it->is_null() || it->empty()) return std::nullopt;
    return it->get<std::vector<std::int32_t>>();
}

cfg::TalentConfig talent_of(const json& r) {
    cfg::TalentConfig t;
    t.id = r.at("id").get<std::int32_t>();
    t.name = r.at("name").get<std::string>();
    t.description = r.at("description").get<std::string>();
    t.grade = value_or(r, "grade", 0);
    if (auto condition = text_of(r, "condition")) t.condition.emplace(std::move(*condition));
    t.exclusive = value_or(r, "exclusive", false);
    t.status = value_or(r, "status", 0);
    if (auto it = r.find("max_triggers"); it != r.end() && it->is_number_integer()) {
        t.max_triggers = it->get<std::int32_t>();
    } else {
        t.max_triggers = t.condition ? cfg::default_max_triggers(t.condition->text()) : 1;
    }
    t.effect = effect_of(r);
    t.exclude = ids_of(r, "exclude");
    if (auto it = r.find("replacement"); it != r.end() && !it->is_null()) {
        t.replacement = cfg::ReplacementConfig{weights_of(*it, "grade"), weights_of(*it, "talent")};
    }
    return t;
}

cfg::EventConfig event_of(const json& r) {
    cfg::EventConfig e;
    e.id = r.at("id").get<std::int32_t>();
    e.event = r.at("event").get<std::string>();
    e.grade = value_or(r, "grade", 0);
    if (auto it = r.find("no_random"); it != r.end()) {
        e.no_random = it->is_boolean() && it->get<bool>();
    } else if (auto camel = r.find("NoRandom"); camel != r.end()) {
        e.no_random = camel->is_boolean() && camel->get<bool>();
    }
    if (auto text = text_of(r, "include")) e.include.emplace(std::move(*text));
    if (auto text = text_of(r, "exclude")) e.exclude.emplace(std::move(*text));
    if (r.contains("post_event")) {
        e.post_event = text_of(r, "post_event");
    } else {
        e.post_event = text_of(r, "postEvent");
    }
    e.effect = effect_of(r);
    if (auto it = r.find("branch"); it != r.end() && !it->is_null() && !it->empty()) {
        std::vector<cfg::EventBranch> branches;
        for (const json& b : *it) {
            cfg::EventBranch branch;
            branch.condition = condition::ConditionText(b.at("condition").get<std::string>());
            branch.event_id =
                b.contains("event_id") ? b.at("event_id").get<std::int32_t>() : b.at("eventId").get<std::int32_t>();
            branches.push_back(std::move(branch));
        }
        e.branch = std::move(branches);
    }
    return e;
}

cfg::AgeConfig age_of(const json& r) {
    cfg::AgeConfig a;
    a.age = r.at("age").get<std::int32_t>();
    a.talents = ids_of(r, "talents");
    if (auto it = r.find("events"); it != r.end() && !it->is_null() && !it->empty()) {
        std::vector<std::pair<std::int32_t, double>> pairs;
        pairs.reserve(it->size());
        for (const json& pair : *it) pairs.emplace_back(pair.at(0).get<std::int32_t>(), pair.at(1).get<double>());
        a.events = std::move(pairs);
    }
    return a;
}

cfg::AchievementConfig achievement_of(const json& r) {
    cfg::AchievementConfig a;
    a.id = r.at("id").get<std::int32_t>();
    a.name = r.at("name").get<std::string>();
    a.description = r.at("description").get<std::string>();
    a.grade = value_or(r, "grade", 0);
    a.opportunity = r.at("opportunity").get<std::string>();
    a.condition = condition::ConditionText(r.at("condition").get<std::string>());
    a.opportunity_kind = cfg::classify_opportunity(a.opportunity);
    return a;
}

}  // namespace

simulator::SimulationEngine load_engine(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    const json config = json::parse(in);
    simulator::SimulationEngine engine;
    for (const auto& [k, r] : config.at("talents").items()) engine.talents.insert_or_assign(key_id(k), talent_of(r));
    for (const auto& [k, r] : config.at("events").items()) engine.events.insert_or_assign(key_id(k), event_of(r));
    for (const auto& [k, r] : config.at("ages").items()) engine.ages.insert_or_assign(key_id(k), age_of(r));
    for (const auto& [k, r] : config.at("achievements").items()) {
        engine.achievements.insert_or_assign(key_id(k), achievement_of(r));
    }
    for (const auto& [k, list] : config.at("judge").items()) {
        std::vector<cfg::JudgeLevel> levels;
        for (const json& l : list) {
            levels.push_back(
                {l.at("min").get<std::int32_t>(), l.at("grade").get<std::int32_t>(), l.at("text").get<std::string>()});
        }
        std::stable_sort(levels.begin(), levels.end(),
                         [](const cfg::JudgeLevel& a, const cfg::JudgeLevel& b) { return a.min > b.min; });
        engine.judge.insert_or_assign(k, std::move(levels));
    }
    engine.prepare();
    return engine;
}

}  // namespace sablewick::bench
