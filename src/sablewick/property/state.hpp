#pragma once
// The mutable state of one life.

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "sablewick/base/containers.hpp"
#include "sablewick/base/dense_index.hpp"
#include "sablewick/hashing/flat_id_set.hpp"
#include "sablewick/property/code.hpp"
#include "sablewick/property/properties.hpp"

namespace sablewick {
class RandomSource;
}

namespace sablewick::property {

struct PlayHistory;

// The four id lists, in the order list tests name them.
enum class ListKind : std::uint8_t { TLT, EVT, AEVT, ATLT };

// A configuration's dense numbering of the ids it knows: events for EVT and
// AEVT, talents for TLT and ATLT. An id's number is its rank among the
// configuration's ids (ascending); ids it lacks have no number.
class IdSpaces {
public:
    static constexpr std::uint32_t kNone = DenseIndex::kNone;

    IdSpaces() = default;
    // Any order, duplicates allowed.
    IdSpaces(std::vector<std::int32_t> events, std::vector<std::int32_t> talents);

    std::uint32_t event(std::int32_t id) const noexcept { return events_.rank(id); }
    std::uint32_t talent(std::int32_t id) const noexcept { return talents_.rank(id); }
    std::size_t event_count() const noexcept { return events_.size(); }
    std::size_t talent_count() const noexcept { return talents_.size(); }

