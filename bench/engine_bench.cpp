// Micro-benchmarks of the engine on the large configuration, with heap
// allocations counted by the replaced operator new (alloc_counter.cpp).
//
//   sablewick_engine_bench --config PATH [--profile N] [Google Benchmark flags]
//
// Without --profile: prints the allocation account of simulated years and the
// native size of a 100-year GameSession, then runs the benchmarks and prints
// the ratios of their medians. With --profile N: simulates and renders N lives
// and nothing else (for callgrind).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "alloc_counter.hpp"
#include "json_config.hpp"
#include "seeded_random.hpp"
#include "session_size.hpp"
#include "sablewick/base/random.hpp"
#include "sablewick/condition/cache.hpp"
#include "sablewick/condition/parser.hpp"
#include "sablewick/condition/tokenizer.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/simulator/engine.hpp"
#include "sablewick/simulator/session.hpp"
#include "sablewick/testing/condition_checks.hpp"
#include "sablewick/testing/evaluator.hpp"
#include "sablewick/utf8/utf8.hpp"

namespace {

using namespace sablewick;
using bench::AllocScope;

using bench::SeededRandom;

struct Choice {
    std::vector<std::int32_t> talents;
    StringMap<std::int32_t> properties;
};

// Everything the benchmarks share, built once from the configuration file.
struct Fixture {
    simulator::SimulationEngine engine;
    simulator::EmojiMap emoji = simulator::default_emoji_map();
    std::vector<const condition::ConditionText*> all;             // every condition of the records
    std::vector<const condition::ConditionText*> handles;         // those that parse
    std::vector<std::unique_ptr<condition::ast::AstNode>> trees;  // same texts
    std::vector<property::PropertyState> states;
    std::vector<config::EffectConfig> effects;
    std::vector<Choice> choices;
};

Fixture* fixture = nullptr;

void collect_conditions(Fixture& f) {
    std::vector<const condition::ConditionText*>& all = f.all;
    for (const auto& [id, t] : f.engine.talents) {
        if (t.condition) all.push_back(&*t.condition);
    }
    for (const auto& [id, e] : f.engine.events) {
        if (e.include) all.push_back(&*e.include);
        if (e.exclude) all.push_back(&*e.exclude);
        if (e.branch) {
            for (const auto& b : *e.branch) all.push_back(&b.condition);
        }
        if (e.effect) f.effects.push_back(*e.effect);
    }
    for (const auto& [id, a] : f.engine.achievements) all.push_back(&a.condition);
    for (const condition::ConditionText* c : all) {
        const std::string_view trimmed = utf8::trim(c->text());
        if (trimmed.empty()) continue;
        auto tokens = condition::tokenize(trimmed);
        if (!tokens) continue;
        auto tree = condition::parser::parse_tokens(*tokens);
        if (!tree) continue;  // texts that never parse take no part
        f.handles.push_back(c);
        f.trees.push_back(std::move(*tree));
    }
}

// States of lives at several ages: values spread around the start points,
// EVT holding about one event per year lived.
void make_states(Fixture& f) {
    std::mt19937_64 rng(11);
    std::vector<std::int32_t> event_ids;
    for (const auto& [id, e] : f.engine.events) event_ids.push_back(id);
    std::sort(event_ids.begin(), event_ids.end());
    std::vector<std::int32_t> talent_ids;
    for (const auto& [id, t] : f.engine.talents) talent_ids.push_back(id);
    std::sort(talent_ids.begin(), talent_ids.end());
    SeededRandom random(5);
    for (int age : {0, 8, 16, 25, 40, 55, 70, 85}) {
        std::vector<std::int32_t> talents;
        for (int k = 0; k < 3 + age / 30; ++k) talents.push_back(talent_ids[rng() % talent_ids.size()]);
        StringMap<std::int32_t> props{{"CHR", 5}, {"INT", 5}, {"STR", 5}, {"MNY", 5}};
        property::PropertyState s(talents, props, nullptr);
        for (int year = 0; year <= age; ++year) {
            s.age_step();
            const auto& e = f.effects[rng() % f.effects.size()];
            simulator::apply_effect(s, e, random);
            // Events of the life so far, roughly in the stage the age lies in.
            const std::size_t band = event_ids.size() * std::min(year, 100) / 110;
            s.add_event(event_ids[band + rng() % 1400 % (event_ids.size() - band)]);
        }
        f.states.push_back(std::move(s));
    }
}

void make_choices(Fixture& f) {
    std::mt19937_64 rng(7);
    std::vector<std::int32_t> talent_ids;
    for (const auto& [id, t] : f.engine.talents) talent_ids.push_back(id);
    std::sort(talent_ids.begin(), talent_ids.end());
    const char* names[] = {"CHR", "INT", "STR", "MNY"};
    for (int k = 0; k < 64; ++k) {
        Choice c;
        for (int t = 0; t < 3; ++t) c.talents.push_back(talent_ids[rng() % talent_ids.size()]);
        int points[4] = {};
        for (int p = 0; p < 20; ++p) {
            int i;
            do i = static_cast<int>(rng() % 4);
            while (points[i] >= 10);
            ++points[i];
        }
        for (int i = 0; i < 4; ++i) c.properties.emplace(names[i], points[i]);
        f.choices.push_back(std::move(c));
    }
}

// ---- conditions ------------------------------------------------------------

// The hot path: the record's handle (resolved once) evaluated flat.
// range(0): how many of the conditions take part (0: all of them). A few
// hundred stay in the cache; all 14,000 reach out to memory on every check.
std::size_t condition_count(const benchmark::State& st) {
    const auto n = static_cast<std::size_t>(st.range(0));
    return n == 0 || n > fixture->handles.size() ? fixture->handles.size() : n;
}

void BM_ConditionCheckHandle(benchmark::State& st) {
    const Fixture& f = *fixture;
    const std::size_t count = condition_count(st);
    std::size_t s = 0, held = 0;
    AllocScope allocs;
    for (auto _ : st) {
        const auto& state = f.states[s++ % f.states.size()];
        for (std::size_t i = 0; i < count; ++i) {
            held += condition::check(*f.handles[i], state) == condition::Outcome::True;
        }
    }
    benchmark::DoNotOptimize(held);
    st.counters["allocs/check"] = benchmark::Counter(
        static_cast<double>(allocs.allocations()) / static_cast<double>(count), benchmark::Counter::kAvgIterations);
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * count));
}

