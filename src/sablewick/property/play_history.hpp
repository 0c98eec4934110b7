#pragma once
// What the host says of earlier lives, which the starting state reads.

#include <cstdint>
#include <vector>

namespace sablewick::property {

struct PlayHistory {
    std::vector<std::int32_t> aevt;
    std::vector<std::int32_t> atlt;
    std::int32_t tms = 0;
    std::int32_t cachv = 0;
};

}  // namespace sablewick::property
