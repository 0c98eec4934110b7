#include "sablewick/simulator/session.hpp"

#include <cmath>
#include <cstddef>
#include <string_view>
#include <utility>

namespace sablewick::simulator {

namespace {

constexpr std::string_view kFallbackEmoji = "\u26AA";  // MEDIUM WHITE CIRCLE
constexpr std::string_view kFilledCell = "\u2588";     // FULL BLOCK
constexpr std::string_view kEmptyCell = "\u2591";      // LIGHT SHADE
constexpr std::size_t kBarCells = 10;

std::string render_year_text(const std::vector<YearEntry>& entries, const EmojiMap& emoji_map) {
    std::string text;
    if (entries.empty()) return text;
    // One pass to size the buffer, one to fill it: a year's text is built
    // with a single allocation.
    std::size_t size = entries.size() - 1;  // the "\n" separators
    for (const YearEntry& entry : entries) {
        auto found = emoji_map.find(entry.grade);
        size += (found == emoji_map.end() ? kFallbackEmoji.size() : found->second.size()) + 1 + entry.text.size();
    }
    text.reserve(size);
    bool first = true;
    for (const YearEntry& entry : entries) {
        if (!first) text.push_back('\n');
        first = false;
        auto found = emoji_map.find(entry.grade);
        if (found == emoji_map.end()) {
            text.append(kFallbackEmoji);
        } else {
            text.append(found->second);
        }
        text.push_back(' ');
        text.append(entry.text);
    }
    return text;
}

// round(progress * 10), halves away from zero, saturated into 0..10.
std::size_t filled_cells(double progress) {
    double n = std::round(progress * 10.0);
    if (!(n > 0.0)) return 0;  // NaN, zero and negatives
    if (n >= static_cast<double>(kBarCells)) return kBarCells;
    return static_cast<std::size_t>(n);
}

std::string render_progress_bar(double progress) {
    std::size_t filled = filled_cells(progress);
    std::string bar;
    bar.reserve(filled * kFilledCell.size() + (kBarCells - filled) * kEmptyCell.size());
    for (std::size_t i = 0; i < filled; ++i) bar.append(kFilledCell);
    for (std::size_t i = filled; i < kBarCells; ++i) bar.append(kEmptyCell);
    return bar;
}

}  // namespace

GameSession GameSession::create(SimulationResult&& result, const EmojiMap& emoji_map) {
    GameSession session;

    session.years.reserve(result.years.size());
    for (const YearRecord& record : result.years) {
        FormattedYear year;
        year.display_text = render_year_text(record.entries, emoji_map);
        static_cast<YearProperties&>(year) = record.properties;
        year.age = record.age;
        year.is_end = record.is_end;
        session.years.push_back(std::move(year));
    }

    session.judges.reserve(result.judges.size());
    for (JudgeResult& judge : result.judges) {
        FormattedJudge formatted;
        formatted.progress_bar = render_progress_bar(judge.progress);
        formatted.property_type = std::move(judge.property_type);
        formatted.text = std::move(judge.text);
        formatted.progress = judge.progress;
        formatted.value = judge.value;
        formatted.grade = judge.grade;
        session.judges.push_back(std::move(formatted));
    }

    session.talents = std::move(result.talents);
    session.total_score = result.total_score;
    session.new_achievements = std::move(result.new_achievements);
    session.triggered_events = std::move(result.triggered_events);
    session.replacements = std::move(result.replacements);

    // The result is consumed: what was rendered is released now.
    result.years.clear();
    result.years.shrink_to_fit();
    result.judges.clear();
    result.judges.shrink_to_fit();
    return session;
}

}  // namespace sablewick::simulator
