#pragma once
// Golden lives: a fixed set of lives per benchmark configuration shape, each
// with its own seeded generator and player choices, reduced to one 64-bit
// digest of a canonical text of its SimulationResult.
//
// Shared by the recorder (tests/golden/record_lives.cpp, built against any
// tree of the engine) and the test (tests/cpp/golden_lives_test.cpp). It relies only on
// bench::load_engine, SimulationEngine::simulate and the result records, so
// the same source compiles against the tree the goldens were recorded from
// and against every later one. The choices are read from the configuration
// JSON (sorted ids), never from a map's walk.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

// bench/against builds this against older trees too, whose random source
// sat at the top of src/sablewick.
#if __has_include("sablewick/base/random.hpp")
#include "sablewick/base/random.hpp"
#else
#include "sablewick/random.hpp"
#endif
#include "sablewick/simulator/engine.hpp"

namespace sablewick::golden {

inline constexpr std::string_view kShapes[] = {"large", "dense", "sparse"};

// Ids that none of the shapes' configurations hold; they reach TLT, ATLT,
// AEVT and the achieved set the ways a host can pass them.
inline constexpr std::int32_t kMissingTalents[] = {999001, 999002, -7, 0};
inline constexpr std::int32_t kMissingEvents[] = {77, -1, 424242};
inline constexpr std::int32_t kMissingAchievements[] = {424242, -3};

inline std::uint64_t mix64(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// SplitMix64: small, fast and the same on every platform.
class SplitMix64 final : public RandomSource {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next_u64() override {
        state_ += 0x9e3779b97f4a7c15ULL;
        return mix64(state_);
    }
    // Uniform in [0, n) (n > 0); the slight bias does not matter here.
    std::uint64_t below(std::uint64_t n) { return next_u64() % n; }
    bool chance(std::uint64_t one_in) { return below(one_in) == 0; }

private:
    std::uint64_t state_;
};

inline std::uint64_t shape_seed(std::string_view shape) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : shape) h = (h ^ c) * 0x100000001b3ULL;
    return h;
}

// Two independent streams per life: one for its choices, one for the engine.
inline std::uint64_t life_seed(std::string_view shape, std::uint64_t index) {
    return mix64(shape_seed(shape) ^ mix64(index + 1));
}
inline std::uint64_t choice_seed(std::string_view shape, std::uint64_t index) {
    return mix64(life_seed(shape, index) ^ 0x5eed5eed5eed5eedULL);
}

// The sorted ids of a configuration, read from its JSON.
struct ConfigIds {
    // Talents without a `replacement` record: the replacement pass draws from
    // candidate lists in a hash map's order, so a golden life must not choose
    // a talent that has one (the pick could differ from process to process).
    std::vector<std::int32_t> plain_talents;
    std::vector<std::int32_t> talents;
    std::vector<std::int32_t> events;
    std::vector<std::int32_t> achievements;
};

inline ConfigIds read_config_ids(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    const nlohmann::json config = nlohmann::json::parse(in);
    ConfigIds ids;
    for (const auto& [key, record] : config.at("talents").items()) {
        const std::int32_t id = std::stoi(key);
        ids.talents.push_back(id);
        auto it = record.find("replacement");
        if (it == record.end() || it->is_null()) ids.plain_talents.push_back(id);
    }
    for (const auto& [key, record] : config.at("events").items()) ids.events.push_back(std::stoi(key));
    for (const auto& [key, record] : config.at("achievements").items()) {
        ids.achievements.push_back(std::stoi(key));
    }
    for (auto* list : {&ids.plain_talents, &ids.talents, &ids.events, &ids.achievements}) {
        std::sort(list->begin(), list->end());
    }
    return ids;
}

// One life's arguments to SimulationEngine::simulate.
struct LifeChoice {
    std::vector<std::int32_t> talent_ids;
    std::vector<std::pair<std::string, std::int32_t>> properties;
    std::vector<std::int32_t> achieved_ids;
    std::optional<simulator::PlayHistory> history;
};

template <std::size_t N>
std::int32_t pick(SplitMix64& rng, const std::int32_t (&from)[N]) {
    return from[rng.below(N)];
}

inline std::int32_t pick(SplitMix64& rng, const std::vector<std::int32_t>& from) {
    return from[rng.below(from.size())];
}

