#include "sablewick/condition/parser.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sablewick/condition/messages.hpp"
#include "sablewick/condition/value_parser.hpp"
#include "sablewick/utf8/utf8.hpp"

namespace sablewick::condition::parser {

using ast::AstNode;
using ast::Operator;

namespace {

struct Sign {
    std::string_view text;
    Operator op;
};

constexpr Sign kSigns[] = {
    {">=", Operator::GreaterEqual}, {"<=", Operator::LessEqual}, {"!=", Operator::NotEqual}, {">", Operator::Greater},
    {"<", Operator::Less},          {"=", Operator::Equal},      {"?", Operator::In},        {"!", Operator::NotIn},
};

// The bytes that begin an operator sign.
constexpr auto kSignByte = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {'>', '<', '!', '=', '?'}) table[c] = true;
    return table;
}();

// Positions of one kind of split token, ordered by (depth before the token,
// position), so the last one at a given depth inside a slice is a binary
// search away.
class SplitIndex {
public:
    void add(std::int64_t depth, std::size_t position) { entries_.emplace_back(depth, position); }
    void seal() {
        std::stable_sort(entries_.begin(), entries_.end(), [](auto& x, auto& y) { return x.first < y.first; });
    }

    // The last position p with a <= p < b at `depth`, or npos.
    std::size_t last(std::int64_t depth, std::size_t a, std::size_t b) const {
        auto it = std::lower_bound(entries_.begin(), entries_.end(), std::pair<std::int64_t, std::size_t>(depth, b));
        if (it == entries_.begin()) return npos;
        --it;
        return it->first == depth && it->second >= a ? it->second : npos;
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    std::vector<std::pair<std::int64_t, std::size_t>> entries_;
};

}  // namespace

LeafError split_leaf(std::string_view text, LeafSpec& out, std::vector<std::int32_t>& ids) {
    // The first occurrence of every sign, in one pass over the text; then
    // the first sign of the list that occurs at all wins.
    constexpr std::size_t kNone = std::string_view::npos;
    std::size_t first[std::size(kSigns)];
    std::fill(std::begin(first), std::end(first), kNone);
    const auto note = [&first](std::size_t sign, std::size_t at) {
        if (first[sign] == kNone) first[sign] = at;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!kSignByte[static_cast<unsigned char>(c)]) continue;
        const bool equals_next = i + 1 < text.size() && text[i + 1] == '=';
        switch (c) {
            case '>':
                if (equals_next) note(0, i);
                note(3, i);
                break;
            case '<':
                if (equals_next) note(1, i);
                note(4, i);
                break;
            case '!':
                if (equals_next) note(2, i);
                note(7, i);
                break;
            case '=': note(5, i); break;
            case '?': note(6, i); break;
            default: break;
        }
    }
    for (std::size_t k = 0; k < std::size(kSigns); ++k) {
        const std::size_t at = first[k];
        if (at == kNone) continue;
        const Sign& sign = kSigns[k];
        out.property = utf8::trim(text.substr(0, at));
        out.op = sign.op;
        if (!classify_value(text.substr(at + sign.text.size()), out.value, ids)) return LeafError::InvalidArray;
        return LeafError::None;
    }
    return LeafError::NoOperator;
}

SablewickError leaf_failure(LeafError error, std::string_view word, const LeafSpec& spec) {
    return error == LeafError::InvalidArray ? messages::invalid_array(spec.value.text) : messages::no_operator(word);
}

Result<std::unique_ptr<AstNode>> parse_condition(std::string_view text) {
    LeafSpec leaf;
    std::vector<std::int32_t> ids;
    if (const LeafError error = split_leaf(text, leaf, ids); error != LeafError::None) {
        return std::unexpected(leaf_failure(error, text, leaf));
    }
    return AstNode::condition(std::string(leaf.property), leaf.op, make_value(leaf.value, std::move(ids)));
}

Result<std::unique_ptr<AstNode>> parse_tokens(std::span<const Token> tokens) {
    const std::size_t n = tokens.size();
    // depth[i]: parenthesis depth before token i, counted from the start.
    std::vector<std::int64_t> depth(n + 1);
    SplitIndex ors, ands;
    for (std::size_t i = 0; i < n; ++i) {
        std::int64_t d = depth[i];
        switch (tokens[i].kind) {
            case Token::Kind::Or: ors.add(d, i); break;
            case Token::Kind::And: ands.add(d, i); break;
            case Token::Kind::OpenParen: ++d; break;
            case Token::Kind::CloseParen: --d; break;
            case Token::Kind::Condition: break;
        }
        depth[i + 1] = d;
    }
    ors.seal();
    ands.seal();

    enum class Job : std::uint8_t { Parse, MakeAnd, MakeOr };
    struct Task {
        Job job;
        std::size_t a, b;
    };
    std::vector<Task> tasks;
    std::vector<std::unique_ptr<AstNode>> done;
    tasks.push_back({Job::Parse, 0, n});
    while (!tasks.empty()) {
        const Task task = tasks.back();
        tasks.pop_back();
        if (task.job != Job::Parse) {
            std::unique_ptr<AstNode> right = std::move(done.back());
            done.pop_back();
            std::unique_ptr<AstNode> left = std::move(done.back());
            done.pop_back();
            done.push_back(task.job == Job::MakeAnd ? AstNode::and_(std::move(left), std::move(right))
                                                    : AstNode::or_(std::move(left), std::move(right)));
            continue;
        }
        std::size_t a = task.a, b = task.b;
        for (;;) {
            if (a == b) return std::unexpected(messages::empty_token_list());
            // The slice's own depth counter starts at 0 at a.
            const std::int64_t base = depth[a];
            std::size_t split = ors.last(base, a, b);
            Job make = Job::MakeOr;
            if (split == SplitIndex::npos) {
                split = ands.last(base, a, b);
                make = Job::MakeAnd;
            }
            if (split != SplitIndex::npos) {
                // The left part runs first, so its failure wins.
                tasks.push_back({make, 0, 0});
                tasks.push_back({Job::Parse, split + 1, b});
                tasks.push_back({Job::Parse, a, split});
                break;
            }
            if (b - a == 1) {
                if (tokens[a].kind != Token::Kind::Condition) {
                    return std::unexpected(messages::cannot_parse(tokens.subspan(a, 1)));
                }
                auto leaf = parse_condition(tokens[a].text);
                if (!leaf) return std::unexpected(std::move(leaf.error()));
                done.push_back(std::move(*leaf));
                break;
            }
            if (tokens[a].kind == Token::Kind::OpenParen && tokens[b - 1].kind == Token::Kind::CloseParen) {
                ++a;
                --b;
                continue;
            }
            return std::unexpected(messages::cannot_parse(tokens.subspan(a, b - a)));
        }
    }
    return std::move(done.back());
}

}  // namespace sablewick::condition::parser
