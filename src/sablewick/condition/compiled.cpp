#include "sablewick/condition/compiled.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "sablewick/condition/parser.hpp"
#include "sablewick/process/thread_slot.hpp"
#include "sablewick/utf8/utf8.hpp"

namespace sablewick::condition {

using ast::Operator;
using property::Code;
using Kind = ast::ConditionValue::Kind;

namespace {

// The bytes that end a word.
constexpr auto kEndsWord = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '&', '|', '(', ')'}) table[c] = true;
    return table;
}();

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

Test constant(bool value) {
    Test t;
    t.kind = TestKind::Const;
    t.flags = value ? Test::kNegate : 0;
    return t;
}

// The Snapshot value a scalar leaf reads, or none for a property outside
// the table (RDM among them), which reads 0.
std::optional<std::uint8_t> scalar_read(Code code) {
    if (code <= Code::SUM) return static_cast<std::uint8_t>(code);
    return std::nullopt;
}

// [lo, hi] with lo <= hi, or a constant.
struct Interval {
    bool empty = false;
    std::int32_t lo = kMin, hi = kMax;
};

Interval int_interval(Operator op, std::int32_t n) {
    switch (op) {
        case Operator::Greater: return n == kMax ? Interval{true} : Interval{false, n + 1, kMax};
        case Operator::Less: return n == kMin ? Interval{true} : Interval{false, kMin, n - 1};
        case Operator::GreaterEqual: return {false, n, kMax};
        case Operator::LessEqual: return {false, kMin, n};
        default: return {false, n, n};  // = and != (negated by the caller)
    }
}

// An int32 v against a double f under IEEE 754 as an integer interval:
// v > f is v >= floor(f) + 1, v < f is v <= ceil(f) - 1, and so on; NaN
// compares false.
Interval float_interval(Operator op, double f) {
    if (std::isnan(f)) return {true};
    const double lo_limit = static_cast<double>(kMin), hi_limit = static_cast<double>(kMax);
    double lo = -HUGE_VAL, hi = HUGE_VAL;
    switch (op) {
        case Operator::Greater: lo = std::floor(f) + 1.0; break;
        case Operator::GreaterEqual: lo = std::ceil(f); break;
        case Operator::Less: hi = std::ceil(f) - 1.0; break;
        case Operator::LessEqual: hi = std::floor(f); break;
        default: return {true};
    }
    if (lo > hi_limit || hi < lo_limit) return {true};
    Interval out;
    out.lo = lo <= lo_limit ? kMin : static_cast<std::int32_t>(lo);
    out.hi = hi >= hi_limit ? kMax : static_cast<std::int32_t>(hi);
    return out;
}

}  // namespace

// Collects a program's tests in leaf order and its And/Or structure, then
// sets every test's exits.
class ProgramBuilder {
public:
    // Room for `leaves` leaves joined by one operator fewer, so a long text
    // grows no array again.
    void reserve(std::size_t leaves) {
        out_.tests_.reserve(leaves);
        joins_.reserve(leaves);
    }
    // A leaf: appends its test; returns its node (a leaf's node is its test).
    std::uint32_t leaf(const parser::LeafSpec& spec, std::vector<std::int32_t>& ids) {
        out_.tests_.push_back(compile_leaf(spec, ids));
        return static_cast<std::uint32_t>(out_.tests_.size() - 1);
    }
    // And / Or of two nodes built before.
    std::uint32_t join(bool is_and, std::uint32_t left, std::uint32_t right) {
        joins_.push_back({left, right, first(left) | (is_and ? kAnd : 0)});
        return kJoin | static_cast<std::uint32_t>(joins_.size() - 1);
    }

    CompiledCondition finish(std::uint32_t root) {
        struct Pending {
            std::uint32_t node, on_true, on_false;
        };
        std::vector<Pending> stack{{root, kExitTrue, kExitFalse}};
        while (!stack.empty()) {
            const Pending p = stack.back();
            stack.pop_back();
            if (!(p.node & kJoin)) {
                // A negated test takes its exits the other way round, so
                // evaluation never negates.
                Test& t = out_.tests_[p.node];
                const bool negated = t.flags & Test::kNegate;
                t.on_true = negated ? p.on_false : p.on_true;
                t.on_false = negated ? p.on_true : p.on_false;
                continue;
            }
            const Join& n = joins_[p.node & ~kJoin];
            const std::uint32_t right_start = first(n.right);
            // The left side first on the stack, so a chain grouped to the
            // left (the usual a|b|c|...) keeps the stack short.
            if (n.first & kAnd) {
                stack.push_back({n.left, right_start, p.on_false});
            } else {
                stack.push_back({n.left, p.on_true, right_start});
            }
            stack.push_back({n.right, p.on_true, p.on_false});
        }
        fold_constants();
        joins_.clear();
        return std::move(out_);
    }

private:
    // A node is a test (a leaf) or, with kJoin set, an index into joins_.
    static constexpr std::uint32_t kJoin = 0x80000000u;
    // In Join::first: an And, not an Or.
    static constexpr std::uint32_t kAnd = 0x80000000u;
    struct Join {
        std::uint32_t left, right;
        std::uint32_t first;  // the test of its first leaf, and kAnd
    };
    std::uint32_t first(std::uint32_t node) const noexcept {
        return (node & kJoin) ? joins_[node & ~kJoin].first & ~kAnd : node;
    }