    // A bound state keeps the four lists' bits in one array, whole words
    // each, in ListKind order: TLT and ATLT over talents, EVT and AEVT over
    // events. The first bit of a list's set there:
    std::uint32_t bit_base(ListKind kind) const noexcept;
    std::uint32_t bit_words() const noexcept;

private:
    DenseIndex events_;
    DenseIndex talents_;
};

// The int32 fields of a life: every property (properties.hpp) at its start
// value, then the stored running minima L<name> and maxima H<name>.
struct Scalars {
    // A stored running minimum starts at the largest value, a maximum at the
    // smallest, so the first value taken in replaces it.
    static constexpr std::int32_t kMinStart = std::numeric_limits<std::int32_t>::max();
    static constexpr std::int32_t kMaxStart = std::numeric_limits<std::int32_t>::min();

#define SABLEWICK_FIELD(name, start, host, range, value, year, effect) std::int32_t name = start;
    SABLEWICK_PROPERTIES(SABLEWICK_FIELD)
#undef SABLEWICK_FIELD
#define SABLEWICK_FIELD(name, start, host, range, value, year, effect) \
    SABLEWICK_IF(range, std::int32_t L##name = kMinStart;)
    SABLEWICK_PROPERTIES(SABLEWICK_FIELD)
#undef SABLEWICK_FIELD
#define SABLEWICK_FIELD(name, start, host, range, value, year, effect) \
    SABLEWICK_IF(range, std::int32_t H##name = kMaxStart;)
    SABLEWICK_PROPERTIES(SABLEWICK_FIELD)
#undef SABLEWICK_FIELD
};

class PropertyState : public Scalars {
public:
    // Start values: TLT = talents, the properties the host sets from
    // `properties` (0 when absent), the others at their start
    // (properties.hpp), history copied into AEVT/ATLT/TMS/CACHV.
    PropertyState(const std::vector<std::int32_t>& talents, const StringMap<std::int32_t>& properties,
                  const PlayHistory* history);

    // Changes the state by property code (see the code table); codes outside
    // it are ignored. "RDM" draws its target from `random`.
    void change(std::string_view code, std::int32_t delta, RandomSource& random);

    // 2 * (the effective maxima of the value properties) + the effective
    // maximum age / 2, wrapping; the halving truncates toward zero.
    std::int32_t calculate_summary_score() const noexcept {
        const auto u = [](std::int32_t current, std::int32_t stored) {
            return static_cast<std::uint32_t>(current > stored ? current : stored);
        };
        std::uint32_t sum = 0;
#define SABLEWICK_ADD(name, start, host, range, value, year, effect) SABLEWICK_IF(value, sum += u(name, H##name);)
        SABLEWICK_PROPERTIES(SABLEWICK_ADD)
#undef SABLEWICK_ADD
        const std::int32_t age = AGE > HAGE ? AGE : HAGE;
        return static_cast<std::int32_t>(sum * 2u + static_cast<std::uint32_t>(age / 2));
    }

    // ---- Fast paths for the engine: no text matching, no allocation except
    // when an id list grows. Each follows the rule change() applies to its code.

    // change() by code instead of text (every code of the table; the rest
    // ignored).
    void change(Code code, std::int32_t delta, RandomSource& random);

    // A property of an effect: value += delta (wrapping), then a running
    // minimum and maximum, where it has them, take in the new value (also
    // for delta 0). Any other code: nothing.
    void add_value(Code code, std::int32_t delta) noexcept;

    // The yearly age step: add_value(Code::AGE, 1).
    void age_step() noexcept { add_value(Code::AGE, 1); }

    // RDM: add_value(delta) on one of the value properties, drawn uniformly
    // from `random` (pick_random_target).
    void add_random(std::int32_t delta, RandomSource& random);

    // TLT / EVT: append the id unless it is present; true when appended.
    bool add_talent(std::int32_t id);
    bool add_event(std::int32_t id);
    bool has_talent(std::int32_t id) const noexcept;
    bool has_event(std::int32_t id) const noexcept;
    // The same with the id's number in the bound spaces already known
    // (IdSpaces::kNone for an id the configuration lacks).
    bool add_talent(std::int32_t id, std::uint32_t index);
    bool add_event(std::int32_t id, std::uint32_t index);

    // Mirrors the four lists as sets over `spaces` (which must outlive the
    // state): a bit per known id, a hashed set of the ids it lacks. Bound
    // condition programs read these; the appends above keep them current.
    // The lists themselves stay as they are, in order with their duplicates.
    // EVT must hold only events the spaces number (a life only records
    // events its configuration has): bound programs never look for others.
    void bind_lists(const IdSpaces& spaces);
    bool bound_to(const IdSpaces& spaces) const noexcept { return spaces_ == &spaces; }
    // The bits of all four lists (see IdSpaces::bit_base); one zero word
    // for a state that is not bound.
    const std::uint64_t* list_bits() const noexcept { return bits_.empty() ? &kNoBits : bits_.data(); }
    // The ids of a list that the spaces lack, as a set (bound states only):
    // a host may hand over any number of them.
    const hashing::FlatIdSet& list_foreign(ListKind kind) const noexcept {
        return foreign_[static_cast<std::size_t>(kind)];
    }
    // TLT's ids by number (kNone for ids the configuration lacks), in TLT's
    // order; bound states only.
    std::span<const std::uint32_t> talent_indices() const noexcept { return tlt_index_; }

    // Effective minimum / maximum of a property with a running range: the
    // stored one combined with the current value. Other codes: 0.
    std::int32_t effective_min(Code base) const noexcept;
    std::int32_t effective_max(Code base) const noexcept;

    // What a condition reads for a scalar code: current values, effective
    // minima (LAGE..LSPR) and maxima (HAGE..HSPR), SUM; 0 for list codes,
    // RDM and Unknown.
    std::int32_t scalar(Code code) const noexcept;

    // The id list of TLT EVT AEVT ATLT, else nullptr.
    const std::vector<std::int32_t>* list(Code code) const noexcept;

    // The uniform pick of the RDM target among the n value properties: one
    // 32-bit word x at a time, m = x * n; accept when the low 32 bits of m
    // are <= (n << leading zeros of n) - 1 (for n = 5: 5 * 2^29 - 1) and
    // return the value property at the high 32 bits, else draw again.
    static Code pick_random_target(RandomSource& random);

    // Fields, named by their property codes.
    std::vector<std::int32_t> TLT;
    std::vector<std::int32_t> EVT;
    std::vector<std::int32_t> AEVT;
    std::vector<std::int32_t> ATLT;

private:
    // A set per list: bits_ holds the four bitsets one after the other.
    bool set_has(ListKind kind, std::int32_t id, std::uint32_t index) const noexcept;
    // Adds to the set; false when it was there.
    bool set_add(ListKind kind, std::int32_t id, std::uint32_t index);

    static constexpr std::uint64_t kNoBits = 0;
    const IdSpaces* spaces_ = nullptr;
    std::vector<std::uint64_t> bits_;
    std::array<hashing::FlatIdSet, 4> foreign_;
    std::vector<std::uint32_t> tlt_index_;

    static bool contains(const std::vector<std::int32_t>& list, std::int32_t id) noexcept {
        for (std::int32_t x : list) {
            if (x == id) return true;
        }
        return false;
    }
    // An effect property's value, with its stored minimum and maximum where
    // it has them (else null); all null for any other code.
    struct Ranged {
        std::int32_t* value;
        std::int32_t* min;
        std::int32_t* max;
    };
    Ranged ranged(Code code) noexcept;
    std::int32_t ranged_value(Code base, std::int32_t& min, std::int32_t& max) const noexcept;
};

}  // namespace sablewick::property