inline LifeChoice choose_life(const ConfigIds& ids, std::string_view shape, std::uint64_t index) {
    SplitMix64 rng(choice_seed(shape, index));
    LifeChoice c;

    // Talents: up to four plain ones, sometimes an id the configuration
    // lacks, sometimes one of them twice.
    const std::uint64_t count = rng.below(5);
    for (std::uint64_t k = 0; k < count && !ids.plain_talents.empty(); ++k) {
        c.talent_ids.push_back(pick(rng, ids.plain_talents));
    }
    if (rng.chance(4)) {
        c.talent_ids.insert(c.talent_ids.begin() + rng.below(c.talent_ids.size() + 1), pick(rng, kMissingTalents));
    }
    if (!c.talent_ids.empty() && rng.chance(5)) c.talent_ids.push_back(pick(rng, c.talent_ids));

    // Twenty points over the four starting properties, at most ten each;
    // now and then a key left out, an odd value, or keys that are not read.
    std::int32_t points[4] = {0, 0, 0, 0};
    for (int k = 0; k < 20; ++k) {
        std::size_t p = rng.below(4);
        while (points[p] >= 10) p = (p + 1) % 4;
        ++points[p];
    }
    static constexpr const char* kCodes[] = {"CHR", "INT", "STR", "MNY"};
    for (std::size_t p = 0; p < 4; ++p) {
        if (rng.chance(12)) continue;
        std::int32_t value = points[p];
        if (rng.chance(20)) value = rng.chance(2) ? -3 : 25;
        c.properties.emplace_back(kCodes[p], value);
    }
    if (rng.chance(6)) c.properties.emplace_back("SPR", 9);
    if (rng.chance(6)) c.properties.emplace_back("LIF", 4);
    if (rng.chance(10)) c.properties.emplace_back("chr", 7);

    // Achievements gained in earlier plays.
    if (rng.chance(3) && !ids.achievements.empty()) {
        const std::uint64_t n = 1 + rng.below(12);
        for (std::uint64_t k = 0; k < n; ++k) c.achieved_ids.push_back(pick(rng, ids.achievements));
        if (rng.chance(3)) c.achieved_ids.push_back(pick(rng, kMissingAchievements));
    }

    // Play history: absent for half the lives; when present, sometimes empty.
    if (rng.chance(2)) {
        simulator::PlayHistory h;
        if (!rng.chance(6)) {
            const std::uint64_t events = rng.below(16);
            for (std::uint64_t k = 0; k < events && !ids.events.empty(); ++k) {
                h.aevt.push_back(pick(rng, ids.events));
            }
            if (rng.chance(3)) h.aevt.push_back(pick(rng, kMissingEvents));
            if (!h.aevt.empty() && rng.chance(4)) h.aevt.push_back(h.aevt.front());
            const std::uint64_t talents = rng.below(8);
            for (std::uint64_t k = 0; k < talents && !ids.talents.empty(); ++k) {
                h.atlt.push_back(pick(rng, ids.talents));
            }
            if (rng.chance(3)) h.atlt.push_back(pick(rng, kMissingTalents));
            h.tms = static_cast<std::int32_t>(rng.below(40)) - 2;
            h.cachv = static_cast<std::int32_t>(rng.below(80));
        }
        c.history = std::move(h);
    }
    return c;
}

inline simulator::SimulationResult run_life(const simulator::SimulationEngine& engine, const LifeChoice& c,
                                            std::string_view shape, std::uint64_t index) {
    StringMap<std::int32_t> properties;
    for (const auto& [code, value] : c.properties) properties.insert_or_assign(code, value);
    IdSet achieved(c.achieved_ids.begin(), c.achieved_ids.end());
    SplitMix64 random(life_seed(shape, index));
    return engine.simulate(c.talent_ids, properties, achieved, c.history ? &*c.history : nullptr, random);
}

// ------------------------------------------------------------ canonical text

namespace detail {

inline void text(std::string& out, std::string_view s) {
    out += std::to_string(s.size());
    out += ':';
    out += s;
}

inline void num(std::string& out, long long v) {
    out += ' ';
    out += std::to_string(v);
}

inline void info(std::string& out, const simulator::TalentInfo& t) {
    out += ' ';
    text(out, t.name);
    out += ' ';
    text(out, t.description);
    num(out, t.id);
    num(out, t.grade);
}

inline bool info_less(const simulator::TalentInfo& a, const simulator::TalentInfo& b) {
    if (a.id != b.id) return a.id < b.id;
    if (a.name != b.name) return a.name < b.name;
    if (a.description != b.description) return a.description < b.description;
    return a.grade < b.grade;
}

}  // namespace detail

