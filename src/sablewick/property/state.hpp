#pragma once
// The mutable state of one life.

#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "sablewick/containers.hpp"
#include "sablewick/property/code.hpp"

namespace sablewick { class RandomSource; }

namespace sablewick::simulator { struct PlayHistory; }

namespace sablewick::property {

class PropertyState {
public:
    static constexpr std::int32_t kMinStart = std::numeric_limits<std::int32_t>::max();
    static constexpr std::int32_t kMaxStart = std::numeric_limits<std::int32_t>::min();

    // Start values: TLT = talents, CHR/INT/STR/MNY from properties (0 when
    // absent), SPR 5, LIF 1, AGE -1, history copied into AEVT/ATLT/TMS/CACHV.
    PropertyState(const std::vector<std::int32_t>& talents,
                  const StringMap<std::int32_t>& properties,
                  const simulator::PlayHistory* history);

    // Changes the state by property code (see the code table); codes outside
    // it are ignored. "RDM" draws its target from `random`.
    void change(std::string_view code, std::int32_t delta, RandomSource& random);

    std::int32_t calculate_summary_score() const;

    // ---- Fast paths for the engine: no text matching, no allocation except
    // when an id list grows. Each follows the rule change() applies to its code.

    // change() by code instead of text (every code of the table; the rest
    // ignored).
    void change(Code code, std::int32_t delta, RandomSource& random);

    // AGE CHR INT STR MNY SPR: value += delta (wrapping), then the running
    // minimum and maximum take in the new value (also for delta 0).
    // LIF: value += delta (wrapping). Any other code: nothing.
    void add_value(Code code, std::int32_t delta) noexcept;

    // The yearly age step: add_value(Code::AGE, 1).
    void age_step() noexcept { add_value(Code::AGE, 1); }

    // RDM: add_value(delta) on one of CHR INT STR MNY SPR, drawn uniformly
    // from `random` (pick_random_target).
    void add_random(std::int32_t delta, RandomSource& random);

    // TLT / EVT: append the id unless it is present; true when appended.
    bool add_talent(std::int32_t id);
    bool add_event(std::int32_t id);
    bool has_talent(std::int32_t id) const noexcept { return contains(TLT, id); }
    bool has_event(std::int32_t id) const noexcept { return contains(EVT, id); }

    // Effective minimum / maximum of AGE CHR INT STR MNY SPR: the stored one
    // combined with the current value. Other codes: 0.
    std::int32_t effective_min(Code base) const noexcept;
    std::int32_t effective_max(Code base) const noexcept;

    // What a condition reads for a scalar code: current values, effective
    // minima (LAGE..LSPR) and maxima (HAGE..HSPR), SUM; 0 for list codes,
    // RDM and Unknown.
    std::int32_t scalar(Code code) const noexcept;

    // The id list of TLT EVT AEVT ATLT, else nullptr.
    const std::vector<std::int32_t>* list(Code code) const noexcept;

    // The uniform pick of the RDM target: one 32-bit word x at a time,
    // m = x * 5; accept when the low 32 bits of m are <= 5 * 2^29 - 1 and
    // return the high 32 bits (0..4: CHR INT STR MNY SPR), else draw again.
    static Code pick_random_target(RandomSource& random);

    // Fields, named by their property codes.
    std::vector<std::int32_t> TLT;
    std::vector<std::int32_t> EVT;
    std::vector<std::int32_t> AEVT;
    std::vector<std::int32_t> ATLT;
    std::int32_t AGE = -1;
    std::int32_t CHR = 0;
    std::int32_t INT = 0;
    std::int32_t STR = 0;
    std::int32_t MNY = 0;
    std::int32_t SPR = 5;
    std::int32_t LIF = 1;
    std::int32_t TMS = 0;
    std::int32_t CACHV = 0;
    std::int32_t LAGE = kMinStart, LCHR = kMinStart, LINT = kMinStart, LSTR = kMinStart,
                 LMNY = kMinStart, LSPR = kMinStart;
    std::int32_t HAGE = kMaxStart, HCHR = kMaxStart, HINT = kMaxStart, HSTR = kMaxStart,
                 HMNY = kMaxStart, HSPR = kMaxStart;

private:
    static bool contains(const std::vector<std::int32_t>& list, std::int32_t id) noexcept {
        for (std::int32_t x : list) {
            if (x == id) return true;
        }
        return false;
    }
    // Value, stored minimum and stored maximum of AGE CHR INT STR MNY SPR.
    struct Ranged {
        std::int32_t* value;
        std::int32_t* min;
        std::int32_t* max;
    };
    Ranged ranged(Code base) noexcept;
    std::int32_t ranged_value(Code base, std::int32_t& min, std::int32_t& max) const noexcept;
};

}  // namespace sablewick::property