// The same checks against one state: how the cost grows with the life's
// event list (EVT), which most event conditions scan.
void BM_ConditionCheckAtAge(benchmark::State& st) {
    const Fixture& f = *fixture;
    const auto& state = f.states[static_cast<std::size_t>(st.range(0))];
    std::size_t held = 0;
    for (auto _ : st) {
        for (const auto* h : f.handles) held += condition::check(*h, state) == condition::Outcome::True;
    }
    benchmark::DoNotOptimize(held);
    st.counters["AGE"] = state.AGE;
    st.counters["EVT"] = static_cast<double>(state.EVT.size());
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * f.handles.size()));
}

// The floor: the same parsed trees evaluated directly.
void BM_ConditionEvaluateTree(benchmark::State& st) {
    const Fixture& f = *fixture;
    const std::size_t count = condition_count(st);
    std::size_t s = 0, held = 0;
    AllocScope allocs;
    for (auto _ : st) {
        const auto& state = f.states[s++ % f.states.size()];
        for (std::size_t i = 0; i < count; ++i) held += condition::evaluator::check(*f.trees[i], state);
    }
    benchmark::DoNotOptimize(held);
    st.counters["allocs/check"] = benchmark::Counter(
        static_cast<double>(allocs.allocations()) / static_cast<double>(count), benchmark::Counter::kAvgIterations);
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * count));
}

// By text through the process-wide cache (hash, shared lock, evaluate).
void BM_ConditionCheckCache(benchmark::State& st) {
    const Fixture& f = *fixture;
    std::size_t s = 0, held = 0;
    AllocScope allocs;
    for (auto _ : st) {
        const auto& state = f.states[s++ % f.states.size()];
        for (const auto* h : f.handles) {
            auto r = condition::cache::check_condition(h->text(), state);
            held += r && *r;
        }
    }
    benchmark::DoNotOptimize(held);
    st.counters["allocs/check"] =
        benchmark::Counter(static_cast<double>(allocs.allocations()) / static_cast<double>(f.handles.size()),
                           benchmark::Counter::kAvgIterations);
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * f.handles.size()));
}

// ---- property changes --------------------------------------------------------

constexpr const char* kCodes[] = {"CHR", "INT", "STR", "MNY", "SPR", "LIF", "AGE", "RDM", "TMS", "SUM", "chr", "LCHR"};

