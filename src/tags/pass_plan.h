#pragma once
// What a read pass found for its items, kept for the next pass over the same list. While the
// host's records of an item and of its device are the very ones the plan was made from (shared,
// not merely equal: changing a record the plan holds a copy of detaches it), the verdict stands:
// an identity item, or the tag at a spot of the cache. A pass over many items then reads two
// words of each item's record instead of walking its settings, which at ten thousand items are
// no longer in any cache.

#include <host/zel_records.h>

#include "tag_cache.h"

#include <QMap>
#include <QString>

#include <cstdint>
#include <vector>

class PassPlan {
public:
    enum class Kind : uint8_t {
        Unknown,  // not planned, or the item's record changed: look it up
        Identity, // one of the device's identity items
        Tag,      // a tag of the cache, at the spot noted
    };

    // Made for this list: as many items, the first of them the very record it saw. A device
    // may be read in several lists (items of different intervals), each with a plan of its own.
    bool fits(const QList<DataItem> &items) const;
    // Keeps the steps when the device's record is the one they were made with.
    void begin(const DeviceInstancePlugin &device, int items);
    // What the plan knows of the item at `index`; *spot with Kind::Tag.
    Kind kind(int index, const DataItem &item, TagCache::Spot *spot = nullptr) const;
    void note(int index, const DataItem &item, Kind kind, const TagCache::Spot &spot = {});

private:
    struct Step {
        QMap<QString, QString> settings; // the item's, shared
        QString uid;                     // the item's, shared
        Kind kind = Kind::Unknown;
        TagCache::Spot spot;
    };
    QMap<QString, QString> deviceSettings_;
    QString ipAddress_, deviceName_;
    std::vector<Step> steps_;
};
