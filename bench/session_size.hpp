#pragma once
// The native size of a GameSession, summed from its structure: the object
// itself, every vector's capacity and every string held on the heap.

#include <cstddef>

#include "sablewick/simulator/session.hpp"

namespace sablewick::bench {

struct SessionSize {
    std::size_t object = 0;   // sizeof(GameSession)
    std::size_t vectors = 0;  // element storage of all vectors (capacity * sizeof)
    std::size_t strings = 0;  // heap buffers of strings beyond the inline capacity
    std::size_t heap_blocks = 0;
    std::size_t total() const { return object + vectors + strings; }
};

SessionSize session_size(const simulator::GameSession& session);

}  // namespace sablewick::bench
