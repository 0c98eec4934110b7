#pragma once
// The weighted choice every draw of the game makes (a year's event, a
// talent's replacement).

#include <cstddef>
#include <optional>

#include "sablewick/base/random.hpp"

namespace sablewick {

// Among `count` candidates whose weights, in order, sum to `total`: nothing
// when there are none or the total is 0 or less (NaN is not: it goes on to
// the draw, where the last candidate wins), and no random output is used
// then. Otherwise one draw r: the remainder total * r loses each weight in
// order, and the first candidate that brings it to 0 or below is chosen,
// else the last.
template <class WeightAt>
std::optional<std::size_t> pick_weighted(std::size_t count, double total, WeightAt weight_at, RandomSource& random) {
    if (count == 0 || total <= 0.0) return std::nullopt;
    double target = total * random.next_unit();
    for (std::size_t i = 0; i < count; ++i) {
        target -= weight_at(i);
        if (target <= 0.0) return i;
    }
    return count - 1;
}

}  // namespace sablewick
