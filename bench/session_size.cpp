#include "session_size.hpp"

#include <string>
#include <vector>

namespace sablewick::bench {

namespace {

// libstdc++ keeps up to 15 bytes inline; a longer string owns capacity + 1.
constexpr std::size_t kInlineCapacity = 15;

void add(SessionSize& size, const std::string& s) {
    if (s.capacity() > kInlineCapacity) {
        size.strings += s.capacity() + 1;
        ++size.heap_blocks;
    }
}

template <class T>
void add_storage(SessionSize& size, const std::vector<T>& v) {
    if (v.capacity() > 0) {
        size.vectors += v.capacity() * sizeof(T);
        ++size.heap_blocks;
    }
}

void add(SessionSize& size, const simulator::TalentInfo& t) {
    add(size, t.name);
    add(size, t.description);
}

}  // namespace

SessionSize session_size(const simulator::GameSession& session) {
    SessionSize size;
    size.object = sizeof(simulator::GameSession);
    add_storage(size, session.years);
    for (const auto& year : session.years) add(size, year.display_text);
    add_storage(size, session.judges);
    for (const auto& judge : session.judges) {
        add(size, judge.property_type);
        add(size, judge.text);
        add(size, judge.progress_bar);
    }
    add_storage(size, session.talents);
    for (const auto& talent : session.talents) add(size, talent);
    add_storage(size, session.new_achievements);
    for (const auto& achievement : session.new_achievements) add(size, achievement);
    add_storage(size, session.triggered_events);
    add_storage(size, session.replacements);
    for (const auto& replacement : session.replacements) {
        add(size, replacement.source);
        add(size, replacement.target);
    }
    return size;
}

}  // namespace sablewick::bench
