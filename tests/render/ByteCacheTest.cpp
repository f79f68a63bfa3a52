#include "render/ByteCache.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

using tarvolo::emf::ByteCache;

namespace {

struct Step {
    enum Kind { kInsert, kFind, kContains, kRemove } kind;
    std::string key;
    std::int64_t bytes = 0;
};

Step Insert(std::string key, std::int64_t bytes) { return {Step::kInsert, std::move(key), bytes}; }
Step Find(std::string key) { return {Step::kFind, std::move(key)}; }
Step Contains(std::string key) { return {Step::kContains, std::move(key)}; }
Step Remove(std::string key) { return {Step::kRemove, std::move(key)}; }

struct Case {
    const char* name;
    std::int64_t budget;
    std::vector<Step> steps;
    std::set<std::string> kept;
    std::int64_t bytes;
};

} // namespace

// Which entries a sequence of calls leaves, and what they are charged. Each value is its key
// followed by its size, so a replaced value shows.
TEST(ByteCache, KeepsTheMostRecentlyUsedWithinItsBudget)
{
    const Case cases[] = {
        {"the oldest goes first", 10, {Insert("a", 4), Insert("b", 4), Insert("c", 4)}, {"b", "c"}, 8},
        {"a budget met exactly keeps all", 10, {Insert("a", 5), Insert("b", 5)}, {"a", "b"}, 10},
        {"finding renews", 10, {Insert("a", 4), Insert("b", 4), Find("a"), Insert("c", 4)}, {"a", "c"}, 8},
        {"finding an absent key changes nothing", 10, {Insert("a", 4), Insert("b", 4), Find("x"), Insert("c", 4)}, {"b", "c"}, 8},
        {"asking does not renew", 10, {Insert("a", 4), Insert("b", 4), Contains("a"), Insert("c", 4)}, {"b", "c"}, 8},
        {"a replacement is charged once, at its new size", 10, {Insert("a", 4), Insert("b", 4), Insert("a", 6)}, {"a", "b"}, 10},
        {"a replacement renews", 10, {Insert("a", 4), Insert("b", 4), Insert("a", 4), Insert("c", 4)}, {"a", "c"}, 8},
        {"a larger replacement evicts others", 10, {Insert("a", 4), Insert("b", 4), Insert("a", 7)}, {"a"}, 7},
        {"as many go as the newest needs", 10, {Insert("a", 2), Insert("b", 2), Insert("c", 2), Insert("d", 8)}, {"c", "d"}, 10},
        {"the newest stays alone over the budget", 10, {Insert("a", 4), Insert("big", 25)}, {"big"}, 25},
        {"an entry over the budget goes at the next insert", 10, {Insert("big", 25), Insert("a", 1)}, {"a"}, 1},
        {"removing frees its bytes", 10, {Insert("a", 4), Insert("b", 4), Remove("a"), Insert("c", 4)}, {"b", "c"}, 8},
        {"removing an absent key changes nothing", 10, {Insert("a", 4), Remove("x")}, {"a"}, 4},
        {"empty entries fit a budget of nothing", 0, {Insert("a", 0), Insert("b", 0)}, {"a", "b"}, 0},
        {"a budget of nothing keeps the newest", 0, {Insert("a", 1), Insert("b", 1)}, {"b"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteCache<std::string, std::string> cache(c.budget);
        for (const Step& step : c.steps) {
            switch (step.kind) {
            case Step::kInsert: cache.Insert(step.key, step.key + std::to_string(step.bytes), step.bytes); break;
            case Step::kFind: cache.Find(step.key); break;
            case Step::kContains: cache.Contains(step.key); break;
            case Step::kRemove: cache.Remove(step.key); break;
            }
        }
        std::set<std::string> kept;
        for (const std::string key : {"a", "b", "c", "d", "big", "x"})
            if (cache.Contains(key))
                kept.insert(key);
        EXPECT_EQ(kept, c.kept);
        EXPECT_EQ(cache.Bytes(), c.bytes);
        EXPECT_EQ(cache.Size(), c.kept.size());
        EXPECT_EQ(cache.Budget(), c.budget);
    }
}

TEST(ByteCache, FindsTheLatestValueOfAKey)
{
    ByteCache<int, std::unique_ptr<std::string>> cache(100); // values need only move
    EXPECT_EQ(cache.Find(1), nullptr);
    cache.Insert(1, std::make_unique<std::string>("first"), 10);
    cache.Insert(1, std::make_unique<std::string>("second"), 20);
    const std::unique_ptr<std::string>* found = cache.Find(1);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(**found, "second");
    EXPECT_EQ(cache.Size(), 1u);
    EXPECT_EQ(cache.Bytes(), 20);
}

TEST(ByteCache, ANewBudgetEvictsDownToIt)
{
    ByteCache<int, int> cache(12);
    for (int key = 1; key <= 3; ++key)
        cache.Insert(key, key, 4);
    cache.Find(1); // now the order from the oldest is 2, 3, 1

    cache.SetBudget(8);
    EXPECT_FALSE(cache.Contains(2));
    EXPECT_TRUE(cache.Contains(3));
    EXPECT_TRUE(cache.Contains(1));
    EXPECT_EQ(cache.Bytes(), 8);

    cache.SetBudget(0);
    EXPECT_EQ(cache.Size(), 1u);
    EXPECT_TRUE(cache.Contains(1)) << "the most recently used stays";
    EXPECT_EQ(cache.Budget(), 0);

    cache.SetBudget(100);
    cache.Insert(4, 4, 4);
    EXPECT_EQ(cache.Size(), 2u) << "a larger budget evicts nothing";
    EXPECT_EQ(cache.Bytes(), 8);
}

TEST(ByteCache, ClearingAndBadSizes)
{
    ByteCache<int, int> cache(10);
    cache.Insert(1, 1, 4);
    cache.Insert(2, 2, 4);
    EXPECT_THROW(cache.Insert(3, 3, -1), std::invalid_argument);
    EXPECT_THROW(cache.SetBudget(-1), std::invalid_argument);
    using IntCache = ByteCache<int, int>;
    EXPECT_THROW(IntCache(-1), std::invalid_argument);
    EXPECT_EQ(cache.Size(), 2u) << "a refused call changes nothing";
    EXPECT_EQ(cache.Bytes(), 8);
    EXPECT_EQ(cache.Budget(), 10);

    cache.Clear();
    EXPECT_EQ(cache.Size(), 0u);
    EXPECT_EQ(cache.Bytes(), 0);
    EXPECT_EQ(cache.Find(1), nullptr);
    cache.Insert(1, 1, 10);
    EXPECT_EQ(cache.Bytes(), 10) << "nothing of the cleared entries is still charged";
}
