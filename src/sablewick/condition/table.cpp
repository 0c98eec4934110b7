#include "sablewick/condition/table.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace sablewick::condition {

namespace {

// A list of at most N items, on the stack.
template <class T, std::size_t N>
class SmallList {
public:
    // False (and nothing added) when full.
    bool push_back(T value) noexcept {
        if (size_ == N) return false;
        items_[size_++] = value;
        return true;
    }
    void pop_back() noexcept { --size_; }
    T& back() noexcept { return items_[size_ - 1]; }
    bool empty() const noexcept { return size_ == 0; }
    std::size_t size() const noexcept { return size_; }
    T& operator[](std::size_t i) noexcept { return items_[i]; }
    T* begin() noexcept { return items_; }
    T* end() noexcept { return items_ + size_; }

private:
    T items_[N];
    std::size_t size_ = 0;
};

// A set of the 128 combinations of the seven slots' results.
using Combinations = std::array<std::uint64_t, 2>;
static_assert(TableCondition::kSlots == 7);

constexpr Combinations kAllCombinations = {~std::uint64_t{0}, ~std::uint64_t{0}};
// The combinations in which slot s holds.
constexpr Combinations kSlotHolds[TableCondition::kSlots] = {
    {0xAAAAAAAAAAAAAAAAu, 0xAAAAAAAAAAAAAAAAu},
    {0xCCCCCCCCCCCCCCCCu, 0xCCCCCCCCCCCCCCCCu},
    {0xF0F0F0F0F0F0F0F0u, 0xF0F0F0F0F0F0F0F0u},
    {0xFF00FF00FF00FF00u, 0xFF00FF00FF00FF00u},
    {0xFFFF0000FFFF0000u, 0xFFFF0000FFFF0000u},
    {0xFFFFFFFF00000000u, 0xFFFFFFFF00000000u},
    {0, ~std::uint64_t{0}},
};

constexpr Combinations unite(const Combinations& a, const Combinations& b) { return {a[0] | b[0], a[1] | b[1]}; }
constexpr Combinations intersect(const Combinations& a, const Combinations& b) { return {a[0] & b[0], a[1] & b[1]}; }
constexpr Combinations complement(const Combinations& a) { return {~a[0], ~a[1]}; }

// The outcome of a scalar test when its value is known.
std::optional<bool> fixed_outcome(const Test& t, const std::optional<FixedValue>& fixed) {
    if (!fixed || (t.kind() != TestKind::Range && t.kind() != TestKind::Mask) || t.value() != fixed->value) {
        return std::nullopt;
    }
    const std::uint32_t d = static_cast<std::uint32_t>(fixed->is) - static_cast<std::uint32_t>(t.lo());
    if (t.kind() == TestKind::Range) return d <= t.span();
    return d < 64 && ((t.members() >> d) & 1);
}

// A program that reaches more tests than this (those with a known outcome
// among them) is walked.
constexpr std::size_t kMaxReached = 32;

// A test the program can reach.
struct Reached {
    std::uint32_t pc;
    // The combinations of slot results in which the test holds; for a known
    // outcome all of them or none.
    Combinations holds;
    bool known;
};

class ReachedTests {
public:
    // Where `pc` is among the tests, or size() when it is not.
    std::size_t find(std::uint32_t pc) {
        return static_cast<std::size_t>(
            std::find_if(list_.begin(), list_.end(), [pc](const Reached& r) { return r.pc == pc; }) - list_.begin());
    }
    // Adds a test not met before; false when there is no room left.
    bool reach(std::uint32_t pc) {
        return pc >= kExitFalse || find(pc) < list_.size() || list_.push_back({pc, {}, false});
    }
    std::size_t size() const noexcept { return list_.size(); }
    Reached& operator[](std::size_t k) noexcept { return list_[k]; }

private:
    SmallList<Reached, kMaxReached> list_;
};

// Hands out the table's slots to the tests and fills in what each reads.
class SlotFiller {
public:
    explicit SlotFiller(TableCondition& out) : out_(out) {}

    // The combinations in which a Range or Mask test holds; none when no
    // slot is left for it. A set of small values takes slot 0, the only one
    // with a mask; ranges fill slots 1, 2, then 0 while no set needs it.
    std::optional<Combinations> scalar(const Test& t) {
        int slot;
        if (t.kind() == TestKind::Mask) {
            if (slot0_used_) return std::nullopt;
            slot0_used_ = true;
            slot = 0;
            out_.span[0] = 63;
            out_.mask = t.members();
        } else {
            if (ranges_ < TableCondition::kRanges - 1) {
                slot = ++ranges_;
            } else if (!slot0_used_) {
                slot = 0;
                slot0_used_ = true;
            } else {
                return std::nullopt;
            }
            out_.span[slot] = t.span();
        }
        out_.value[slot] = t.value();
        out_.lo[slot] = t.lo();
        return kSlotHolds[slot];
    }