    Test compile_leaf(const parser::LeafSpec& spec, std::vector<std::int32_t>& ids) {
        const Code code = property::code_from_text(spec.property);
        const Operator op = spec.op;
        const Kind value = spec.value.kind;
        Test t;
        if (property::is_list(code)) {
            const bool any = (value == Kind::Int && (op == Operator::Equal || op == Operator::NotEqual)) ||
                             (value == Kind::Array && (op == Operator::In || op == Operator::NotIn));
            if (!any) return constant(false);
            if (value == Kind::Int) {
                ids.clear();
                ids.push_back(spec.value.n);
            }
            t.kind = TestKind::ListIds;
            t.a = static_cast<std::uint8_t>(static_cast<std::uint8_t>(code) - static_cast<std::uint8_t>(Code::TLT));
            t.flags = (op == Operator::NotEqual || op == Operator::NotIn) ? Test::kNegate : 0;
            put_sorted(t, ids);
            return t;
        }
        const std::optional<std::uint8_t> read = scalar_read(code);
        t.a = read.value_or(0);
        switch (value) {
            case Kind::Int:
            case Kind::Float: {
                if (op == Operator::In || op == Operator::NotIn) return constant(false);
                Interval range;
                bool negate = false;
                if (value == Kind::Int) {
                    range = int_interval(op, spec.value.n);
                    negate = op == Operator::NotEqual;
                } else {
                    range = float_interval(op, spec.value.f);
                }
                if (range.empty) return constant(negate);
                if (!read) return constant((range.lo <= 0 && 0 <= range.hi) != negate);
                t.kind = TestKind::Range;
                t.x = range.lo;
                t.z = static_cast<std::uint32_t>(range.hi) - static_cast<std::uint32_t>(range.lo);
                if (negate) t.flags |= Test::kNegate;
                return t;
            }
            case Kind::Array: {
                if (op != Operator::In && op != Operator::NotIn) return constant(false);
                const bool negate = op == Operator::NotIn;
                std::sort(ids.begin(), ids.end());
                ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
                if (!read) return constant(std::binary_search(ids.begin(), ids.end(), 0) != negate);
                if (negate) t.flags |= Test::kNegate;
                if (ids.size() == 1) {
                    t.kind = TestKind::Range;
                    t.x = ids.front();
                    t.z = 0;
                } else if (static_cast<std::int64_t>(ids.back()) - ids.front() < 64) {
                    std::uint64_t mask = 0;
                    for (std::int32_t id : ids) mask |= std::uint64_t{1} << (id - ids.front());
                    t.kind = TestKind::Mask;
                    t.x = ids.front();
                    t.z = mask;
                } else {
                    t.kind = TestKind::Set;
                    put_sorted(t, ids);
                }
                return t;
            }
            case Kind::Text: break;
        }
        return constant(false);
    }

    // Sorted and without duplicates: a list shares an id with the array
    // whatever their order and repetitions.
    void put_sorted(Test& t, std::vector<std::int32_t>& ids) {
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        t.x = static_cast<std::int32_t>(out_.pool_.size());
        t.z = ids.size();
        out_.pool_.insert(out_.pool_.end(), ids.begin(), ids.end());
    }

    // An exit into a constant test goes straight on to where that test
    // leads (a constant never holds; a true one has its exits swapped).
    // Exits only lead forward, so one backward pass settles chains.
    void fold_constants() {
        std::vector<Test>& tests = out_.tests_;
        const auto follow = [&](std::uint32_t target) {
            if (target >= kExitFalse) return target;
            const Test& t = tests[target];
            return t.kind == TestKind::Const ? t.on_false : target;
        };
        for (std::size_t i = tests.size(); i-- > 0;) {
            tests[i].on_true = follow(tests[i].on_true);
            tests[i].on_false = follow(tests[i].on_false);
        }
    }

    CompiledCondition out_;
    std::vector<Join> joins_;
};

