#include "sablewick/property/state.hpp"

#include <algorithm>
#include <bit>

#include "sablewick/base/random.hpp"
#include "sablewick/property/play_history.hpp"
#include "sablewick/property/wrapping.hpp"

namespace sablewick::property {

namespace {

constexpr std::size_t kTalentReserve = 10;
constexpr std::size_t kEventReserve = 128;

std::int32_t read_property(const StringMap<std::int32_t>& properties, std::string_view key) {
    auto it = properties.find(key);
    return it == properties.end() ? 0 : it->second;
}

}  // namespace

PropertyState::PropertyState(const std::vector<std::int32_t>& talents, const StringMap<std::int32_t>& properties,
                             const PlayHistory* history) {
    TLT.reserve(std::max(kTalentReserve, talents.size()));
    TLT.assign(talents.begin(), talents.end());
    EVT.reserve(kEventReserve);
    if (history != nullptr) {
        AEVT = history->aevt;
        ATLT = history->atlt;
        TMS = history->tms;
        CACHV = history->cachv;
    }
#define SABLEWICK_READ(name, start, host, range, value, year, effect) \
    SABLEWICK_IF(host, name = read_property(properties, #name);)
    SABLEWICK_PROPERTIES(SABLEWICK_READ)
#undef SABLEWICK_READ
}

PropertyState::Ranged PropertyState::ranged(Code code) noexcept {
    switch (code) {
#define SABLEWICK_CASE(name, start, host, range, value, year, effect)                             \
    SABLEWICK_IF(effect, case Code::name : return {&name, SABLEWICK_IF(range, &L##name, &H##name) \
                                                              SABLEWICK_IF_NOT(range, nullptr, nullptr)};)
        SABLEWICK_PROPERTIES(SABLEWICK_CASE)
#undef SABLEWICK_CASE
        default: return {nullptr, nullptr, nullptr};
    }
}

std::int32_t PropertyState::ranged_value(Code base, std::int32_t& min, std::int32_t& max) const noexcept {
    switch (base) {
#define SABLEWICK_CASE(name, start, host, range, value, year, effect) \
    SABLEWICK_IF(range, case Code::name : min = L##name; max = H##name; return name;)
        SABLEWICK_PROPERTIES(SABLEWICK_CASE)
#undef SABLEWICK_CASE
        default:
            min = 0;
            max = 0;
            return 0;
    }
}

void PropertyState::add_value(Code code, std::int32_t delta) noexcept {
    Ranged r = ranged(code);
    if (r.value == nullptr) return;
    *r.value = wrapping_add(*r.value, delta);
    if (r.min == nullptr) return;
    *r.min = std::min(*r.min, *r.value);
    *r.max = std::max(*r.max, *r.value);
}

Code PropertyState::pick_random_target(RandomSource& random) {
    constexpr Code kTargets[] = {
#define SABLEWICK_TARGET(name, start, host, range, value, year, effect) SABLEWICK_IF(value, Code::name, )
        SABLEWICK_PROPERTIES(SABLEWICK_TARGET)
#undef SABLEWICK_TARGET
    };
    constexpr auto n = static_cast<std::uint32_t>(std::size(kTargets));
    // Multiply and reject: the high word of x * n, unless the low word lies
    // above the zone n shifted to the top bit, minus 1 (for n = 5: 5 * 2^29 - 1).
    constexpr std::uint32_t kZone = (n << std::countl_zero(n)) - 1;
    for (;;) {
        const std::uint64_t m = static_cast<std::uint64_t>(random.next_u32()) * std::uint64_t{n};
        if (static_cast<std::uint32_t>(m) <= kZone) return kTargets[m >> 32];
    }
}

void PropertyState::add_random(std::int32_t delta, RandomSource& random) {
    add_value(pick_random_target(random), delta);
}

IdSpaces::IdSpaces(std::vector<std::int32_t> events, std::vector<std::int32_t> talents)
    : events_(std::move(events)), talents_(std::move(talents)) {}

std::uint32_t IdSpaces::bit_base(ListKind kind) const noexcept {
    const auto talent_bits = static_cast<std::uint32_t>((talents_.size() + 63) / 64 * 64);
    const auto event_bits = static_cast<std::uint32_t>((events_.size() + 63) / 64 * 64);
    switch (kind) {
        case ListKind::TLT: return 0;
        case ListKind::EVT: return talent_bits;
        case ListKind::AEVT: return talent_bits + event_bits;
        case ListKind::ATLT: return talent_bits + 2 * event_bits;
    }
    return 0;
}

std::uint32_t IdSpaces::bit_words() const noexcept {
    return bit_base(ListKind::ATLT) / 64 + static_cast<std::uint32_t>((talents_.size() + 63) / 64);
}

bool PropertyState::set_has(ListKind kind, std::int32_t id, std::uint32_t index) const noexcept {
    if (index != IdSpaces::kNone) {
        const std::uint32_t bit = spaces_->bit_base(kind) + index;
        return (bits_[bit >> 6] >> (bit & 63)) & 1;
    }
    return foreign_[static_cast<std::size_t>(kind)].contains(id);
}

bool PropertyState::set_add(ListKind kind, std::int32_t id, std::uint32_t index) {
    if (index != IdSpaces::kNone) {
        const std::uint32_t at = spaces_->bit_base(kind) + index;
        std::uint64_t& word = bits_[at >> 6];
        const std::uint64_t bit = std::uint64_t{1} << (at & 63);
        if (word & bit) return false;
        word |= bit;
        return true;
    }
    return foreign_[static_cast<std::size_t>(kind)].insert(id);
}

void PropertyState::bind_lists(const IdSpaces& spaces) {
    spaces_ = &spaces;
    bits_.assign(spaces.bit_words(), 0);
    for (auto& foreign : foreign_) foreign.clear();
    tlt_index_.clear();
    tlt_index_.reserve(TLT.capacity());
    for (std::int32_t id : TLT) tlt_index_.push_back(spaces.talent(id));
    const auto take = [&](ListKind kind, const std::vector<std::int32_t>& list, auto rank) {
        // The ids the spaces lack are counted first, so their set is sized once.
        std::size_t lacking = 0;
        for (std::int32_t id : list) lacking += rank(id) == IdSpaces::kNone;
        foreign_[static_cast<std::size_t>(kind)].reserve(lacking);
        for (std::int32_t id : list) set_add(kind, id, rank(id));
    };
    const auto talent = [&spaces](std::int32_t id) { return spaces.talent(id); };
    const auto event = [&spaces](std::int32_t id) { return spaces.event(id); };
    take(ListKind::TLT, TLT, talent);
    take(ListKind::EVT, EVT, event);
    take(ListKind::AEVT, AEVT, event);
    take(ListKind::ATLT, ATLT, talent);
}

bool PropertyState::has_talent(std::int32_t id) const noexcept {
    if (spaces_) return set_has(ListKind::TLT, id, spaces_->talent(id));
    return contains(TLT, id);
}

bool PropertyState::has_event(std::int32_t id) const noexcept {
    if (spaces_) return set_has(ListKind::EVT, id, spaces_->event(id));
    return contains(EVT, id);
}

bool PropertyState::add_talent(std::int32_t id) {
    if (spaces_) return add_talent(id, spaces_->talent(id));
    if (contains(TLT, id)) return false;
    TLT.push_back(id);
    return true;
}

bool PropertyState::add_event(std::int32_t id) {
    if (spaces_) return add_event(id, spaces_->event(id));
    if (contains(EVT, id)) return false;
    EVT.push_back(id);
    return true;
}

bool PropertyState::add_talent(std::int32_t id, std::uint32_t index) {
    if (!spaces_) return add_talent(id);
    // The set answers for TLT: duplicates of the starting list are in it too.
    if (!set_add(ListKind::TLT, id, index)) return false;
    TLT.push_back(id);
    tlt_index_.push_back(index);
    return true;
}

bool PropertyState::add_event(std::int32_t id, std::uint32_t index) {
    if (!spaces_) return add_event(id);
    if (!set_add(ListKind::EVT, id, index)) return false;
    EVT.push_back(id);
    return true;
}

void PropertyState::change(Code code, std::int32_t delta, RandomSource& random) {
    switch (code) {
#define SABLEWICK_CASE(name, start, host, range, value, year, effect) SABLEWICK_IF(effect, case Code::name:)
        SABLEWICK_PROPERTIES(SABLEWICK_CASE)
#undef SABLEWICK_CASE
        add_value(code, delta);
        return;
        case Code::TLT: add_talent(delta); return;
        case Code::EVT: add_event(delta); return;
        case Code::RDM: add_random(delta, random); return;
        default: return;
    }
}

void PropertyState::change(std::string_view code, std::int32_t delta, RandomSource& random) {
    // Only three-byte codes change anything.
    if (code.size() != 3) return;
    change(code_from_text(code), delta, random);
}

std::int32_t PropertyState::effective_min(Code base) const noexcept {
    std::int32_t min, max;
    const std::int32_t value = ranged_value(base, min, max);
    return has_running_range(base) ? std::min(value, min) : 0;
}

std::int32_t PropertyState::effective_max(Code base) const noexcept {
    std::int32_t min, max;
    const std::int32_t value = ranged_value(base, min, max);
    return has_running_range(base) ? std::max(value, max) : 0;
}

std::int32_t PropertyState::scalar(Code code) const noexcept {
    switch (code) {
#define SABLEWICK_CASE(name, start, host, range, value, year, effect)              \
    case Code::name:                                                               \
        return name;                                                               \
        SABLEWICK_IF(range, case Code::L##name : return effective_min(Code::name); \
                     case Code::H##name : return effective_max(Code::name);)
        SABLEWICK_PROPERTIES(SABLEWICK_CASE)
#undef SABLEWICK_CASE
        case Code::SUM: return calculate_summary_score();
        default: return 0;
    }
}

const std::vector<std::int32_t>* PropertyState::list(Code code) const noexcept {
    switch (code) {
        case Code::TLT: return &TLT;
        case Code::EVT: return &EVT;
        case Code::AEVT: return &AEVT;
        case Code::ATLT: return &ATLT;
        default: return nullptr;
    }
}

}  // namespace sablewick::property
