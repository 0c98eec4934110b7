#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "forked_child.hpp"
#include "sablewick/base/containers.hpp"
#include "sablewick/hashing/flat_id_set.hpp"
#include "sablewick/hashing/keyed_hash.hpp"
#include "sablewick/hashing/siphash.hpp"

namespace {

using sablewick::hashing::FlatIdSet;
using sablewick::hashing::fresh_hash_keys;
using sablewick::hashing::HashKeys;
using sablewick::hashing::siphash13;
using sablewick::hashing::siphash13_u32;

struct SipCase {
    std::string_view input;
    std::uint64_t expected;
};

// CPython 3.12 hashes non-empty bytes with SipHash-1-3, under a zero key when
// PYTHONHASHSEED=0. The values come from
//   PYTHONHASHSEED=0 python3.12 -c 'print(hex(hash(b"abc") % 2**64))'
// for each input (none of them hashes to -1, which CPython would turn into -2).
constexpr SipCase kZeroKey[] = {
    {"a", 0x407448d2b89b1813},
    {"ab", 0x555508cbc6add439},
    {"abc", 0xc03bc3a0042630f2},
    {"abcd", 0xe3d1d5fdd52aae89},
    {"abcde", 0x251f3c725bd784a2},
    {"abcdef", 0x62207e654289df28},
    {"abcdefg", 0x6db12aae9070f506},
    {"abcdefgh", 0x3f7b849c0b8e35ea},
    {"abcdefghi", 0xf89b34a3d11eb6e5},
    {"abcdefghij", 0xf47c264806c40ff1},
    {"abcdefghijk", 0x14215fc65e2c3bd4},
    {"abcdefghijkl", 0x83275255f37565c1},
    {"abcdefghijklm", 0x954aa964997ae4e6},
    {"abcdefghijklmn", 0xfdbd7fa99ace11da},
    {"abcdefghijklmno", 0x1fd27a29b0e9dc7a},
    {"abcdefghijklmnop", 0x94f60d3d29e6a312},
    {std::string_view("\0", 1), 0x68a914128e01e473},
    {"\xff\xff\xff\xff\xff\xff\xff\xff", 0x2f205be2fec8e38d},
    {"The quick brown fox jumps over the lazy dog; 0123456789 and some more text.", 0x53402edf8f4f08cc},
    {"Gr\u00fc\u00dfe, \u4e16\u754c \U0001f7e0", 0xb25691ccf2a5b085},  // UTF-8
};

TEST(SipHash13, MatchesCPythonUnderTheZeroKey) {
    for (const auto& [input, expected] : kZeroKey) {
        EXPECT_EQ(siphash13(0, 0, input), expected) << '"' << input << '"';
    }
}

struct KeyedCase {
    HashKeys keys;
    std::string_view input;
    std::uint64_t expected;
};

// Under PYTHONHASHSEED=N (N > 0) CPython fills its key bytes from the
// generator x = x * 214013 + 2531011 (mod 2^32), byte = (x >> 16) & 0xff,
// starting from x = N; k0 is bytes 0-7 and k1 bytes 8-15, little-endian.
// Same command as above with PYTHONHASHSEED=1 and PYTHONHASHSEED=12345.
constexpr HashKeys kSeed1{0xaed66ce184be2329, 0xebe9bbf1f1499052};
constexpr HashKeys kSeed12345{0x25556dc46dc3dca0, 0xfc3ee4dbd06f6c90};
constexpr std::string_view kLong = "abcdefghijklmnopabcdefghijklmnopabcdefghijklmnopxyz";
constexpr KeyedCase kKeyed[] = {
    {kSeed1, "a", 0xd6300bc9f7cc0e73},
    {kSeed1, "abcdefgh", 0xfd3011ff3947e7f4},
    {kSeed1, kLong, 0x07a2f7d7fb0d5e41},
    {kSeed12345, "a", 0x83a33d688c5cf68f},
    {kSeed12345, "abcdefgh", 0x17059dcb47eb5a21},
    {kSeed12345, kLong, 0xf364438f26225844},
};

TEST(SipHash13, MatchesCPythonUnderOtherKeys) {
    for (const auto& [keys, input, expected] : kKeyed) {
        EXPECT_EQ(siphash13(keys.k0, keys.k1, input), expected) << '"' << input << '"';
    }
}

TEST(SipHash13, IntegerFormIsTheHashOfItsLittleEndianBytes) {
    const std::uint32_t values[] = {0, 1, 42043, 65536, 0x80000000u, 0xffffffffu, 0x01020304u};
    for (const HashKeys keys : {HashKeys{0, 0}, kSeed1, kSeed12345}) {
        for (std::uint32_t v : values) {
            const unsigned char bytes[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
            EXPECT_EQ(siphash13_u32(keys.k0, keys.k1, v), siphash13(keys.k0, keys.k1, bytes, 4)) << v;
        }
    }
}

TEST(KeyedHash, EachMapDrawsItsOwnKeys) {
    const sablewick::IdHash a;
    const sablewick::IdHash b;
    EXPECT_NE(a(7), b(7));
    const sablewick::StringHash s;
    const sablewick::StringHash t;
    EXPECT_NE(s("seven"), t("seven"));
    // A copy keeps its original's keys (a copied map must find its keys).
    const sablewick::IdHash copy = a;
    EXPECT_EQ(copy(7), a(7));
}

// A forked child keeps the keys of the maps it inherits, but its new maps
// must not take the keys its parent's next maps will take.
TEST(KeyedHash, ForkedChildDrawsFreshKeys) {
    fresh_hash_keys();  // this thread's seed exists before the fork
    HashKeys from_child;
    ASSERT_NO_FATAL_FAILURE(forked_child::read_value(from_child, [] { return fresh_hash_keys(); }));
    const HashKeys next = fresh_hash_keys();
    EXPECT_NE(from_child.k1, next.k1);
}

// The flat set against an ordered one: the extremes (the smallest id marks a
// free slot), ids again, thousands of ids spread over the whole range, grown
// one doubling at a time or reserved ahead, and emptied.
TEST(FlatIdSet, AgreesWithAnOrderedSet) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    std::vector<std::int32_t> ids = {kMin, 0, -1, kMax, kMin, 0, kMin + 1};
    for (int round = 0; round < 2; ++round) {
        for (std::uint32_t k = 0; k < 5000; ++k) ids.push_back(static_cast<std::int32_t>(k * 655360u));
    }
    const std::int32_t absent[] = {1, kMax - 1, 655359, -655360, 327680};
    for (const bool reserved : {false, true}) {
        FlatIdSet set;
        std::set<std::int32_t> reference;
        if (reserved) set.reserve(ids.size());
        for (std::int32_t id : ids) ASSERT_EQ(set.insert(id), reference.insert(id).second) << id;
        EXPECT_EQ(set.size(), reference.size());
        for (std::int32_t id : ids) EXPECT_TRUE(set.contains(id)) << id;
        for (std::int32_t id : absent) EXPECT_EQ(set.contains(id), reference.contains(id)) << id;
        set.clear();
        EXPECT_TRUE(set.empty());
        EXPECT_FALSE(set.contains(kMin));
        EXPECT_FALSE(set.contains(0));
        EXPECT_TRUE(set.insert(kMin));
        EXPECT_TRUE(set.insert(0));
        EXPECT_EQ(set.size(), 2u);
    }
}

}  // namespace
