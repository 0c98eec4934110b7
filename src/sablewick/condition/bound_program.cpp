#include "sablewick/condition/bound_program.hpp"

#include <algorithm>

#include "sablewick/process/thread_slot.hpp"

namespace sablewick::condition {

namespace {

// What a list test becomes for a configuration: the bits of the ids it
// numbers and the ids it lacks (EVT only ever holds events it has, so those
// are dropped there).
void bound_ids(const Test& t, const std::int32_t* ids, const property::IdSpaces& spaces,
               std::vector<std::int32_t>& bits, std::vector<std::int32_t>& foreign) {
    const property::ListKind kind = t.list();
    const bool events = kind == property::ListKind::EVT || kind == property::ListKind::AEVT;
    const std::uint32_t first_bit = spaces.bit_base(kind);
    bits.clear();
    foreign.clear();
    for (std::uint64_t k = 0; k < t.count(); ++k) {
        const std::uint32_t index = events ? spaces.event(ids[k]) : spaces.talent(ids[k]);
        if (index != property::IdSpaces::kNone) {
            bits.push_back(static_cast<std::int32_t>(first_bit + index));
        } else if (kind != property::ListKind::EVT) {
            foreign.push_back(ids[k]);  // sorted, as the ids are
        }
    }
}

// The cheapest test for a list test whose ids number as `bits` and lack
// `foreign`, its ids appended to `pool`.
Test bound_list_test(const Test& source, const std::vector<std::int32_t>& bits,
                     const std::vector<std::int32_t>& foreign, std::vector<std::int32_t>& pool) {
    const auto first = static_cast<std::uint32_t>(pool.size());
    if (bits.empty() && foreign.empty()) return Test::constant(false);  // shares nothing with any list it can meet
    if (foreign.empty() && bits.size() == 1) return Test::list_bit(static_cast<std::uint32_t>(bits.front()));
    if (foreign.empty()) {
        pool.insert(pool.end(), bits.begin(), bits.end());
        return Test::any_bits(first, bits.size());
    }
    pool.push_back(static_cast<std::int32_t>(bits.size()));
    pool.push_back(static_cast<std::int32_t>(foreign.size()));
    pool.insert(pool.end(), bits.begin(), bits.end());
    pool.insert(pool.end(), foreign.begin(), foreign.end());
    return Test::list_mixed(source.list(), first);
}

}  // namespace

std::uint32_t CompiledCondition::bind(const property::IdSpaces& spaces, TestArena& arena, std::uint32_t if_true,
                                      std::uint32_t if_false) const {
    // Constants were folded into the exits; only a first test can still be
    // one, and then the program starts where it leads.
    if (tests_.empty()) return if_false;
    std::uint32_t entry = 0;
    if (tests_.front().kind() == TestKind::Const) entry = tests_.front().on_false;
    if (entry == kExitTrue) return if_true;
    if (entry == kExitFalse) return if_false;

    // Each test keeps its place, after the arena's tests so far.
    const auto base = static_cast<std::uint32_t>(arena.tests.size());
    const auto target = [&](std::uint32_t exit) {
        return exit == kExitTrue ? if_true : exit == kExitFalse ? if_false : base + exit;
    };
    // Scratch kept by the thread: a configuration binds thousands of
    // programs.
    struct Scratch {
        std::vector<std::int32_t> bits, foreign;
    };
    auto& [bits, foreign] = process::ThreadSlot<Scratch>::get();

    for (const Test& source : tests_) {
        Test t = source;
        switch (source.kind()) {
            case TestKind::Set: {
                const auto first = static_cast<std::uint32_t>(arena.pool.size());
                const auto ids = pool_.begin() + source.first();
                arena.pool.insert(arena.pool.end(), ids, ids + static_cast<std::ptrdiff_t>(source.count()));
                t = Test::set(source.value(), first, source.count());
                break;
            }
            case TestKind::ListIds:
                bound_ids(source, pool_.data() + source.first(), spaces, bits, foreign);
                t = bound_list_test(source, bits, foreign, arena.pool);
                break;
            default: break;
        }
        t.set_negated(source.negated());
        t.on_true = target(source.on_true);
        t.on_false = target(source.on_false);
        arena.tests.push_back(t);
    }
    return base + entry;
}

std::uint32_t reads(const TestArena& arena, std::uint32_t start) {
    std::uint32_t mask = 0;
    // Scratch kept by the thread: a configuration asks this for thousands
    // of programs. A test counts as seen when its stamp is this call's, so
    // each call costs the size of its own program, however long.
    struct Scratch {
        std::vector<std::uint32_t> reached;
        std::vector<std::uint32_t> stamp;
        std::uint32_t call = 0;
    };
    auto& [reached, stamp, call] = process::ThreadSlot<Scratch>::get();
    if (stamp.size() < arena.tests.size()) stamp.resize(arena.tests.size(), 0);
    if (++call == 0) {
        std::fill(stamp.begin(), stamp.end(), 0);
        call = 1;
    }
    reached.clear();
    const auto visit = [&](std::uint32_t next) {
        if (next < kExitFalse && stamp[next] != call) {
            stamp[next] = call;
            reached.push_back(next);
        }
    };
    visit(start);
    for (std::size_t i = 0; i < reached.size(); ++i) {
        const Test& t = arena.tests[reached[i]];
        switch (t.kind()) {
            case TestKind::Range:
            case TestKind::Mask:
            case TestKind::Set: mask |= std::uint32_t{1} << t.value(); break;
            case TestKind::ListBit:
            case TestKind::AnyBits:
            case TestKind::ListMixed:
            case TestKind::ListIds: mask |= Snapshot::kLists; break;
            case TestKind::Const: break;
        }
        visit(t.on_true);
        visit(t.on_false);
    }
    return mask;
}

}  // namespace sablewick::condition