void BM_PropertyChangeByText(benchmark::State& st) {
    property::PropertyState s = fixture->states.back();
    SeededRandom random(3);
    std::size_t i = 0;
    AllocScope allocs;
    for (auto _ : st) {
        s.change(kCodes[i % std::size(kCodes)], (i & 1) ? 1 : -1, random);
        ++i;
    }
    benchmark::DoNotOptimize(s.CHR);
    st.counters["allocs/change"] =
        benchmark::Counter(static_cast<double>(allocs.allocations()), benchmark::Counter::kAvgIterations);
}

void BM_ApplyEffect(benchmark::State& st) {
    const Fixture& f = *fixture;
    property::PropertyState s = f.states.back();
    SeededRandom random(3);
    std::size_t i = 0;
    AllocScope allocs;
    for (auto _ : st) simulator::apply_effect(s, f.effects[i++ % f.effects.size()], random);
    benchmark::DoNotOptimize(s.CHR);
    st.counters["allocs/effect"] =
        benchmark::Counter(static_cast<double>(allocs.allocations()), benchmark::Counter::kAvgIterations);
}

// ---- whole lives -------------------------------------------------------------

void BM_SimulateLife(benchmark::State& st) {
    const Fixture& f = *fixture;
    SeededRandom random(17);
    std::size_t k = 0, years = 0;
    AllocScope allocs;
    for (auto _ : st) {
        const Choice& c = f.choices[k++ % f.choices.size()];
        auto result = f.engine.simulate(c.talents, c.properties, {}, nullptr, random);
        years += result.years.size();
        benchmark::DoNotOptimize(result);
    }
    st.counters["years/life"] = benchmark::Counter(static_cast<double>(years), benchmark::Counter::kAvgIterations);
    st.counters["time/year"] =
        benchmark::Counter(static_cast<double>(years), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    st.counters["allocs/year"] = benchmark::Counter(static_cast<double>(allocs.allocations()) /
                                                    static_cast<double>(std::max<std::size_t>(years, 1)));
}

void BM_SimulateAndRender(benchmark::State& st) {
    const Fixture& f = *fixture;
    SeededRandom random(17);
    std::size_t k = 0;
    for (auto _ : st) {
        const Choice& c = f.choices[k++ % f.choices.size()];
        auto session =
            simulator::GameSession::create(f.engine.simulate(c.talents, c.properties, {}, nullptr, random), f.emoji);
        benchmark::DoNotOptimize(session);
    }
}

// What init_config adds to the conversion: compiling the maps into the
// yearly loop's rules (on a copy, whose rules start empty; the conditions
// are in the cache already, as after a first load).
void BM_CompileRules(benchmark::State& st) {
    simulator::SimulationEngine copy = fixture->engine;
    for (auto _ : st) {
        copy.prepare();
        benchmark::DoNotOptimize(copy.rules());
    }
}

BENCHMARK(BM_ConditionCheckHandle)->Arg(0)->Arg(400);
BENCHMARK(BM_ConditionEvaluateTree)->Arg(0)->Arg(400);
BENCHMARK(BM_ConditionCheckAtAge)->Arg(0)->Arg(4)->Arg(7);
BENCHMARK(BM_ConditionCheckCache);
BENCHMARK(BM_PropertyChangeByText);
BENCHMARK(BM_ApplyEffect);
BENCHMARK(BM_SimulateLife)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SimulateAndRender)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompileRules)->Unit(benchmark::kMillisecond);

// Console output as usual, and the median of every benchmark kept for the
// ratios printed at the end.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    MedianReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool mean = run.run_type == Run::RT_Iteration ||
                              (run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean");
            for (const auto& [name, counter] : run.counters) {
                if (mean && name.rfind("allocs/", 0) == 0) {
                    allocs[run.run_name.str() + " " + name] = counter.value;
                }
            }
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[run.run_name.str()] = run.GetAdjustedRealTime();
                cpu_medians[run.run_name.str()] = run.GetAdjustedCPUTime();
            } else if (run.run_type == Run::RT_Iteration) {
                singles[run.run_name.str()] = run.GetAdjustedRealTime();
                cpu_medians.try_emplace(run.run_name.str(), run.GetAdjustedCPUTime());
            }
        }
    }
    double time_of(const std::string& name) const {
        auto it = medians.find(name);
        if (it != medians.end()) return it->second;
        auto single = singles.find(name);
        return single == singles.end() ? 0.0 : single->second;
    }
    double cpu_of(const std::string& name) const {
        auto it = cpu_medians.find(name);
        return it == cpu_medians.end() ? 0.0 : it->second;
    }
    std::map<std::string, double> medians, singles, cpu_medians, allocs;
};

