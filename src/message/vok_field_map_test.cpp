// The field map where the line form's tests do not reach it: keys read as unsigned for their
// bucket (key % 47), nodes reused after a removal, and a moved-from map.
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

TEST(VOKFieldMap, OrdersNegativeKeysAsUnsignedReusesRemovedNodesAndMovesOut) {
  VOKFieldMap map;
  for (int key : {46, -1, 0, 47}) map[key].SetInt(key);
  // -1 is 4294967295, bucket 41; 0 and 47 share bucket 0, the newer first.
  EXPECT_EQ(VOKFieldMap::BucketOf(-1), 41);
  EXPECT_EQ(Keys(map), (std::vector<int>{47, 0, -1, 46}));

  EXPECT_TRUE(map.RemoveKey(0));
  EXPECT_FALSE(map.RemoveKey(0));
  EXPECT_EQ(map.Find(0), nullptr);
  map[94].SetString("reused");
  const std::vector<int> expected = {94, 47, -1, 46};
  EXPECT_EQ(Keys(map), expected);
  EXPECT_EQ(map.Find(94)->GetText(), "reused");

  VOKFieldMap moved(std::move(map));
  EXPECT_EQ(Keys(moved), expected);
  EXPECT_TRUE(map.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved-from map is empty
  map[5].SetInt(5);
  EXPECT_EQ(Keys(map), (std::vector<int>{5}));
}

}  // namespace
