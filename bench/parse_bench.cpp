// Times the first check of one long condition: 750,000 terms "AGE>N"
// joined by "|", about 6.6 MB, parsed and stored by the process-wide cache.
//
//   parse_bench
//
// Prints "terms T bytes B seconds S heap_bytes H bytes_per_term P", where S
// is the wall-clock time of that first check and H the heap the cache holds
// for it afterwards (malloc's count of bytes in use, mmapped blocks
// included). Run in a fresh process each time, so nothing is cached yet.
// Built by bench/against/CMakeLists.txt against any tree of the engine (it
// uses only condition::cache::resolve), so scripts/bench.sh can run the same
// program on the baseline and on the current tree.

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "sablewick/condition/cache.hpp"

int main() {
    constexpr int kTerms = 750'000;
    std::string text;
    text.reserve(9 * kTerms);
    for (int i = 0; i < kTerms; ++i) {
        if (i > 0) text += '|';
        text += "AGE>";
        text += std::to_string(i % 10'000);
    }
    const auto in_use = [] {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    const std::size_t before = in_use();
    const auto start = std::chrono::steady_clock::now();
    const auto compiled = sablewick::condition::cache::resolve(text);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!compiled) {
        std::fprintf(stderr, "the condition did not parse\n");
        return 1;
    }
    const std::size_t held = in_use() - before;
    std::printf("terms %d bytes %zu seconds %.6f heap_bytes %zu bytes_per_term %.1f\n", kTerms, text.size(), seconds,
                held, static_cast<double>(held) / kTerms);
    return 0;
}