CompiledCondition CompiledCondition::compile(const ast::AstNode& tree) {
    ProgramBuilder builder;
    std::vector<std::int32_t> ids;
    // Post-order without recursion: a node is joined once both children are.
    struct Frame {
        const ast::AstNode* node;
        bool expanded;
    };
    std::vector<Frame> stack{{&tree, false}};
    std::vector<std::uint32_t> built;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const ast::AstNode* node = frame.node;
        if (node->is_condition()) {
            parser::LeafSpec spec;
            spec.property = node->property();
            spec.op = node->op();
            const ast::ConditionValue& value = node->value();
            spec.value.kind = value.kind();
            ids.clear();
            switch (value.kind()) {
                case Kind::Int: spec.value.n = value.as_int(); break;
                case Kind::Float: spec.value.f = value.as_float(); break;
                case Kind::Array: ids = value.as_array(); break;
                case Kind::Text: break;
            }
            built.push_back(builder.leaf(spec, ids));
            stack.pop_back();
        } else if (!frame.expanded) {
            frame.expanded = true;
            const ast::AstNode* left = node->left();
            const ast::AstNode* right = node->right();
            stack.push_back({right, false});
            stack.push_back({left, false});
        } else {
            const std::uint32_t right = built.back();
            built.pop_back();
            const std::uint32_t left = built.back();
            built.pop_back();
            built.push_back(builder.join(node->kind() == ast::AstNode::Kind::And, left, right));
            stack.pop_back();
        }
    }
    return builder.finish(built.back());
}

