// Times whole lives on the engine alone: one round of N lives, one line out.
//
//   life_bench --config PATH --choices PATH [--lives N] [--min-seconds T]
//              [--warmup N] [--seed S]
//
// The configuration is `large_config.py --json PATH --shape S`, the choices
// `large_config.py --choices PATH` (the player choices that the module
// benchmark passes to simulate_full_life). Runs N lives, and more until T
// seconds have passed (0 by default), then prints
//   lives N years Y seconds T cpu_seconds C us_per_life L us_per_year P
// where T is wall-clock time and C the CPU time of the simulating thread
// (steadier on a machine shared with other work); the two per-unit figures
// are CPU time.
// With the same seed two trees that agree run the same lives in the same
// order, so their first N lives are the same work.
// Built by bench/against/CMakeLists.txt against any tree of the engine (it
// uses only load_engine and simulate), so scripts/bench.sh can run the same
// program on the baseline and on the current tree, alternating.

#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "json_config.hpp"
#include "seeded_random.hpp"
#include "sablewick/simulator/engine.hpp"

namespace {

using namespace sablewick;

double thread_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

using bench::SeededRandom;

struct Choice {
    std::vector<std::int32_t> talents;
    StringMap<std::int32_t> properties;
};

std::vector<Choice> read_choices(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    const nlohmann::json list = nlohmann::json::parse(in);
    std::vector<Choice> choices;
    for (const auto& item : list) {
        Choice c;
        c.talents = item.at(0).get<std::vector<std::int32_t>>();
        for (const auto& [code, value] : item.at(1).items())
            c.properties.insert_or_assign(code, value.get<std::int32_t>());
        choices.push_back(std::move(c));
    }
    if (choices.empty()) throw std::runtime_error("no choices in " + path);
    return choices;
}

}  // namespace

int main(int argc, char** argv) {
    std::string config, choices_path;
    long lives = 100, warmup = 5;
    double min_seconds = 0.0;
    std::uint64_t seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--config"))
            config = argv[i + 1];
        else if (!std::strcmp(argv[i], "--choices"))
            choices_path = argv[i + 1];
        else if (!std::strcmp(argv[i], "--lives"))
            lives = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--min-seconds"))
            min_seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--warmup"))
            warmup = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--seed"))
            seed = std::strtoull(argv[i + 1], nullptr, 10);
        else {
            std::fprintf(stderr, "life_bench: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    if (config.empty() || choices_path.empty() || lives <= 0) {
        std::fprintf(stderr,
                     "usage: life_bench --config PATH --choices PATH [--lives N] [--min-seconds T] "
                     "[--warmup N] [--seed S]\n");
        return 2;
    }
    try {
        const simulator::SimulationEngine engine = bench::load_engine(config);
        const std::vector<Choice> choices = read_choices(choices_path);
        const IdSet achieved;
        SeededRandom random(seed);
        std::size_t k = 0;
        // Warm-up lives fill the condition cache and the caches of the CPU.
        for (long i = 0; i < warmup; ++i, ++k) {
            const Choice& c = choices[k % choices.size()];
            (void)engine.simulate(c.talents, c.properties, achieved, nullptr, random);
        }
        std::size_t years = 0;
        long done = 0;
        double seconds = 0.0;
        const double cpu_start = thread_cpu_seconds();
        const auto start = std::chrono::steady_clock::now();
        while (done < lives || seconds < min_seconds) {
            const Choice& c = choices[k++ % choices.size()];
            years += engine.simulate(c.talents, c.properties, achieved, nullptr, random).years.size();
            ++done;
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        const double cpu = thread_cpu_seconds() - cpu_start;
        lives = done;
        std::printf("lives %ld years %zu seconds %.6f cpu_seconds %.6f us_per_life %.3f us_per_year %.4f\n", lives,
                    years, seconds, cpu, cpu * 1e6 / static_cast<double>(lives),
                    years ? cpu * 1e6 / static_cast<double>(years) : 0.0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "life_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
