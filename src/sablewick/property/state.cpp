#include "sablewick/property/state.hpp"

#include <algorithm>

#include "sablewick/property/wrapping.hpp"
#include "sablewick/random.hpp"
#include "sablewick/simulator/result.hpp"

namespace sablewick::property {

namespace {

constexpr std::size_t kTalentReserve = 10;
constexpr std::size_t kEventReserve = 128;

std::int32_t read_property(const StringMap<std::int32_t>& properties, std::string_view key) {
    auto it = properties.find(key);
    return it == properties.end() ? 0 : it->second;
}

}  // namespace

PropertyState::PropertyState(const std::vector<std::int32_t>& talents,
                             const StringMap<std::int32_t>& properties,
                             const simulator::PlayHistory* history) {
    TLT.reserve(std::max(kTalentReserve, talents.size()));
    TLT.assign(talents.begin(), talents.end());
    EVT.reserve(kEventReserve);
    if (history != nullptr) {
        AEVT = history->aevt;
        ATLT = history->atlt;
        TMS = history->tms;
        CACHV = history->cachv;
    }
    CHR = read_property(properties, "CHR");
    INT = read_property(properties, "INT");
    STR = read_property(properties, "STR");
    MNY = read_property(properties, "MNY");
}

PropertyState::Ranged PropertyState::ranged(Code base) noexcept {
    switch (base) {
        case Code::AGE: return {&AGE, &LAGE, &HAGE};
        case Code::CHR: return {&CHR, &LCHR, &HCHR};
        case Code::INT: return {&INT, &LINT, &HINT};
        case Code::STR: return {&STR, &LSTR, &HSTR};
        case Code::MNY: return {&MNY, &LMNY, &HMNY};
        case Code::SPR: return {&SPR, &LSPR, &HSPR};
        default: return {nullptr, nullptr, nullptr};
    }
}

std::int32_t PropertyState::ranged_value(Code base, std::int32_t& min, std::int32_t& max) const noexcept {
    switch (base) {
        case Code::AGE: min = LAGE; max = HAGE; return AGE;
        case Code::CHR: min = LCHR; max = HCHR; return CHR;
        case Code::INT: min = LINT; max = HINT; return INT;
        case Code::STR: min = LSTR; max = HSTR; return STR;
        case Code::MNY: min = LMNY; max = HMNY; return MNY;
        case Code::SPR: min = LSPR; max = HSPR; return SPR;
        default: min = 0; max = 0; return 0;
    }
}

void PropertyState::add_value(Code code, std::int32_t delta) noexcept {
    if (code == Code::LIF) {
        LIF = wrapping_add(LIF, delta);
        return;
    }
    Ranged r = ranged(code);
    if (r.value == nullptr) return;
    *r.value = wrapping_add(*r.value, delta);
    *r.min = std::min(*r.min, *r.value);
    *r.max = std::max(*r.max, *r.value);
}

Code PropertyState::pick_random_target(RandomSource& random) {
    constexpr std::uint32_t kZone = 5u * (1u << 29) - 1u;  // 2684354559
    for (;;) {
        const std::uint64_t m = static_cast<std::uint64_t>(random.next_u32()) * 5u;
        if (static_cast<std::uint32_t>(m) <= kZone) {
            // CHR INT STR MNY SPR follow each other in Code.
            return static_cast<Code>(static_cast<std::uint8_t>(Code::CHR) + static_cast<std::uint8_t>(m >> 32));
        }
    }
}

void PropertyState::add_random(std::int32_t delta, RandomSource& random) {
    add_value(pick_random_target(random), delta);
}

bool PropertyState::add_talent(std::int32_t id) {
    if (contains(TLT, id)) return false;
    TLT.push_back(id);
    return true;
}

bool PropertyState::add_event(std::int32_t id) {
    if (contains(EVT, id)) return false;
    EVT.push_back(id);
    return true;
}

void PropertyState::change(Code code, std::int32_t delta, RandomSource& random) {
    switch (code) {
        case Code::AGE: case Code::CHR: case Code::INT: case Code::STR: case Code::MNY:
        case Code::SPR: case Code::LIF:
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

std::int32_t PropertyState::calculate_summary_score() const {
    std::int32_t sum = 0;
    for (Code c : {Code::CHR, Code::INT, Code::STR, Code::MNY, Code::SPR}) {
        sum = wrapping_add(sum, effective_max(c));
    }
    sum = wrapping_mul(sum, 2);
    // Signed division truncates toward zero; it cannot overflow for 2.
    return wrapping_add(sum, effective_max(Code::AGE) / 2);
}

std::int32_t PropertyState::scalar(Code code) const noexcept {
    switch (code) {
        case Code::AGE: return AGE;
        case Code::CHR: return CHR;
        case Code::INT: return INT;
        case Code::STR: return STR;
        case Code::MNY: return MNY;
        case Code::SPR: return SPR;
        case Code::LIF: return LIF;
        case Code::TMS: return TMS;
        case Code::CACHV: return CACHV;
        case Code::LAGE: return effective_min(Code::AGE);
        case Code::LCHR: return effective_min(Code::CHR);
        case Code::LINT: return effective_min(Code::INT);
        case Code::LSTR: return effective_min(Code::STR);
        case Code::LMNY: return effective_min(Code::MNY);
        case Code::LSPR: return effective_min(Code::SPR);
        case Code::HAGE: return effective_max(Code::AGE);
        case Code::HCHR: return effective_max(Code::CHR);
        case Code::HINT: return effective_max(Code::INT);
        case Code::HSTR: return effective_max(Code::STR);
        case Code::HMNY: return effective_max(Code::MNY);
        case Code::HSPR: return effective_max(Code::SPR);
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
