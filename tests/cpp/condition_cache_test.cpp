#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "sablewick/condition/cache.hpp"
#include "sablewick/condition/condition_text.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/testing/condition_checks.hpp"

namespace {

using sablewick::condition::ConditionText;
using sablewick::condition::Outcome;
using sablewick::property::PropertyState;
namespace cache = sablewick::condition::cache;

PropertyState state_with(std::int32_t age, std::int32_t chr = 0) {
    PropertyState s({1001}, {{"CHR", chr}}, nullptr);
    s.AGE = age;
    return s;
}

// Texts no other test uses, so entry counts are this test's own.
std::string unique_text(const std::string& base) {
    static std::atomic<int> counter{0};
    return base + "&UNIQUE" + std::to_string(counter++) + "=0";
}

TEST(ConditionCacheDeathTest, EmptyTextCreatesNoCache) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A fresh process: nothing before this point may have created the cache.
    EXPECT_EXIT(
        {
            const PropertyState s = state_with(0);
            const bool fresh = !cache::testing::exists();
            auto r = cache::check_condition("", s);
            ConditionText empty("");
            const bool ok =
                fresh && r.has_value() && *r && check(empty, s) == Outcome::True && !cache::testing::exists();
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ConditionCache, TrimmedTwinsAreTwoEntries) {
    const std::string text = unique_text("AGE>10");
    const PropertyState old = state_with(11), young = state_with(3);
    const std::size_t before = cache::testing::size();
    EXPECT_EQ(cache::check_condition(text, old), true);
    EXPECT_EQ(cache::check_condition(" " + text + " ", old), true);
    EXPECT_EQ(cache::check_condition(" " + text + " ", young), false);
    EXPECT_EQ(cache::testing::size(), before + 2);
    EXPECT_TRUE(cache::testing::contains(text));
    EXPECT_TRUE(cache::testing::contains(" " + text + " "));
}

TEST(ConditionCache, StoresTreesNotResults) {
    const std::string text = unique_text("AGE>10");
    EXPECT_EQ(cache::check_condition(text, state_with(3)), false);
    EXPECT_TRUE(cache::testing::contains(text));
    EXPECT_EQ(cache::check_condition(text, state_with(11)), true);
    EXPECT_EQ(cache::check_condition(text, state_with(3)), false);
}

TEST(ConditionCache, FailuresAreNeverStoredAndRepeat) {
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"   ", "Empty condition"},
        {"\t\t", "Empty condition"},
        {"\xE3\x80\x80\n", "Empty condition"},
        {"(AGE>10", "Unbalanced parentheses"},
        {"AGE>10)", "Unbalanced parentheses"},
        {"AGE > 10", "Cannot parse tokens: [Condition(\"AGE\"), Condition(\">\"), Condition(\"10\")]"},
        {")AGE>10(", "Cannot parse tokens: [CloseParen, Condition(\"AGE>10\"), OpenParen]"},
        {"TLT?[1, 2]", "Cannot parse tokens: [Condition(\"TLT?[1,\"), Condition(\"2]\")]"},
        {"CHR>5&&INT>5", "Empty token list"},
        {"AGE", "No operator found in: AGE"},
        {"TLT?[1,x]", "Invalid array: [1,x]"},
    };
    const PropertyState s = state_with(20);
    for (const Case& c : cases) {
        for (int round = 0; round < 2; ++round) {
            auto r = cache::check_condition(c.text, s);
            ASSERT_FALSE(r.has_value()) << c.text;
            EXPECT_EQ(r.error().kind(), sablewick::SablewickError::Kind::InvalidCondition);
            EXPECT_EQ(r.error().payload(), c.message) << c.text;
        }
        EXPECT_FALSE(cache::testing::contains(c.text)) << c.text;
        ConditionText record(c.text);
        EXPECT_EQ(check(record, s), Outcome::Invalid) << c.text;
        EXPECT_EQ(check(record, s), Outcome::Invalid) << c.text;
    }
}

TEST(ConditionCache, TabsAreOneWord) {
    EXPECT_EQ(cache::check_condition("AGE\t>\t10", state_with(11)), true);
    EXPECT_EQ(cache::check_condition("AGE\t>\t10", state_with(10)), false);
}

TEST(ConditionCache, ConcurrentFirstUseLeavesOneEntry) {
    const std::string text = unique_text("CHR>1|AGE>=5");
    const std::size_t before = cache::testing::size();
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const std::int32_t age = (i + t) % 10;
                auto r = cache::check_condition(text, state_with(age));
                if (!r || *r != (age >= 5)) ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(cache::testing::size(), before + 1);
}

