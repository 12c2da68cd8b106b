// The tag cache against a plain list under churn: the first entry in creation order wins for
// a key and for a handle (failed creations share negative handles), and gaps left by
// removals, and their compaction, lose nothing. A spot a look-up gave either gives that key's
// first entry again or nothing, whatever was removed or renumbered since.
#include "tags/tag_cache.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

TEST(TagCache, AgreesWithAListUnderChurn)
{
    TagCache cache;
    std::vector<TagInstance> model; // creation order
    std::mt19937 rng(3);
    int32_t nextHandle = 11;
    std::vector<std::pair<int, TagCache::Spot>> spots; // key, where find() found it
    const auto instance = [&](int key, int32_t handle) {
        TagInstance t;
        t.handle = handle;
        t.deviceId = key % 3;
        t.address = QStringLiteral("Tag%1").arg(key % 40);
        t.source.dataType = QString::number(key % 2);
        t.elementCount = uint16_t(handle & 0x7FFF);
        return t;
    };
    for (int step = 0; step < 20000; ++step) {
        if (model.size() < 5 || rng() % 100 < 52) {
            const int32_t handle = rng() % 10 == 0 ? -int32_t(1 + rng() % 3) : nextHandle++;
            model.push_back(instance(int(rng() % 240), handle));
            cache.append(model.back());
        } else {
            const int32_t handle = model[rng() % model.size()].handle;
            auto first = std::find_if(model.begin(), model.end(), [&](const TagInstance &t) { return t.handle == handle; });
            TagInstance removed;
            ASSERT_TRUE(cache.removeFirstWithHandle(handle, &removed));
            ASSERT_EQ(removed.address, first->address);
            ASSERT_EQ(removed.elementCount, first->elementCount);
            model.erase(first);
        }
        ASSERT_EQ(cache.size(), int(model.size()));
        TagInstance front;
        ASSERT_TRUE(cache.first(&front));
        ASSERT_EQ(front.handle, model.front().handle) << step;
        const int key = int(rng() % 240);
        const TagInstance probe = instance(key, 0);
        auto expected = std::find_if(model.begin(), model.end(), [&](const TagInstance &t) {
            return t.deviceId == probe.deviceId && t.address == probe.address && t.source == probe.source;
        });
        OpenTag found;
        TagCache::Spot spot;
        ASSERT_EQ(cache.find(probe.deviceId, probe.address, probe.source, &found, &spot), expected != model.end()) << step;
        if (expected != model.end()) {
            ASSERT_EQ(found.handle, expected->handle) << step;
            spots.emplace_back(key, spot);
        }
        int held = 0;
        for (const auto &[spotKey, earlier] : spots) {
            OpenTag again, first;
            const TagInstance p = instance(spotKey, 0);
            if (!cache.at(earlier, &again))
                continue;
            ++held;
            ASSERT_TRUE(cache.find(p.deviceId, p.address, p.source, &first)) << step;
            ASSERT_EQ(again.handle, first.handle) << step;
            ASSERT_EQ(again.elementCount, first.elementCount) << step;
        }
        if (spots.size() > 64)
            spots.erase(spots.begin());
        if (step == 19999) {
            EXPECT_GT(held, 0) << "no spot outlived its look-up";
        }
    }
    const QList<TagInstance> all = cache.entries();
    ASSERT_EQ(all.size(), int(model.size()));
    for (int i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i].handle, model[size_t(i)].handle);
    EXPECT_FALSE(cache.removeFirstWithHandle(nextHandle));
}
