#include "base/recordmap.h"

#include "base/addresses.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace morwick {
namespace {

// Hashes that crowd keys together, so probing runs long and tags collide.
struct tConstantHash {
    size_t operator()(uint32_t) const { return 0x1234567800000005ULL; }
};
struct tFewBucketsHash {
    size_t operator()(uint32_t k) const { return (size_t{k % 3} << 32) | (k % 5); }
};

template <typename Hash>
void CheckAgainstReference(uint32_t KeyRange, int Operations) {
    tRecordMap<uint32_t, std::string, Hash> map;
    std::unordered_map<uint32_t, std::string> reference;
    std::vector<uint32_t> order;  // keys in first-insertion order
    std::mt19937 rng(42);
    for (int i = 0; i < Operations; ++i) {
        const uint32_t key = rng() % KeyRange;
        const std::string value = "v" + std::to_string(i);
        auto [item, inserted] = map.try_emplace(key, value);
        const bool refInserted = reference.try_emplace(key, value).second;
        ASSERT_EQ(inserted, refInserted) << "key " << key;
        ASSERT_EQ(item->first, key);
        ASSERT_EQ(item->second, reference.at(key));
        if (inserted) order.push_back(key);
    }
    ASSERT_EQ(map.size(), reference.size());
    for (const auto& [key, value] : reference) {
        const auto* item = map.lookup(key);
        ASSERT_NE(item, nullptr) << key;
        EXPECT_EQ(item->second, value);
    }
    EXPECT_EQ(map.lookup(KeyRange + 7), nullptr);
    size_t i = 0;
    for (const auto& [key, value] : map) {
        ASSERT_LT(i, order.size());
        EXPECT_EQ(key, order[i++]);
    }
    EXPECT_EQ(i, order.size());
}

TEST(RecordMap, MatchesUnorderedMapUnderAnyHash) {
    CheckAgainstReference<std::hash<uint32_t>>(5000, 20000);
    CheckAgainstReference<tFewBucketsHash>(300, 2000);
    CheckAgainstReference<tConstantHash>(200, 1000);
}

TEST(RecordMap, ItemsStayInPlaceWhileTheMapGrows) {
    tRecordMap<uint32_t, uint64_t> map;
    auto [first, inserted] = map.try_emplace(7u, uint64_t{70});
    ASSERT_TRUE(inserted);
    for (uint32_t k = 100; k < 100000; ++k) map.try_emplace(k, uint64_t{k});
    EXPECT_EQ(map.lookup(7u), first);
    EXPECT_EQ(first->second, 70u);
    first->second = 71;
    EXPECT_EQ(map.lookup(7u)->second, 71u);
    EXPECT_EQ(map.size(), 1u + (100000 - 100));
}

TEST(RecordMap, ClearEmptiesAndTheMapIsUsableAgain) {
    tRecordMap<uint32_t, std::vector<int>> map;
    map.reserve(1000);
    for (uint32_t k = 0; k < 600; ++k) map.try_emplace(k, std::vector<int>(3, static_cast<int>(k)));
    map.clear();
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(map.begin(), map.end());
    EXPECT_EQ(map.lookup(5u), nullptr);
    auto [item, inserted] = map.try_emplace(5u, std::vector<int>{1});
    EXPECT_TRUE(inserted);
    EXPECT_EQ(item->second, std::vector<int>{1});
    EXPECT_EQ(map.size(), 1u);
}

// A difference in any one byte of a key makes the keys unequal, whatever the key's size.
template <typename K>
void CheckEveryByteCounts() {
    K a{};
    auto* bytes = reinterpret_cast<unsigned char*>(&a);
    for (size_t i = 0; i < sizeof(K); ++i) bytes[i] = static_cast<unsigned char>(i * 13 + 1);
    K b = a;
    EXPECT_TRUE(SameRecordKey(a, b));
    for (size_t i = 0; i < sizeof(K); ++i) {
        auto* other = reinterpret_cast<unsigned char*>(&b);
        other[i] ^= 0x80;
        EXPECT_FALSE(SameRecordKey(a, b)) << "byte " << i << " of " << sizeof(K);
        EXPECT_EQ(SameRecordKey(a, b), a == b);
        other[i] ^= 0x80;
    }
}

TEST(RecordMap, KeysDifferingInAnyByteAreDifferent) {
    CheckEveryByteCounts<tMACAddressKey>();       // 6 bytes
    CheckEveryByteCounts<tIPv4AddressPairKey>();  // 8
    CheckEveryByteCounts<tMACAddressPairKey>();   // 12
    CheckEveryByteCounts<tIPv6AddressKey>();      // 16
    CheckEveryByteCounts<tIPSocketPairKey>();     // 38
}

}  // namespace
}  // namespace morwick
