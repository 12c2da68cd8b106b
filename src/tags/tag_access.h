#pragma once
// Tag access: the process-wide cache of open tags, their creation from an item's binding,
// readiness, destruction and shutdown, and the texts of the tag library's statuses. The plugin
// object is one of these; its cycles use nothing else of the tag library's life cycle.

#include <host/plugin_interface.h>

#include "model/data_types.h"
#include "pass_plan.h"
#include "tag_cache.h"

#include <QMutex>
#include <QRegularExpression>
#include <QString>

#include <mutex>
#include <utility>
#include <vector>

class TagAccess : public TagTypes {
public:
    using TagInstance = ::TagInstance;

    // Plain text for a tag-library status.
    static QString errorMessage(int status);

    // The cache entry for the item, created on a miss; a refused address is returned with
    // its refusal and no tag. By value: another thread may destroy the entry meanwhile.
    OpenTag getOrCreateTag(DeviceInstancePlugin device, DataItem *item);
    // The same without waiting for a new tag: its creation is started, and its status tells
    // when the creation (which reads the tag once) is done. False with the entry when cached.
    // `spot`, when given, tells where a cached entry was found.
    bool startCreatingTag(const DeviceInstancePlugin &device, DataItem *item, OpenTag *out,
                          TagCache::Spot *spot = nullptr);
    // The cached entry for the item, without creating one.
    bool findTag(const DeviceInstancePlugin &device, const DataItem &item, OpenTag *out,
                 TagCache::Spot *spot = nullptr);
    // The entry found at `spot` before, if the cache still holds it there.
    bool tagAt(const TagCache::Spot &spot, OpenTag *out);
    void destroyTag(int handle);
    int waitForTagToBeReady(int handle, unsigned int limitMs);
    // Destroys every cached tag and shuts the tag library down when this process used it.
    void shutdownTags();

    // The plan of the device's last read pass over this list, taken for the pass about to run
    // (empty when none, or another pass holds it) and kept again after it.
    PassPlan takePlan(int deviceId, const QList<DataItem> &items);
    void keepPlan(int deviceId, PassPlan plan);

    PluginInterface pluginInterface;
    // The bound of one creation, waited for or not.
    static constexpr int kCreateTimeoutMs = 5000;

    static TagCache tags;
    static QMutex listMutex; // guards tags and loopActive
    static bool loopActive;  // a tag was created since the last shutdown
    static const QRegularExpression offsetMatches;

private:
    std::mutex planMutex_; // a std::mutex, which ThreadSanitizer sees into
    std::vector<std::pair<int, PassPlan>> plans_; // by device id, the most recently kept last

    TagInstance createTag(const DeviceInstancePlugin &device, DataItem *item, int timeoutMs);
};
