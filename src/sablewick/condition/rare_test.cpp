// The kinds of test that run() leaves to a call: rarer in the draw's
// programs, or too long to inline.

#include "sablewick/condition/program.hpp"

namespace sablewick::condition {

bool detail::rare_test(const Test& t, const std::int32_t* pool, const Snapshot& s) noexcept {
    switch (t.kind()) {
        case TestKind::Range:
        case TestKind::ListBit:
        case TestKind::AnyBits: break;  // run() answers these itself
        case TestKind::Mask: {
            const std::uint32_t d =
                static_cast<std::uint32_t>(s.values[t.value()]) - static_cast<std::uint32_t>(t.lo());
            return d < 64 && ((t.members() >> d) & 1);
        }
        case TestKind::Set: return has_id(pool + t.first(), t.count(), s.values[t.value()]);
        case TestKind::ListMixed: {
            const std::int32_t* p = pool + t.first();
            const std::int32_t dense = p[0], foreign = p[1];
            for (std::int32_t k = 0; k < dense; ++k) {
                if (bit_of(s.bits, static_cast<std::uint32_t>(p[2 + k]))) return true;
            }
            // The ids the spaces lack, looked up in the life's set of them:
            // the test costs its own ids, however many the life holds.
            const hashing::FlatIdSet& held = s.state->list_foreign(t.list());
            for (std::int32_t k = 0; k < foreign; ++k) {
                if (held.contains(p[2 + dense + k])) return true;
            }
            return false;
        }
        case TestKind::ListIds: {
            const property::PropertyState& state = *s.state;
            const property::ListKind kind = t.list();
            const std::vector<std::int32_t>& list = kind == property::ListKind::TLT    ? state.TLT
                                                    : kind == property::ListKind::EVT  ? state.EVT
                                                    : kind == property::ListKind::AEVT ? state.AEVT
                                                                                       : state.ATLT;
            for (std::int32_t id : list) {
                if (has_id(pool + t.first(), t.count(), id)) return true;
            }
            return false;
        }
        case TestKind::Const: break;  // never holds: a true one has its exits swapped
    }
    return false;
}

}  // namespace sablewick::condition
