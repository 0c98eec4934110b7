// Records golden lives, or shows one of them in full.
//
//   record_lives --config PATH --shape S --lives N [--from COMMIT]   > lives-S.txt
//   record_lives --config PATH --shape S --dump INDEX                 > life.txt
//
// The configuration is `python bench/large_config.py --json PATH --shape S`.
// Built by bench/against/CMakeLists.txt against any tree of the engine, so a
// life whose digest changed can be dumped from both trees and diffed.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "golden_life.hpp"
#include "json_config.hpp"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: record_lives --config PATH --shape large|dense|sparse "
                 "(--lives N [--from COMMIT] | --dump INDEX)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string config, shape, from = "unknown";
    long lives = -1, dump = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--config"))
            config = argv[i + 1];
        else if (!std::strcmp(argv[i], "--shape"))
            shape = argv[i + 1];
        else if (!std::strcmp(argv[i], "--lives"))
            lives = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--dump"))
            dump = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--from"))
            from = argv[i + 1];
        else
            return usage();
    }
    if (config.empty() || shape.empty() || (lives < 0) == (dump < 0)) return usage();
    try {
        using namespace sablewick;
        const golden::ConfigIds ids = golden::read_config_ids(config);
        const simulator::SimulationEngine engine = bench::load_engine(config);
        if (dump >= 0) {
            const auto index = static_cast<std::uint64_t>(dump);
            const golden::LifeChoice choice = golden::choose_life(ids, shape, index);
            const std::string text = golden::canonical_text(golden::run_life(engine, choice, shape, index));
            std::printf("# shape %s, life %ld, digest %s\n%s%s", shape.c_str(), dump,
                        golden::hex(golden::digest(text)).c_str(), golden::describe(choice).c_str(), text.c_str());
            return 0;
        }
        std::printf(
            "# golden lives of the %s shape (python bench/large_config.py --json PATH --shape %s),\n"
            "# recorded from %s by tests/golden/record_lives.cpp.\n"
            "# index, FNV-1a 64 digest of the life's canonical text (golden_life.hpp), years\n",
            shape.c_str(), shape.c_str(), from.c_str());
        for (long k = 0; k < lives; ++k) {
            const auto index = static_cast<std::uint64_t>(k);
            const auto result = golden::run_life(engine, golden::choose_life(ids, shape, index), shape, index);
            std::printf("%ld %s %zu\n", k, golden::hex(golden::digest(golden::canonical_text(result))).c_str(),
                        result.years.size());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "record_lives: %s\n", e.what());
        return 1;
    }
    return 0;
}
