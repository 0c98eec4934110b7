#include "sablewick/condition/snapshot.hpp"

#include <algorithm>

namespace sablewick::condition {

Snapshot::Snapshot(const property::PropertyState& s) noexcept
    : bits(s.list_bits()), state(&s), appended(s.TLT.size() + s.EVT.size()) {
    using property::Code;
    const auto put = [this](Code code, std::int32_t value) { values[static_cast<std::size_t>(code)] = value; };
#define SABLEWICK_PUT(name, start, host, range, value, year, effect)     \
    put(Code::name, s.name);                                             \
    SABLEWICK_IF(range, put(Code::L##name, std::min(s.name, s.L##name)); \
                 put(Code::H##name, std::max(s.name, s.H##name));)
    SABLEWICK_PROPERTIES(SABLEWICK_PUT)
#undef SABLEWICK_PUT
    put(Code::SUM, s.calculate_summary_score());
}

std::uint32_t Snapshot::changed_since(const Snapshot& earlier) const noexcept {
    std::uint32_t changed = appended != earlier.appended ? kLists : 0;
    for (std::size_t k = 0; k < kValues; ++k)
        changed |= static_cast<std::uint32_t>(values[k] != earlier.values[k]) << k;
    return changed;
}

}  // namespace sablewick::condition