// ---- allocation account and session size -------------------------------------

bool heap_string(const std::string& s) { return s.capacity() > 15; }

// Growths of a vector that starts with `reserved` slots and ends with n.
int growths(std::size_t n, std::size_t reserved) {
    int g = 0;
    for (std::size_t cap = reserved; cap < n; cap = cap ? cap * 2 : 1) ++g;
    return g;
}

// What a life's own lines and records must allocate: per year the line
// vector (reserved for 8) and its heap strings; per new achievement its
// record's strings, the vector it was found in and, for START and
// TRAJECTORY, its entry in the run's achieved set.
std::uint64_t own_allocations(const simulator::SimulationResult& r, const simulator::SimulationEngine& engine) {
    std::uint64_t n = 0;
    for (const auto& year : r.years) {
        n += 1 + static_cast<std::uint64_t>(growths(year.entries.size(), 8));
        for (const auto& e : year.entries) {
            n += heap_string(e.text) + (e.name && heap_string(*e.name));
        }
    }
    for (const auto& a : r.new_achievements) {
        n += 1 + heap_string(a.name) + heap_string(a.description);
        auto found = engine.achievements.find(a.id);  // the generated ids equal their keys
        if (found != engine.achievements.end() && found->second.opportunity_kind != config::Opportunity::Summary) {
            ++n;
        }
    }
    return n;
}

void allocation_account(const Fixture& f) {
    SeededRandom random(23);
    const int lives = 2000;
    double sx = 0, sy = 0, sxx = 0, sxy = 0, total_years = 0, total_allocs = 0, lines = 0;
    double lowest = 1e300, highest = -1e300;
    for (int k = 0; k < lives; ++k) {
        const Choice& c = f.choices[static_cast<std::size_t>(k) % f.choices.size()];
        AllocScope scope;
        simulator::SimulationResult result = f.engine.simulate(c.talents, c.properties, {}, nullptr, random);
        const double allocs = static_cast<double>(scope.allocations());
        const double years = static_cast<double>(result.years.size());
        const double excess = allocs - static_cast<double>(own_allocations(result, f.engine));
        lowest = std::min(lowest, excess);
        highest = std::max(highest, excess);
        for (const auto& y : result.years) lines += static_cast<double>(y.entries.size());
        sx += years;
        sy += excess;
        sxx += years * years;
        sxy += years * excess;
        total_years += years;
        total_allocs += allocs;
    }
    const double n = lives;
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    const double intercept = (sy - slope * sx) / n;
    std::printf("allocation account over %d lives (%.1f years, %.2f lines per year on average):\n", lives,
                total_years / n, lines / total_years);
    std::printf("  allocations per simulated year, all in:         %.2f\n", total_allocs / total_years);
    std::printf("  beyond the year's own lines and records:\n");
    std::printf("    per life: mean %.1f, least %.0f, most %.0f\n", sy / n, lowest, highest);
    std::printf("    per life (constant part, fit):                %.1f\n", intercept);
    std::printf("    per additional year (slope of the fit):       %.3f\n", slope);
    std::printf("  TARGET a year allocates only its lines and records plus a small constant: %s\n",
                slope < 0.1 ? "met" : "MISSED");
}

void session_report(const Fixture& f) {
    SeededRandom random(29);
    // Lives of exactly 100 years are common enough to wait for.
    for (int attempt = 0; attempt < 200000; ++attempt) {
        const Choice& c = f.choices[static_cast<std::size_t>(attempt) % f.choices.size()];
        const std::int64_t before = bench::alloc_stats().live_bytes;
        std::optional<simulator::GameSession> session;
        {
            auto result = f.engine.simulate(c.talents, c.properties, {}, nullptr, random);
            if (result.years.size() != 100) continue;
            session.emplace(simulator::GameSession::create(std::move(result), f.emoji));
        }
        const std::int64_t held = bench::alloc_stats().live_bytes - before;
        const bench::SessionSize size = bench::session_size(*session);
        std::size_t text = 0;
        for (const auto& y : session->years) text += y.display_text.size();
        std::printf("native size of one 100-year GameSession:\n");
        std::printf("  sizeof(GameSession):                       %zu bytes\n", size.object);
        std::printf("  vector storage (capacity x element size):  %zu bytes\n", size.vectors);
        std::printf("  heap string buffers:                        %zu bytes (%zu bytes of year text)\n", size.strings,
                    text);
        std::printf("  total by structure:                         %zu bytes in %zu heap blocks\n", size.total(),
                    size.heap_blocks);
        std::printf("  measured usable heap bytes (malloc):        %lld bytes\n", static_cast<long long>(held));
        std::printf("  (%zu years, %zu judges, %zu talents, %zu achievements, %zu events)\n", session->years.size(),
                    session->judges.size(), session->talents.size(), session->new_achievements.size(),
                    session->triggered_events.size());
        return;
    }
    std::printf("native size: no 100-year life found\n");
}

