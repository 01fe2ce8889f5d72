// Tests of the handlers' symbol map against std::map as the model: adds, finds, erases by key and
// by index in a long pseudo-random run, so probe chains that wrap and shift back, the last entry
// moving into an erased one's place, and rebuilds while it grows are all crossed.
#include "handlers/symbol_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace {

TEST(SymbolMap, AgreesWithAnOrderedMapThroughAddsAndErases) {
  CSymbolMap<std::unique_ptr<int>> map;
  map.Reserve(4);
  std::map<std::string, int> model;
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int step = 0; step < 20000; ++step) {
    const std::string key = "S" + std::to_string((next() >> 8) % 700);
    const std::uint32_t op = (next() >> 8) % 3;
    std::unique_ptr<int>* found = map.Find(key);
    ASSERT_EQ(found != nullptr, model.count(key) == 1) << key;
    if (found != nullptr) ASSERT_EQ(**found, model[key]) << key;
    if (op == 0 && found == nullptr) {
      map.Add(key, std::make_unique<int>(step));
      model[key] = step;
    } else if (op == 1) {
      ASSERT_EQ(map.Erase(key), model.erase(key) == 1) << key;
    } else if (op == 2 && !map.Empty()) {
      const std::size_t index = next() % map.Size();
      model.erase(map.At(index).key);
      map.EraseAt(index);
    }
    ASSERT_EQ(map.Size(), model.size());
  }
  std::map<std::string, int> iterated;
  for (const auto& entry : map) iterated[entry.key] = *entry.value;
  EXPECT_EQ(iterated, model);
  map.Clear();
  EXPECT_TRUE(map.Empty());
  EXPECT_EQ(map.Find("S1"), nullptr);
}

}  // namespace
