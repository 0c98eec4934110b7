#pragma once
// The mutable state of one life.

#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "sablewick/containers.hpp"

namespace sablewick { class RandomSource; }

namespace sablewick::simulator { struct PlayHistory; }

namespace sablewick::property {

class PropertyState {
public:
    static constexpr std::int32_t kMinStart = std::numeric_limits<std::int32_t>::max();
    static constexpr std::int32_t kMaxStart = std::numeric_limits<std::int32_t>::min();

    // Start values: TLT = talents, CHR/INT/STR/MNY from properties (0 when
    // absent), SPR 5, LIF 1, AGE -1, history copied into AEVT/ATLT/TMS/CACHV.
    PropertyState(const std::vector<std::int32_t>& talents,
                  const StringMap<std::int32_t>& properties,
                  const simulator::PlayHistory* history);

    // Changes the state by property code (see the code table); codes outside
    // it are ignored. "RDM" draws its target from `random`.
    void change(std::string_view code, std::int32_t delta, RandomSource& random);

    std::int32_t calculate_summary_score() const;

    // Fields, named by their property codes.
    std::vector<std::int32_t> TLT;
    std::vector<std::int32_t> EVT;
    std::vector<std::int32_t> AEVT;
    std::vector<std::int32_t> ATLT;
    std::int32_t AGE = -1;
    std::int32_t CHR = 0;
    std::int32_t INT = 0;
    std::int32_t STR = 0;
    std::int32_t MNY = 0;
    std::int32_t SPR = 5;
    std::int32_t LIF = 1;
    std::int32_t TMS = 0;
    std::int32_t CACHV = 0;
    std::int32_t LAGE = kMinStart, LCHR = kMinStart, LINT = kMinStart, LSTR = kMinStart,
                 LMNY = kMinStart, LSPR = kMinStart;
    std::int32_t HAGE = kMaxStart, HCHR = kMaxStart, HINT = kMaxStart, HSTR = kMaxStart,
                 HMNY = kMaxStart, HSPR = kMaxStart;
};

}  // namespace sablewick::property