// Every field of a result, one line per record, texts length-prefixed. The
// achievements are listed sorted: their order is the achievement map's walk,
// which the game leaves open.
inline std::string canonical_text(const simulator::SimulationResult& r) {
    using detail::num;
    using detail::text;
    std::string out;
    out += "years";
    num(out, static_cast<long long>(r.years.size()));
    out += '\n';
    for (const auto& y : r.years) {
        out += "year";
        num(out, y.age);
        num(out, y.is_end ? 1 : 0);
        const auto& p = y.properties;
        for (std::int32_t v : {p.CHR, p.INT, p.STR, p.MNY, p.SPR, p.LIF}) num(out, v);
        num(out, static_cast<long long>(y.entries.size()));
        out += '\n';
        for (const auto& e : y.entries) {
            out += "  ";
            text(out, e.kind);
            num(out, e.grade);
            out += e.name ? " +" : " -";
            if (e.name) text(out, *e.name);
            out += ' ';
            text(out, e.text);
            out += '\n';
        }
    }
    out += "judges";
    num(out, static_cast<long long>(r.judges.size()));
    out += '\n';
    for (const auto& j : r.judges) {
        char progress[64];
        std::snprintf(progress, sizeof progress, "%a", j.progress);
        out += "judge ";
        text(out, j.property_type);
        out += ' ';
        text(out, j.text);
        out += ' ';
        out += progress;
        num(out, j.value);
        num(out, j.grade);
        out += '\n';
    }
    out += "talents";
    num(out, static_cast<long long>(r.talents.size()));
    out += '\n';
    for (const auto& t : r.talents) {
        out += "talent";
        detail::info(out, t);
        out += '\n';
    }
    out += "score";
    num(out, r.total_score);
    out += '\n';
    std::vector<simulator::AchievementInfo> achievements = r.new_achievements;
    std::sort(achievements.begin(), achievements.end(), detail::info_less);
    out += "achievements";
    num(out, static_cast<long long>(achievements.size()));
    out += '\n';
    for (const auto& a : achievements) {
        out += "achievement";
        detail::info(out, a);
        out += '\n';
    }
    out += "events";
    num(out, static_cast<long long>(r.triggered_events.size()));
    out += ':';
    for (std::int32_t id : r.triggered_events) num(out, id);
    out += '\n';
    out += "replacements";
    num(out, static_cast<long long>(r.replacements.size()));
    out += '\n';
    for (const auto& rep : r.replacements) {
        out += "replacement";
        detail::info(out, rep.source);
        out += " ->";
        detail::info(out, rep.target);
        out += '\n';
    }
    return out;
}

// FNV-1a, 64 bits.
inline std::uint64_t digest(std::string_view text) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ULL;
    return h;
}

inline std::string hex(std::uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

// The choices of a life as text, for the head of a dump.
inline std::string describe(const LifeChoice& c) {
    std::string out = "talent_ids:";
    for (std::int32_t id : c.talent_ids) out += ' ' + std::to_string(id);
    out += "\nproperties:";
    for (const auto& [code, value] : c.properties) out += ' ' + code + '=' + std::to_string(value);
    out += "\nachieved_ids:";
    for (std::int32_t id : c.achieved_ids) out += ' ' + std::to_string(id);
    out += "\nhistory:";
    if (!c.history) {
        out += " none";
    } else {
        out += " tms=" + std::to_string(c.history->tms) + " cachv=" + std::to_string(c.history->cachv);
        out += " aevt=[";
        for (std::int32_t id : c.history->aevt) out += ' ' + std::to_string(id);
        out += " ] atlt=[";
        for (std::int32_t id : c.history->atlt) out += ' ' + std::to_string(id);
        out += " ]";
    }
    out += '\n';
    return out;
}

// A golden file: comment lines starting with '#', then "INDEX DIGEST YEARS".
struct GoldenLife {
    std::uint64_t index = 0;
    std::string digest;
    std::size_t years = 0;
};

inline std::vector<GoldenLife> read_golden(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<GoldenLife> lives;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        GoldenLife g;
        char digest[32] = {};
        unsigned long long index = 0;
        std::size_t years = 0;
        if (std::sscanf(line.c_str(), "%llu %31s %zu", &index, digest, &years) != 3) {
            throw std::runtime_error("bad line in " + path + ": " + line);
        }
        g.index = index;
        g.digest = digest;
        g.years = years;
        lives.push_back(std::move(g));
    }
    return lives;
}

}  // namespace sablewick::golden
