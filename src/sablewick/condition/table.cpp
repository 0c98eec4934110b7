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
    if (!fixed || t.a != fixed->value || (t.kind != TestKind::Range && t.kind != TestKind::Mask)) return std::nullopt;
    const std::uint32_t d = static_cast<std::uint32_t>(fixed->is) - static_cast<std::uint32_t>(t.x);
    if (t.kind == TestKind::Range) return d <= t.z;
    return d < 64 && ((t.z >> d) & 1);
}

}  // namespace

TableCondition tabulate(const TestArena& arena, std::uint32_t start, std::optional<FixedValue> fixed) {
    if (start == kExitTrue || start == kExitFalse) return TableCondition::constant(start == kExitTrue);
    TableCondition out;
    const auto walked = [start] {
        TableCondition program;
        program.walked = TableCondition::kWalked;
        program.mask = start;
        return program;
    };

    // The tests the program can reach, each given its slots; a test on the
    // fixed value has a known outcome, takes no slot and leads one way.
    // At most kMaxReached tests (those with a known outcome among them);
    // a program that reaches more is walked.
    constexpr std::size_t kMaxReached = 32;
    struct Reached {
        std::uint32_t pc;
        // The combinations of slot results in which the test holds; for a
        // known outcome all of them or none.
        Combinations holds;
        bool known;
    };
    SmallList<Reached, kMaxReached> reached;
    reached.push_back({start, {}, false});
    int ranges = 0, bits = 0;  // range slots 1.. taken; bit slots taken
    bool slot0_used = false, mask_used = false;
    bool overflow = false;
    const auto find = [&reached](std::uint32_t pc) {
        return static_cast<std::size_t>(
            std::find_if(reached.begin(), reached.end(), [pc](const Reached& r) { return r.pc == pc; }) -
            reached.begin());
    };
    const auto reach = [&](std::uint32_t next) {
        if (next < kExitFalse && find(next) == reached.size()) {
            overflow = overflow || !reached.push_back({next, {}, false});
        }
    };
    // A bit slot for list bit `bit`: the bit lands at the slot's place in
    // the index once its word is rotated.
    const auto bit_slot = [&](std::uint32_t bit) -> std::optional<int> {
        if (bits == TableCondition::kBits || (bit >> 6) > 0xFFFF) return std::nullopt;
        const int place = TableCondition::kRanges + bits;
        out.word[bits] = static_cast<std::uint16_t>(bit >> 6);
        out.rotate[bits] = static_cast<std::uint8_t>(((bit & 63) - static_cast<std::uint32_t>(place)) & 63);
        ++bits;
        return place;
    };
    for (std::size_t i = 0; i < reached.size(); ++i) {
        const Test& t = arena.tests[reached[i].pc];
        if (const std::optional<bool> known = fixed_outcome(t, fixed)) {
            reached[i].known = true;
            reached[i].holds = *known ? kAllCombinations : Combinations{};
            reach(*known ? t.on_true : t.on_false);
            if (overflow) return walked();
            continue;
        }
        if (t.kind == TestKind::Range || t.kind == TestKind::Mask) {
            // A set of small values takes slot 0, the only one with a mask;
            // ranges fill slots 1, 2, then 0 while no set needs it.
            int slot;
            if (t.kind == TestKind::Mask) {
                if (mask_used || slot0_used) return walked();
                mask_used = slot0_used = true;
                slot = 0;
                out.span[0] = 63;
                out.mask = t.z;
            } else {
                if (ranges < TableCondition::kRanges - 1) {
                    slot = ++ranges;
                } else if (!slot0_used) {
                    slot = 0;
                    slot0_used = true;
                } else {
                    return walked();
                }
                out.span[slot] = static_cast<std::uint32_t>(t.z);
            }
            out.value[slot] = t.a;
            out.lo[slot] = t.x;
            reached[i].holds = kSlotHolds[slot];
        } else if (t.kind == TestKind::ListBit) {
            const std::optional<int> place = bit_slot(static_cast<std::uint32_t>(t.x));
            if (!place) return walked();
            reached[i].holds = kSlotHolds[*place];
        } else if (t.kind == TestKind::AnyBits) {
            // Any of its bits: a slot each, holding where one of them does.
            Combinations any{};
            for (std::uint64_t k = 0; k < t.z; ++k) {
                const std::optional<int> place = bit_slot(static_cast<std::uint32_t>(arena.pool[t.x + k]));
                if (!place) return walked();
                any = unite(any, kSlotHolds[*place]);
            }
            reached[i].holds = any;
        } else {
            return walked();
        }
        reach(t.on_true);
        reach(t.on_false);
        if (overflow) return walked();
    }

    // Which combinations of slot results reach each test, as 128-bit sets,
    // pushed through the program in an order where every test comes after
    // all that lead to it; the table is the set that reaches the true exit.
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
            if (next < kExitFalse) ++waiting[find(next)];
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
            const std::size_t k = find(next);
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
    if (c.walked == TableCondition::kWalked) return c.mask == kExitFalse;
    for (std::uint64_t word : c.table) {
        if (word != 0) return false;
    }
    return true;
}

}  // namespace sablewick::condition
