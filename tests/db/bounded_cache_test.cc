// The bounded cache: eviction of the entry written longest ago, reads that do not
// change the order, rewrites that do.
#include <gtest/gtest.h>

#include <string>

#include "db/bounded_cache.h"

namespace {

TEST(BoundedCacheTest, EvictsTheEntryWrittenLongestAgoEvenIfReadSince) {
    CBoundedCache<int, std::string> cache(3);
    cache.Put(1, "a");
    cache.Put(2, "b");
    cache.Put(3, "c");
    std::string v;
    ASSERT_TRUE(cache.Get(1, v));  // reading 1 does not protect it
    EXPECT_EQ("a", v);
    cache.Put(4, "d");
    EXPECT_EQ(3u, cache.Size());
    EXPECT_FALSE(cache.Get(1, v));
    EXPECT_TRUE(cache.Get(2, v));
    EXPECT_TRUE(cache.Get(4, v));
    // Rewriting an entry makes it the newest write.
    cache.Put(2, "b2");
    cache.Put(5, "e");
    EXPECT_FALSE(cache.Get(3, v));
    ASSERT_TRUE(cache.Get(2, v));
    EXPECT_EQ("b2", v);
}

TEST(BoundedCacheTest, MissesLeaveTheOutputAloneAndClearEmpties) {
    CBoundedCache<std::wstring, int> cache(100);
    for (int i = 0; i < 250; ++i)
        cache.Put(L"k" + std::to_wstring(i), i);
    EXPECT_EQ(100u, cache.Size());
    int v = -7;
    EXPECT_FALSE(cache.Get(L"k149", v));
    EXPECT_EQ(-7, v);
    EXPECT_TRUE(cache.Get(L"k150", v));
    EXPECT_EQ(150, v);
    cache.Erase(L"k150");
    EXPECT_FALSE(cache.Contains(L"k150"));
    cache.Clear();
    EXPECT_EQ(0u, cache.Size());
    EXPECT_FALSE(cache.Get(L"k249", v));
}

}  // namespace
