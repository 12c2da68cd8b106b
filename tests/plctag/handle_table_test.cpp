// The handle table against std::map under churn: long-lived handles among short-lived ones
// collide in the table, and removals must keep every other handle reachable.
#include "api/handle_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

TEST(HandleTable, AgreesWithAMapUnderChurnAndCollisions)
{
    plctag::HandleTable<int> table;
    std::map<int32_t, int> model;
    std::mt19937 rng(7);
    int32_t next = 11;
    for (int step = 0; step < 200000; ++step) {
        const bool add = model.size() < 50 || rng() % 100 < 48;
        if (add) {
            // Now and then far ahead, as after many creations: same slot as a live handle.
            const int32_t id = rng() % 50 == 0 ? next + 1024 * int32_t(1 + rng() % 8) : next;
            next = id + 1;
            table.insert(id, step);
            model[id] = step;
        } else {
            auto it = model.begin();
            std::advance(it, rng() % model.size());
            ASSERT_EQ(table.take(it->first), it->second);
            model.erase(it);
        }
        if (step % 997 == 0)
            for (const auto &kv : model) {
                const int *v = table.find(kv.first);
                ASSERT_TRUE(v && *v == kv.second) << "handle " << kv.first << " at step " << step;
            }
        ASSERT_EQ(table.size(), model.size());
    }
    EXPECT_EQ(table.find(next + 5), nullptr);
    EXPECT_EQ(table.takeAll().size(), model.size());
    EXPECT_EQ(table.size(), 0u);
}