    // The combinations in which list bit `bit` is set; none when no slot is
    // left. The bit lands at the slot's place in the index once its word is
    // rotated.
    std::optional<Combinations> bit(std::uint32_t bit) {
        if (bits_ == TableCondition::kBits || (bit >> 6) > 0xFFFF) return std::nullopt;
        const int place = TableCondition::kRanges + bits_;
        out_.word[bits_] = static_cast<std::uint16_t>(bit >> 6);
        out_.rotate[bits_] = static_cast<std::uint8_t>(((bit & 63) - static_cast<std::uint32_t>(place)) & 63);
        ++bits_;
        return kSlotHolds[place];
    }

private:
    TableCondition& out_;
    int ranges_ = 0;  // range slots 1.. taken
    int bits_ = 0;    // bit slots taken
    bool slot0_used_ = false;
};

// The combinations in which test `t` holds, its slots taken from `slots`;
// none when the slots cannot take it.
std::optional<Combinations> slot_test(const Test& t, const TestArena& arena, SlotFiller& slots) {
    switch (t.kind()) {
        case TestKind::Range:
        case TestKind::Mask: return slots.scalar(t);
        case TestKind::ListBit: return slots.bit(t.bit());
        case TestKind::AnyBits: {
            // Any of its bits: a slot each, holding where one of them does.
            Combinations any{};
            for (std::uint64_t k = 0; k < t.count(); ++k) {
                const std::optional<Combinations> one =
                    slots.bit(static_cast<std::uint32_t>(arena.pool[t.first() + k]));
                if (!one) return std::nullopt;
                any = unite(any, *one);
            }
            return any;
        }
        default: return std::nullopt;
    }
}

// First phase: the tests the program can reach from `start`, each given its
// slots in `out`; a test on the fixed value has a known outcome, takes no
// slot and leads one way. False when the program must be walked.
bool give_slots(const TestArena& arena, std::uint32_t start, const std::optional<FixedValue>& fixed,
                TableCondition& out, ReachedTests& reached) {
    SlotFiller slots(out);
    reached.reach(start);
    for (std::size_t i = 0; i < reached.size(); ++i) {
        const Test& t = arena.tests[reached[i].pc];
        if (const std::optional<bool> known = fixed_outcome(t, fixed)) {
            reached[i].known = true;
            reached[i].holds = *known ? kAllCombinations : Combinations{};
            if (!reached.reach(*known ? t.on_true : t.on_false)) return false;
            continue;
        }
        const std::optional<Combinations> holds = slot_test(t, arena, slots);
        if (!holds) return false;
        reached[i].holds = *holds;
        if (!reached.reach(t.on_true) || !reached.reach(t.on_false)) return false;
    }
    return true;
}

// Second phase: which combinations of slot results reach each test, as
// 128-bit sets, pushed through the program in an order where every test
// comes after all that lead to it. Returns the set that reaches the true
// exit: the table.
Combinations combinations_holding(const TestArena& arena, ReachedTests& reached) {
    Combinations arriving[kMaxReached] = {};
    std::uint32_t waiting[kMaxReached] = {};  // unprocessed tests leading here
    const auto exits = [&](std::size_t k) -> std::array<std::uint32_t, 2> {
        const Test& t = arena.tests[reached[k].pc];
        // A known outcome leads one way only; the other exit was not reached.
        if (reached[k].known) return {reached[k].holds[0] ? t.on_true : t.on_false, kExitFalse};
        return {t.on_true, t.on_false};
    };
    for (std::size_t k = 0; k < reached.size(); ++k) {
        for (std::uint32_t next : exits(k)) {
            if (next < kExitFalse) ++waiting[reached.find(next)];
        }
    }
    arriving[0] = kAllCombinations;
    SmallList<std::size_t, kMaxReached> ready;
    ready.push_back(0);
    Combinations holds{};
    const auto send = [&](std::uint32_t next, const Combinations& combinations) {
        if (next == kExitTrue) {
            holds = unite(holds, combinations);
        } else if (next < kExitFalse) {
            const std::size_t k = reached.find(next);
            arriving[k] = unite(arriving[k], combinations);
            if (--waiting[k] == 0) ready.push_back(k);
        }
    };
    while (!ready.empty()) {
        const std::size_t k = ready.back();
        ready.pop_back();
        const std::array<std::uint32_t, 2> next = exits(k);
        if (reached[k].known) {
            send(next[0], arriving[k]);
        } else {
            send(next[0], intersect(arriving[k], reached[k].holds));
            send(next[1], intersect(arriving[k], complement(reached[k].holds)));
        }
    }
    return holds;
}

}  // namespace