// Operator precedence over the words and punctuation of the text: "&" binds
// tighter than "|", both group to the left, parentheses group. On the texts
// that parse this builds exactly the tree the splitting parser builds. When
// the arrangement is regular, the splitting parser meets the words in
// written order, so its first failure is that of the first word that does
// not parse; any irregularity gives up, and the exact road reports it.
std::optional<Result<CompiledCondition>> CompiledCondition::compile_text(std::string_view text) {
    ProgramBuilder builder;
    // Every leaf but the first follows an operator.
    builder.reserve(1 + static_cast<std::size_t>(
                            std::count_if(text.begin(), text.end(), [](char c) { return c == '&' || c == '|'; })));
    std::optional<SablewickError> word_error;
    std::vector<std::int32_t> ids;
    std::vector<std::uint32_t> operands;
    std::vector<char> operators;  // '(', '&', '|'
    bool expect_operand = true;

    const auto reduce = [&]() {
        const char op = operators.back();
        operators.pop_back();
        const std::uint32_t right = operands.back();
        operands.pop_back();
        // After a word failed, nothing more is built.
        if (!word_error) operands.back() = builder.join(op == '&', operands.back(), right);
    };

    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        switch (c) {
            case ' ': ++i; continue;
            case '(':
                if (!expect_operand) return std::nullopt;
                operators.push_back('(');
                ++i;
                continue;
            case ')':
                if (expect_operand) return std::nullopt;
                while (!operators.empty() && operators.back() != '(') reduce();
                if (operators.empty()) return std::nullopt;
                operators.pop_back();
                ++i;
                continue;
            case '&':
            case '|':
                if (expect_operand) return std::nullopt;
                while (!operators.empty() && (operators.back() == '&' || (c == '|' && operators.back() == '|'))) {
                    reduce();
                }
                operators.push_back(c);
                expect_operand = true;
                ++i;
                continue;
            default: break;
        }
        // A word: up to the next space or punctuation. Bytes of multi-byte
        // UTF-8 sequences are never ASCII, so byte scanning is exact.
        std::size_t end = i + 1;
        while (end < n && !kEndsWord[static_cast<unsigned char>(text[end])]) ++end;
        if (!expect_operand) return std::nullopt;
        expect_operand = false;
        const std::string_view word = text.substr(i, end - i);
        i = end;
        if (word_error) {
            operands.push_back(0);  // only the arrangement matters from here on
            continue;
        }
        parser::LeafSpec spec;
        ids.clear();
        switch (parser::split_leaf(word, spec, ids)) {
            case parser::LeafError::None: operands.push_back(builder.leaf(spec, ids)); continue;
            case parser::LeafError::NoOperator:
                word_error = SablewickError::invalid_condition("No operator found in: " + std::string(word));
                break;
            case parser::LeafError::InvalidArray:
                word_error = SablewickError::invalid_condition("Invalid array: " + std::string(spec.value.text));
                break;
        }
        operands.push_back(0);
    }
    if (expect_operand) return std::nullopt;
    while (!operators.empty()) {
        if (operators.back() == '(') return std::nullopt;
        reduce();
    }
    if (word_error) return std::unexpected(std::move(*word_error));
    return builder.finish(operands.back());
}

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
        switch (t.kind) {
            case TestKind::Range:
            case TestKind::Mask:
            case TestKind::Set: mask |= std::uint32_t{1} << t.a; break;
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

bool detail::rare_test(const Test& t, const std::int32_t* pool, const Snapshot& s) noexcept {
    using namespace detail;
    const auto kind = static_cast<property::ListKind>(t.a);
    switch (t.kind) {
        case TestKind::Range:
        case TestKind::ListBit:
        case TestKind::AnyBits: break;  // run() answers these itself
        case TestKind::Mask: {
            const std::uint32_t d = static_cast<std::uint32_t>(s.values[t.a]) - static_cast<std::uint32_t>(t.x);
            return d < 64 && ((t.z >> d) & 1);
        }
        case TestKind::Set: return has_id(pool + t.x, t.z, s.values[t.a]);
        case TestKind::ListMixed: {
            const std::int32_t* p = pool + t.x;
            const std::int32_t dense = p[0], foreign = p[1];
            for (std::int32_t k = 0; k < dense; ++k) {
                if (bit_of(s.bits, static_cast<std::uint32_t>(p[2 + k]))) return true;
            }
            // The ids the spaces lack, looked up in the life's set of them:
            // the test costs its own ids, however many the life holds.
            const hashing::FlatIdSet& held = s.state->list_foreign(kind);
            for (std::int32_t k = 0; k < foreign; ++k) {
                if (held.contains(p[2 + dense + k])) return true;
            }
            return false;
        }
        case TestKind::ListIds: {
            const property::PropertyState& state = *s.state;
            const std::vector<std::int32_t>& list = kind == property::ListKind::TLT    ? state.TLT
                                                    : kind == property::ListKind::EVT  ? state.EVT
                                                    : kind == property::ListKind::AEVT ? state.AEVT
                                                                                       : state.ATLT;
            for (std::int32_t id : list) {
                if (has_id(pool + t.x, t.z, id)) return true;
            }
            return false;
        }
        case TestKind::Const: break;  // never holds: a true one has its exits swapped
    }
    return false;
}

namespace {

// What a list test becomes for a configuration: the bits of the ids it
// numbers and the ids it lacks (EVT only ever holds events it has, so those
// are dropped there).
void bound_ids(const Test& t, const std::int32_t* ids, const property::IdSpaces& spaces,
               std::vector<std::int32_t>& bits, std::vector<std::int32_t>& foreign) {
    const auto kind = static_cast<property::ListKind>(t.a);
    const bool events = kind == property::ListKind::EVT || kind == property::ListKind::AEVT;
    const std::uint32_t first_bit = spaces.bit_base(kind);
    bits.clear();
    foreign.clear();
    for (std::uint64_t k = 0; k < t.z; ++k) {
        const std::uint32_t index = events ? spaces.event(ids[k]) : spaces.talent(ids[k]);
        if (index != property::IdSpaces::kNone) {
            bits.push_back(static_cast<std::int32_t>(first_bit + index));
        } else if (kind != property::ListKind::EVT) {
            foreign.push_back(ids[k]);  // sorted, as the ids are
        }
    }
}

}  // namespace

std::uint32_t CompiledCondition::bind(const property::IdSpaces& spaces, TestArena& arena, std::uint32_t if_true,
                                      std::uint32_t if_false) const {
    // Constants were folded into the exits; only a first test can still be
    // one, and then the program starts where it leads.
    if (tests_.empty()) return if_false;
    std::uint32_t entry = 0;
    if (tests_.front().kind == TestKind::Const) entry = tests_.front().on_false;
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
        t.on_true = target(source.on_true);
        t.on_false = target(source.on_false);
        switch (source.kind) {
            case TestKind::Set:
                t.x = static_cast<std::int32_t>(arena.pool.size());
                arena.pool.insert(arena.pool.end(), pool_.begin() + source.x,
                                  pool_.begin() + source.x + static_cast<std::ptrdiff_t>(source.z));
                break;
            case TestKind::ListIds: {
                bound_ids(source, pool_.data() + source.x, spaces, bits, foreign);
                if (bits.empty() && foreign.empty()) {
                    t.kind = TestKind::Const;  // shares nothing with any list it can meet
                } else if (foreign.empty() && bits.size() == 1) {
                    t.kind = TestKind::ListBit;
                    t.a = 0;
                    t.x = bits.front();
                    t.z = 0;
                } else if (foreign.empty()) {
                    t.kind = TestKind::AnyBits;
                    t.a = 0;
                    t.x = static_cast<std::int32_t>(arena.pool.size());
                    t.z = bits.size();
                    arena.pool.insert(arena.pool.end(), bits.begin(), bits.end());
                } else {
                    t.kind = TestKind::ListMixed;
                    t.x = static_cast<std::int32_t>(arena.pool.size());
                    arena.pool.push_back(static_cast<std::int32_t>(bits.size()));
                    arena.pool.push_back(static_cast<std::int32_t>(foreign.size()));
                    arena.pool.insert(arena.pool.end(), bits.begin(), bits.end());
                    arena.pool.insert(arena.pool.end(), foreign.begin(), foreign.end());
                }
                break;
            }
            default: break;
        }
        arena.tests.push_back(t);
    }
    return base + entry;
}

}  // namespace sablewick::condition