// Kept out of line so that callgrind can collect just this part.
[[gnu::noinline]] int profile_lives(const Fixture& f, long lives) {
    SeededRandom random(31);
    std::size_t years = 0;
    for (long k = 0; k < lives; ++k) {
        const Choice& c = f.choices[static_cast<std::size_t>(k) % f.choices.size()];
        auto session =
            simulator::GameSession::create(f.engine.simulate(c.talents, c.properties, {}, nullptr, random), f.emoji);
        years += session.years.size();
    }
    std::printf("profiled %ld lives, %zu years\n", lives, years);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string config_path;
    long lives_to_profile = 0;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
            config_path = argv[++i];
        } else if (std::strcmp(argv[i], "--profile") == 0 && i + 1 < argc) {
            lives_to_profile = std::strtol(argv[++i], nullptr, 10);
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (config_path.empty()) {
        std::fprintf(stderr, "usage: %s --config PATH [--profile N] [benchmark flags]\n", argv[0]);
        return 2;
    }
    fixture = new Fixture;
    fixture->engine = bench::load_engine(config_path);
    collect_conditions(*fixture);
    make_states(*fixture);
    make_choices(*fixture);
    // Every text resolved beforehand, as in a process that has run a while:
    // the first check of each text parses it, once per process.
    for (const auto* c : fixture->all) (void)condition::check(*c, fixture->states[0]);
    if (lives_to_profile > 0) return profile_lives(*fixture, lives_to_profile);

    std::printf("configuration: %zu talents, %zu events, %zu ages, %zu achievements; %zu conditions that parse\n",
                fixture->engine.talents.size(), fixture->engine.events.size(), fixture->engine.ages.size(),
                fixture->engine.achievements.size(), fixture->handles.size());
    allocation_account(*fixture);
    session_report(*fixture);
    std::fflush(stdout);

    int bargc = static_cast<int>(rest.size());
    benchmark::Initialize(&bargc, rest.data());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double all = static_cast<double>(fixture->handles.size());
    struct Pair {
        const char* label;
        const char* suffix;
        double count;
    };
    const Pair pairs[] = {{"all conditions (memory-bound)", "/0", all},
                          {"400 conditions (cache-resident)", "/400", 400}};
    std::printf("\ncondition check on the hot path (record handle) against the parsed tree, medians:\n");
    for (const Pair& p : pairs) {
        const std::string h = std::string("BM_ConditionCheckHandle") + p.suffix;
        const std::string t = std::string("BM_ConditionEvaluateTree") + p.suffix;
        const double handle = reporter.time_of(h), tree = reporter.time_of(t);
        if (handle <= 0 || tree <= 0) continue;
        std::printf(
            "  %-32s handle %6.1f ns, tree %6.1f ns per check: %.2f by wall time, %.2f by CPU time"
            "   (TARGET <= 2.0: %s)\n",
            p.label, handle / p.count, tree / p.count, handle / tree, reporter.cpu_of(h) / reporter.cpu_of(t),
            handle / tree <= 2.0 ? "met" : "MISSED");
    }
    const double cache = reporter.time_of("BM_ConditionCheckCache");
    const double tree_all = reporter.time_of("BM_ConditionEvaluateTree/0");
    if (cache > 0 && tree_all > 0) {
        std::printf("  by text through the cache (hash, shared lock): %.1f ns per check, %.2f x the tree\n",
                    cache / all, cache / tree_all);
    }
    bool none = true;
    for (const auto& [name, value] : reporter.allocs) {
        if (name.find("BM_SimulateLife") != std::string::npos) continue;
        std::printf("  %s = %g\n", name.c_str(), value);
        none = none && value == 0.0;
    }
    std::printf("  TARGET no heap allocation per condition check or property change: %s\n", none ? "met" : "MISSED");
    benchmark::Shutdown();
    return 0;
}