TableCondition tabulate(const TestArena& arena, std::uint32_t start, std::optional<FixedValue> fixed) {
    if (start == kExitTrue || start == kExitFalse) return TableCondition::constant(start == kExitTrue);
    TableCondition out;
    ReachedTests reached;
    if (!give_slots(arena, start, fixed, out, reached)) return TableCondition::walk(start);
    const Combinations holds = combinations_holding(arena, reached);
    out.table[0] = holds[0];
    out.table[1] = holds[1];
    return out;
}

TableCondition fix_value(const TableCondition& c, FixedValue fixed) noexcept {
    TableCondition out = c;
    for (int slot = 0; slot < TableCondition::kRanges; ++slot) {
        if (c.value[slot] != fixed.value) continue;
        // The slot's result for that value, as holds_table works it out.
        const std::uint32_t d = static_cast<std::uint32_t>(fixed.is) - static_cast<std::uint32_t>(c.lo[slot]);
        bool result = d <= c.span[slot];
        if (slot == 0) result = result && ((c.mask >> (d & 63)) & 1);
        // Every index takes the answer of its twin with the slot's bit set
        // to the result.
        const unsigned shift = 1u << slot;
        for (int w = 0; w < 2; ++w) {
            const std::uint64_t holds = kSlotHolds[slot][w];
            std::uint64_t& word = out.table[w];
            word = result ? (word & holds) | ((word & holds) >> shift) : (word & ~holds) | ((word & ~holds) << shift);
        }
    }
    return out;
}

Gate gate_of(const TableCondition& c) noexcept {
    if (c.walked == TableCondition::kWalked) return {};
    for (int slot = 0; slot < TableCondition::kRanges; ++slot) {
        if (slot == 0 && c.mask != ~std::uint64_t{0}) continue;  // a set, not a range
        // The table holds nowhere the slot fails.
        const Combinations fails = complement(kSlotHolds[slot]);
        if (!(c.table[0] & fails[0]) && !(c.table[1] & fails[1])) return {c.value[slot], c.lo[slot], c.span[slot]};
    }
    return {};
}

namespace {

bool table_bit(const TableCondition& c, unsigned index) noexcept { return (c.table[index >> 6] >> (index & 63)) & 1; }

// Whether the table's answer depends on slot `slot` somewhere: the half
// where it holds, moved onto the half where it fails, differs.
bool matters(const TableCondition& c, int slot) noexcept {
    if (slot == 6) return c.table[0] != c.table[1];
    const unsigned shift = 1u << slot;
    const std::uint64_t holds = kSlotHolds[slot][0];
    for (std::uint64_t word : c.table) {
        if (((word & holds) >> shift) != (word & ~holds)) return true;
    }
    return false;
}

}  // namespace

std::optional<SmallCondition> shrink(const TableCondition& c) noexcept {
    if (c.walked == TableCondition::kWalked) return std::nullopt;
    int range = -1, bit = -1;
    for (int slot = 0; slot < TableCondition::kSlots; ++slot) {
        if (!matters(c, slot)) continue;
        int& taken = slot < TableCondition::kRanges ? range : bit;
        if (taken >= 0) return std::nullopt;
        taken = slot;
    }
    SmallCondition out;
    if (range >= 0) {
        out.value = c.value[range];
        out.lo = c.lo[range];
        out.span = c.span[range];
        if (range == 0) out.mask = c.mask;
    }
    if (bit >= 0) {
        const int k = bit - TableCondition::kRanges;
        out.bit = static_cast<std::uint32_t>(c.word[k]) * 64 + ((c.rotate[k] + static_cast<unsigned>(bit)) & 63);
    }
    for (unsigned i = 0; i < 4; ++i) {
        unsigned index = 0;
        if (range >= 0) index |= (i & 1u) << range;
        if (bit >= 0) index |= (i >> 1) << bit;
        if (table_bit(c, index)) out.table = static_cast<std::uint8_t>(out.table | (1u << i));
    }
    return out;
}

bool never_holds(const TableCondition& c) noexcept {
    if (c.walked == TableCondition::kWalked) return c.start == kExitFalse;
    for (std::uint64_t word : c.table) {
        if (word != 0) return false;
    }
    return true;
}

}  // namespace sablewick::condition