// Threads that wait for the cache's lock while another forks are counted in
// the lock, and are gone in the child: the child must still look up and
// insert. A child that hangs is ended by its alarm.
TEST(ConditionCache, ChildForkedDuringLookUpsCanUseTheCache) {
    const std::string text = unique_text("AGE>0");
    const PropertyState s = state_with(1);
    ASSERT_EQ(cache::check_condition(text, s), true);
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            while (!stop.load(std::memory_order_relaxed)) (void)cache::check_condition(text, s);
        });
    }
    int failed = 0;
    for (int round = 0; round < 10 && failed == 0; ++round) {
        const std::string fresh = unique_text("CHR>0");
        const pid_t child = fork();
        if (child < 0) {
            ++failed;
            break;
        }
        if (child == 0) {
            alarm(5);
            const PropertyState mine = state_with(1, 1);
            const bool ok = cache::check_condition(text, mine) == true && cache::check_condition(fresh, mine) == true &&
                            cache::testing::contains(fresh);
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
    }
    stop = true;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(failed, 0) << "a forked child hung or failed on the cache";
}

// The record's fast path must give check_condition's answer, before and
// after it has resolved, for valid and invalid texts alike.
TEST(ConditionText, AgreesWithCheckCondition) {
    const std::string texts[] = {
        "",           "AGE>=18",  " AGE>=18 ", "AGE>10 & CHR>5", "(AGE>10|CHR>5)&TLT?[1001,1002]",
        "TLT![1001]", "EVT=10",   "EVT!=10",   "SUM>0",          "RDM=0",
        "CHR>1.5",    "CHR=abc",  "AGE > 10",  "(AGE>10",        "   ",
        "AGE",        "a>1&&b>1", "TLT?[]",    "HCHR>=0|LCHR<0", "((AGE>0))",
    };
    const PropertyState states[] = {state_with(-1), state_with(18, 6), state_with(30, 2)};
    for (const std::string& text : texts) {
        ConditionText record(text);
        for (int round = 0; round < 2; ++round) {
            for (const PropertyState& s : states) {
                auto want = cache::check_condition(text, s);
                const Outcome expected = !want ? Outcome::Invalid : (*want ? Outcome::True : Outcome::False);
                EXPECT_EQ(check(record, s), expected) << "'" << text << "'";
            }
        }
        // A copy resolves on its own and agrees too.
        ConditionText copy = record;
        EXPECT_EQ(copy.text(), text);
        auto want = cache::check_condition(text, states[1]);
        EXPECT_EQ(check(copy, states[1]), !want ? Outcome::Invalid : (*want ? Outcome::True : Outcome::False));
    }
}

TEST(ConditionText, ResolvesThroughTheCache) {
    const std::string text = unique_text("AGE>1");
    ConditionText record(text);
    EXPECT_FALSE(cache::testing::contains(text));
    EXPECT_EQ(check(record, state_with(2)), Outcome::True);
    EXPECT_TRUE(cache::testing::contains(text));
    EXPECT_EQ(check(record, state_with(1)), Outcome::False);
}

// What the records of a configuration hold leaves the cache with the last of
// them; a copy holds it as the record does.
TEST(ConditionText, TextsLeaveTheCacheWithTheirLastRecord) {
    const std::size_t before = cache::testing::size();
    std::vector<ConditionText> records;
    for (int i = 0; i < 100; ++i) records.emplace_back(unique_text("AGE>" + std::to_string(i)));
    for (const ConditionText& record : records) EXPECT_EQ(check(record, state_with(200)), Outcome::True);
    EXPECT_EQ(cache::testing::size(), before + 100);
    const std::string kept_text = records.front().text();
    const ConditionText copy = records.front();
    records.clear();
    EXPECT_EQ(cache::testing::size(), before + 1);
    EXPECT_TRUE(cache::testing::contains(kept_text));
    EXPECT_EQ(check(copy, state_with(0)), Outcome::False);
}

// Records of one text share its storage and its parse, whether it parses or
// not; the failure's answer is remembered for all of them.
TEST(ConditionText, OneTextIsStoredAndParsedOnceForAllItsRecords) {
    for (const std::string& text : {unique_text("AGE>1"), unique_text("AGE>1&&")}) {
        const std::size_t parses = cache::testing::parses();
        std::vector<ConditionText> records(1000, ConditionText());
        for (ConditionText& record : records) record = ConditionText(text);
        Outcome first = check(records.front(), state_with(5));
        for (const ConditionText& record : records) {
            EXPECT_EQ(&record.text(), &records.front().text());
            EXPECT_EQ(check(record, state_with(5)), first);
        }
        EXPECT_EQ(cache::testing::parses(), parses + 1) << text;
    }
}

// Records of one text made and dropped on several threads at once: a text
// whose last record is going while another thread asks for it is either
// found alive or made again, and every answer is right.
TEST(ConditionText, TextsComingAndGoingAcrossThreads) {
    const std::string texts[] = {unique_text("AGE>=5"), unique_text("AGE>=5&&")};
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::int32_t age = (i + t) % 10;
                const ConditionText record(texts[i % 2]);
                const Outcome want = i % 2 ? Outcome::Invalid : (age >= 5 ? Outcome::True : Outcome::False);
                if (check(record, state_with(age)) != want) ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_FALSE(cache::testing::contains(texts[0]));
}

}  // namespace
