#include "runtime/registry/ObjectRegistry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Record {
  int handle = 0;
  int payload = 0;
};

using Registry = ObjectRegistry<Record>;

std::vector<std::int64_t> g_closed;
Registry* g_registry = nullptr;

// Close procedure as a service writes it: forget the object.
void CloseRecord(std::int64_t number) {
  g_closed.push_back(number);
  g_registry->Release(number);
}

class ObjectRegistryTest : public testing::Test {
 protected:
  ObjectRegistryTest() {
    g_closed.clear();
    g_registry = &registry;
  }
  std::int64_t Open(std::int64_t number, int payload = 1) {
    auto obtained = registry.Obtain(number);
    if (!obtained.record) return 0;
    obtained.record->handle = 1;
    obtained.record->payload = payload;
    return obtained.number;
  }
  Registry registry{16, 16, CloseRecord};
};

TEST_F(ObjectRegistryTest, GrowsToTheNumberPlusTheStepWithOnlyThatSlotLive) {
  EXPECT_EQ(registry.SlotCount(), 16u);
  EXPECT_EQ(Open(40), 40);
  EXPECT_EQ(registry.SlotCount(), 56u);
  EXPECT_EQ(registry.LiveNumbers(), std::vector<std::int64_t>{40});
  for (std::int64_t n = 0; n < 56; ++n) {
    if (n == 40) continue;
    EXPECT_EQ(registry.Find(n), nullptr) << n;
  }
}

TEST_F(ObjectRegistryTest, AnyNumberGivesIdentifiersThatNeverEqualASlotAndDieWhenFreed) {
  std::int64_t a = Open(Registry::kAny, 7);
  std::int64_t b = Open(Registry::kAny, 8);
  EXPECT_GE(a, Registry::kFirstIdentifier);
  EXPECT_NE(a, b);
  ASSERT_NE(registry.Find(a), nullptr);
  EXPECT_EQ(registry.Find(a)->payload, 7);

  registry.Release(a);
  EXPECT_EQ(registry.Find(a), nullptr);
  EXPECT_EQ(registry.Obtain(a).record, nullptr) << "a freed identifier must not come back";
  EXPECT_NE(Open(Registry::kAny), a) << "identifiers are not reused";
  EXPECT_EQ(registry.Find(b)->payload, 8);
}

TEST_F(ObjectRegistryTest, MadeUpNumbersNameNothing) {
  Open(Registry::kAny);
  for (std::int64_t n : {std::int64_t{-2}, std::int64_t{-1}, std::int64_t{16}, std::int64_t{1000000},
                         Registry::kFirstIdentifier + 5, Registry::kFirstIdentifier - 1,
                         std::int64_t{0x7fffffffffffffff}})
    EXPECT_EQ(registry.Find(n), nullptr) << n;
  EXPECT_EQ(registry.Obtain(-2).record, nullptr);
  EXPECT_EQ(registry.Obtain(Registry::kSlotLimit).record, nullptr);
}

TEST_F(ObjectRegistryTest, ReusingALiveNumberClosesTheOldObjectFirst) {
  Open(3, 1);
  auto obtained = registry.Obtain(3);
  EXPECT_EQ(g_closed, std::vector<std::int64_t>{3});
  ASSERT_NE(obtained.record, nullptr);
  EXPECT_EQ(obtained.record->payload, 0) << "the record is handed out zeroed";

  std::int64_t id = Open(Registry::kAny, 5);
  auto again = registry.Obtain(id);
  EXPECT_EQ(again.number, id);
  EXPECT_EQ(g_closed.back(), id);
  EXPECT_EQ(again.record->payload, 0);
}

TEST_F(ObjectRegistryTest, CloseAllGoesAscendingThenNewestIdentifierFirst) {
  std::int64_t first = Open(Registry::kAny);
  Open(5);
  std::int64_t second = Open(Registry::kAny);
  Open(0);
  Open(20);
  registry.Release(Open(2));  // released slots are not live
  registry.CloseAll();
  EXPECT_EQ(g_closed, (std::vector<std::int64_t>{0, 5, 20, second, first}));
  EXPECT_TRUE(registry.LiveNumbers().empty());
  EXPECT_EQ(registry.SlotCount(), 36u) << "closed slots stay allocated";
}

TEST_F(ObjectRegistryTest, TakeMovesTheRecordOutAndFreesTheNumber) {
  Open(1, 9);
  auto taken = registry.Take(1);
  ASSERT_TRUE(taken.has_value());
  EXPECT_EQ(taken->payload, 9);
  EXPECT_EQ(registry.Find(1), nullptr);
  EXPECT_FALSE(registry.Take(Registry::kFirstIdentifier + 99).has_value());
}

}  // namespace
