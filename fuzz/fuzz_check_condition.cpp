// check_condition on arbitrary text against a state drawn from the input.
//
// Input: the condition text, optionally followed by a NUL byte and the bytes
// the state is drawn from (without them the state is drawn from the text).
// Checks, besides "no crash, no sanitizer report": the cached answer equals
// the answer of the uncached road (trim, tokenize, parse, tree evaluator), a
// second check (a cache hit) gives the same answer, a failing text fails
// with the same error every time, the one-pass parser agrees with the
// splitting parser on what parses, and the program bound to a configuration's id
// numbering (drawn from the input) answers like the unbound one.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "sablewick/condition/cache.hpp"
#include "sablewick/condition/bound_program.hpp"
#include "sablewick/condition/table.hpp"
#include "sablewick/condition/condition_text.hpp"
#include "sablewick/testing/condition_checks.hpp"
#include "sablewick/testing/evaluator.hpp"
#include "sablewick/condition/parser.hpp"
#include "sablewick/condition/table.hpp"
#include "sablewick/condition/tokenizer.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/utf8/utf8.hpp"

namespace {

using sablewick::property::PropertyState;
namespace condition = sablewick::condition;

std::int32_t draw_value(FuzzedDataProvider& in) {
    // Mostly small numbers near the thresholds conditions use, sometimes the
    // extremes where comparisons and wrapping arithmetic go wrong.
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return std::numeric_limits<std::int32_t>::min();
        case 1: return std::numeric_limits<std::int32_t>::max();
        case 2: return in.ConsumeIntegral<std::int32_t>();
        default: return in.ConsumeIntegralInRange<std::int32_t>(-20, 120);
    }
}

std::vector<std::int32_t> draw_list(FuzzedDataProvider& in) {
    std::vector<std::int32_t> ids(in.ConsumeIntegralInRange<std::size_t>(0, 6));
    for (auto& id : ids) id = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(0, 20) : draw_value(in);
    return ids;
}

PropertyState draw_state(FuzzedDataProvider& in) {
    PropertyState state({}, {}, nullptr);
    state.TLT = draw_list(in);
    state.EVT = draw_list(in);
    state.AEVT = draw_list(in);
    state.ATLT = draw_list(in);
    for (std::int32_t* field : {&state.AGE, &state.CHR, &state.INT, &state.STR, &state.MNY, &state.SPR, &state.LIF,
                                &state.TMS, &state.CACHV}) {
        *field = draw_value(in);
    }
    // A running range either untouched (its start value) or holding a value.
    for (std::int32_t* field : {&state.LAGE, &state.LCHR, &state.LINT, &state.LSTR, &state.LMNY, &state.LSPR}) {
        if (in.ConsumeBool()) *field = draw_value(in);
    }
    for (std::int32_t* field : {&state.HAGE, &state.HCHR, &state.HINT, &state.HSTR, &state.HMNY, &state.HSPR}) {
        if (in.ConsumeBool()) *field = draw_value(in);
    }
    return state;
}

// A configuration's numbering of some small ids (those the state's lists
// and most arrays use), so that bound list tests meet ids it has and lacks.
// EVT only ever records events the configuration has: those are numbered.
sablewick::property::IdSpaces draw_spaces(FuzzedDataProvider& in, const PropertyState& state) {
    std::vector<std::int32_t> events, talents;
    for (std::int32_t id = 0; id <= 20; ++id) {
        if (in.ConsumeBool()) events.push_back(id);
        if (in.ConsumeBool()) talents.push_back(id);
    }
    events.insert(events.end(), state.EVT.begin(), state.EVT.end());
    return sablewick::property::IdSpaces(std::move(events), std::move(talents));
}

// The answer of the cached program bound to `spaces`, walked; its table
// forms must agree.
bool bound_answer(std::string_view text, const PropertyState& state, const sablewick::property::IdSpaces& spaces) {
    auto compiled = condition::cache::resolve(text);
    FUZZ_EXPECT(compiled.has_value());
    PropertyState bound = state;
    bound.bind_lists(spaces);
    condition::TestArena arena;
    arena.tests.resize(2);  // placed after another program
    const std::uint32_t start = (*compiled)->bind(spaces, arena);
    const condition::Snapshot snapshot(bound);
    const bool walked = start >= condition::kExitFalse
                            ? start == condition::kExitTrue
                            : condition::run(arena.tests.data(), arena.pool.data(), start, snapshot);
    const condition::TableCondition table = condition::tabulate(arena, start);
    FUZZ_EXPECT(condition::holds(table, arena, snapshot) == walked);
    if (const auto small = condition::shrink(table)) FUZZ_EXPECT(condition::holds(*small, snapshot) == walked);
    if (table.walked != condition::TableCondition::kWalked) {
        const condition::FixedValue age{static_cast<std::uint8_t>(sablewick::property::Code::AGE), bound.AGE};
        FUZZ_EXPECT(condition::holds_table(condition::fix_value(table, age), snapshot) == walked);
    }
    return walked;
}

// The road without the cache.
sablewick::Result<bool> uncached(std::string_view text, const PropertyState& state) {
    if (text.empty()) return true;
    const std::string_view trimmed = sablewick::utf8::trim(text);
    if (trimmed.empty()) return std::unexpected(sablewick::SablewickError::invalid_condition("Empty condition"));
    auto tokens = condition::tokenize(trimmed);
    if (!tokens) return std::unexpected(tokens.error());
    FUZZ_EXPECT(!tokens->empty());
    auto tree = condition::parser::parse_tokens(*tokens);
    // The one-pass parser parses exactly what the splitting parser parses,
    // and where it reports a failure itself, it reports the same one.
    const auto fast = condition::CompiledCondition::compile_text(trimmed);
    if (fast) {
        FUZZ_EXPECT(fast->has_value() == tree.has_value());
        if (!*fast && !tree) FUZZ_EXPECT(fast->error() == tree.error());
    } else {
        FUZZ_EXPECT(!tree.has_value());
    }
    if (!tree) return std::unexpected(tree.error());
    // A copy is an equal, independent tree.
    auto copy = (*tree)->clone();
    FUZZ_EXPECT(*copy == **tree);
    const bool answer = condition::evaluator::check(**tree, state);
    FUZZ_EXPECT(condition::evaluator::check(*copy, state) == answer);
    return answer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view text = input.substr(0, nul);
    const std::string_view state_bytes = nul == std::string_view::npos ? input : input.substr(nul + 1);
    FuzzedDataProvider state_input(reinterpret_cast<const std::uint8_t*>(state_bytes.data()), state_bytes.size());
    const PropertyState state = draw_state(state_input);
    const sablewick::property::IdSpaces spaces = draw_spaces(state_input, state);

    const auto expected = uncached(text, state);
    const auto first = condition::cache::check_condition(text, state);
    const auto second = condition::cache::check_condition(text, state);
    FUZZ_EXPECT(first == expected);
    FUZZ_EXPECT(second == expected);
    // A text that fails is never stored; one that parses always is.
    if (!text.empty()) FUZZ_EXPECT(condition::cache::testing::contains(text) == expected.has_value());
    if (!text.empty() && expected) FUZZ_EXPECT(bound_answer(text, state, spaces) == *expected);

    // The record's handle gives the same answer.
    const condition::ConditionText record{std::string(text)};
    const condition::Outcome outcome = check(record, state);
    if (!expected) {
        FUZZ_EXPECT(outcome == condition::Outcome::Invalid);
    } else {
        FUZZ_EXPECT(outcome == (*expected ? condition::Outcome::True : condition::Outcome::False));
    }
    return 0;
}
