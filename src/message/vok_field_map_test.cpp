// The field map's wire-visible iteration order, node reuse and copies.
// Bucket numbers in the cases are key % 47 (key taken as unsigned).
#include "message/vok_field_map.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<int> Keys(const VOKFieldMap& map) {
  std::vector<int> keys;
  map.ForEach([&](int key, const VOKField&) { keys.push_back(key); });
  return keys;
}

TEST(VOKFieldMap, IteratesBucketsInOrderNewestKeyFirst) {
  const struct {
    std::vector<int> inserted;
    std::vector<int> visited;
  } cases[] = {
      {{1, 48}, {48, 1}},
      {{2000, 1003}, {1003, 2000}},
      {{47, 0, 94, 46}, {94, 0, 47, 46}},
      {{-1}, {-1}},  // -1 as unsigned is 4294967295, bucket 4294967295 % 47 = 41
      {{1004, 1005, 1003}, {1003, 1004, 1005}},
  };
  for (const auto& c : cases) {
    VOKFieldMap map;
    for (int key : c.inserted) map[key].SetInt(key);
    EXPECT_EQ(Keys(map), c.visited);
    EXPECT_EQ(map.GetCount(), static_cast<int>(c.inserted.size()));
  }
  EXPECT_EQ(VOKFieldMap::BucketOf(-1), 41);
  EXPECT_EQ(VOKFieldMap::BucketOf(1003), 16);
}

TEST(VOKFieldMap, RewritingAKeyKeepsItsPlaceAndRemovalReusesNodes) {
  VOKFieldMap map;
  map[1].SetInt(1);
  map[48].SetInt(48);
  map[1].SetString("again");
  EXPECT_EQ(Keys(map), (std::vector<int>{48, 1}));
  EXPECT_EQ(map.Find(1)->GetText(), "again");

  EXPECT_TRUE(map.RemoveKey(48));
  EXPECT_FALSE(map.RemoveKey(48));
  EXPECT_EQ(map.Find(48), nullptr);
  map[95].SetInt(95);
  EXPECT_EQ(Keys(map), (std::vector<int>{95, 1}));
  EXPECT_EQ(map.Find(95)->GetKind(), FT_INT);

  for (int key = 0; key < 1000; ++key) map[key].SetInt(key);
  EXPECT_EQ(map.GetCount(), 1000);
  int value = 0;
  ASSERT_TRUE(map.Find(999)->AsInt(value));
  EXPECT_EQ(value, 999);
  map.RemoveAll();
  EXPECT_TRUE(map.IsEmpty());
  EXPECT_TRUE(Keys(map).empty());
}

TEST(VOKFieldMap, CopiesKeepOrderAndMovesEmptyTheSource) {
  VOKFieldMap map;
  for (int key : {1, 48, 95, 3}) map[key].SetInt(key);
  VOKFieldMap copy(map);
  EXPECT_EQ(Keys(copy), Keys(map));
  VOKFieldMap moved(std::move(copy));
  EXPECT_EQ(Keys(moved), Keys(map));
  EXPECT_TRUE(copy.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved-from map is empty
  copy[5].SetInt(5);
  EXPECT_EQ(Keys(copy), (std::vector<int>{5}));
}

}  // namespace
